#include "sorting/sort_and_count.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <exception>
#include <filesystem>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <utility>

#include "shell/dialog_texts.h"
#include "shell/program.h"
#include "shell/progress.h"
#include "sorting/quick_sort.h"
#include "textio/both_cores.h"
#include "textio/field_reader.h"
#include "textio/line_blocks.h"
#include "textio/number_forms.h"
#include "textio/number_records.h"
#include "textio/rounding.h"
#include "textio/text_file.h"
#include "textio/user_error.h"
#include "textio/write_record.h"

namespace lumera {
namespace {

using namespace dialog_texts;
const char* const kErrorTitle = kSortErrorTitle;
const char* const kPipeStem = "pipe";

std::string kindText() {
    return std::string("You can use this button to sort a data file.") + "\n" +
           "Choose a general data file or a bootstrap resampling file to sort." +
           "Don't choose a \"sorted\" file. It is already sorted. " +
           "You don't need to sort it again.  You can use it to prepare figures." + "\n" + "\n" +
           "Yes: General integer data (Individual developmental duration, longevity, fecundity, etc). " +
           "You will get the sorted and counted files. You will see the frequency distribution. " +
           "No bootstrap technique will be used. The output files are not for paired test." + "\n" + "\n" +
           "No: Bootstrap results (e.g., Effec Boot-A1a). Your bootstrap results will be sorted and counted." + "\n" +
           "\n" + "Cancel: PBT or CPT results (e.g., file no. 24 or 25). " + "\n" + "\n";
}

// Header of a bootstrap-results file.
struct BootHeader {
    std::string name;
    std::int32_t n = 0;
    std::string a;
    double original = 0;
};

std::int32_t readWhole(FieldReader& reader) {
    const double v = reader.readNumber();
    if (const std::optional<std::int32_t> w = toInt32(v)) return *w;
    reader.failAtField("\"" + plainForm(v) + "\" is not a whole number in range.");
}

// The variable's name becomes part of the percentile file's name.
std::string nameField(FieldReader& reader) {
    std::string name = reader.readText();
    if (const std::optional<std::string> problem = nameTextProblem(name))
        reader.failAtField("the variable's name cannot be part of a file name: " + *problem + ".");
    return name;
}

[[noreturn]] void tooMany(const FieldReader& reader) {
    reader.failAtField("the file holds more than " + std::to_string(kMaxValues) + " values.");
}

// The run's progress in the window, a few times a second, and the user's
// Cancel, asked between blocks of each stage: reading takes the first part
// of the job, sorting the next, writing the rest.
class JobProgress {
public:
    explicit JobProgress(Progress* progress) : progress_(progress) {}
    void reading(double share) { at(progress_texts::kSortReading, 0, kSortFrom, share); }
    void sorting(double share) { at(progress_texts::kSortSorting, kSortFrom, kWriteFrom, share); }
    void writing(double share) { at(progress_texts::kSortWriting, kWriteFrom, 100, share); }

private:
    static constexpr int kSortFrom = 35;
    static constexpr int kWriteFrom = 55;
    static constexpr std::chrono::milliseconds kInterval{250};

    void at(const char* stage, int from, int to, double share) {
        if (!progress_) return;
        if (progress_->cancelRequested()) throw RunCancelled{};
        const auto now = std::chrono::steady_clock::now();
        const int percent = from + static_cast<int>(std::floor((to - from) * std::clamp(share, 0.0, 1.0)));
        if (stage == stage_ && now - last_ < kInterval && percent != 100) return;
        stage_ = stage;
        last_ = now;
        progress_->sortWork(stage, percent);
    }

    Progress* progress_;
    const char* stage_ = nullptr;
    std::chrono::steady_clock::time_point last_{};
};

// Reads the header, naming the data set; returns the most records to read.
std::int64_t readHeader(FieldReader& reader, SortDataKind kind, std::string& projectName, std::string& dataSetName,
                        BootHeader& boot) {
    if (kind == SortDataKind::General) {
        projectName = reader.readText();
        reader.readText();
        dataSetName = nameField(reader);
        return std::numeric_limits<std::int64_t>::max();
    }
    boot.name = reader.readText();
    reader.readText();
    boot.n = readWhole(reader);
    reader.readText();
    const std::int64_t limit = readWhole(reader);
    dataSetName = nameField(reader);
    boot.a = reader.readText();
    boot.original = reader.readNumber();
    if (kind == SortDataKind::PairTestResults) {
        reader.readText();
        reader.readText();
    }
    return limit;
}

void startValues(std::vector<double>& x, SortDataKind kind, std::int64_t limit) {
    x.clear();
    x.push_back(0);
    if (kind != SortDataKind::General)
        x.reserve(static_cast<std::size_t>(std::clamp<std::int64_t>(limit, 0, kMaxValues)) + 1);
}

// Makes room for the sort's output of up to `most` values; told once the
// header is read, on a thread beside the reading's two.
using PrepareOutput = std::function<void(std::size_t most)>;

// The records of a plain file read in blocks on both cores; empty when the
// file is not of that plain layout (its header is read all the same).
std::optional<double> readValuesFast(const std::string& path, SortDataKind kind, bool serials, std::string& projectName,
                                     std::string& dataSetName, BootHeader& boot, std::vector<double>& x,
                                     JobProgress& progress, const PrepareOutput& prepare) {
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    FieldReader reader = FieldReader::fromFile(path, kErrorTitle);
    const std::int64_t limit = readHeader(reader, kind, projectName, dataSetName, boot);
    startValues(x, kind, limit);
    NumberRecordsRule rule;
    rule.serials = serials;
    rule.stopAtMinusOne = kind == SortDataKind::General;
    rule.limit = std::max<std::int64_t>(limit, 0);
    rule.most = kMaxValues;
    double sum = 0;
    bool plain = false;
    auto read = [&] {
        plain = readNumberRecords(
            reader, rule, x,
            [&](std::uint64_t bytes) {
                progress.reading(ec || size == 0 ? 0 : static_cast<double>(bytes) / static_cast<double>(size));
            },
            &sum);
    };
    // The header's count bounds the values, and so do the file's size (a
    // record takes two bytes at least) and the most a file may hold: the
    // output's first touch of its memory then fills the reading's idle
    // moments.
    const auto most = static_cast<std::size_t>(std::min<std::uint64_t>(
        {static_cast<std::uint64_t>(rule.limit), ec ? 0 : size / 2, static_cast<std::uint64_t>(kMaxValues)}));
    if (prepare && kind != SortDataKind::General && most > 0)
        onBothCores(read, [&] { prepare(most); });
    else
        read();
    if (!plain) return std::nullopt;
    return sum;
}

// Reads the values into x[1..N], naming the data set as it goes; returns
// their sum in file order.
double readValues(const std::string& path, SortDataKind kind, bool serials, std::string& projectName,
                  std::string& dataSetName, BootHeader& boot, std::vector<double>& x, InputDigest* digest,
                  JobProgress& progress, const PrepareOutput& prepare = {}) {
    // The plain layout of a file that can be read twice goes the fast way;
    // any other is read again field by field, for its message if it has one.
    std::error_code ec;
    if (!digest && !isPipe(path) && std::filesystem::is_regular_file(path, ec)) {
        if (const std::optional<double> sum =
                readValuesFast(path, kind, serials, projectName, dataSetName, boot, x, progress, prepare))
            return *sum;
    }
    FieldReader reader = FieldReader::fromFile(path, kErrorTitle);
    const bool general = kind == SortDataKind::General;
    const std::int64_t limit = readHeader(reader, kind, projectName, dataSetName, boot);
    startValues(x, kind, limit);
    double sum = 0;
    std::int64_t count = 0;
    while ((general || count < limit) && !reader.atEnd()) {
        double value;
        if (serials) {
            // The end record's value is never used, so it is not read.
            if (reader.readNumber() == -1 && general) break;
            value = reader.readNumber();
        } else {
            value = reader.readNumber();
            if (general && value == -1) break;
        }
        if (count == kMaxValues) tooMany(reader);
        x.push_back(value);
        sum += value;
        ++count;
        // The header's count is the only measure of a file read field by field.
        if ((count & 0xFFFF) == 0)
            progress.reading(general || limit <= 0 ? 0 : static_cast<double>(count) / static_cast<double>(limit));
    }
    if (digest) *digest = reader.inputDigest(path);
    return sum;
}

double checkedMean(const std::string& path, std::size_t n, double sum) {
    if (n == 0) throw UserError(kErrorTitle, "The file holds no values.");
    const double mean = sum / static_cast<double>(n);
    if (!std::isfinite(mean))
        throw UserError(kTooLargeTitle, "File: " + path + "\nValues too large: their sum is" + kBeyondDouble);
    return mean;
}

double askDecimals(Dialogs& dialogs) {
    for (;;) {
        const double d = leadingNumber(dialogs.input(kDecimalsTitle, kDecimalsPrompt, "-1"));
        if (d >= -1 && d <= 5) return d;
    }
}

std::string record(std::initializer_list<std::string_view> texts) {
    WriteRecord r;
    for (std::string_view t : texts) r.text(t);
    return r.finish();
}

std::string projectLine(const RunState& s, bool general) {
    return general ? "Project: " + s.ProjectName : "Project: " + s.ProjectName + " " + s.VersionText;
}

// The classes of the sorted values: value[k] and frequency[k], k = 1..;
// for each slice of lines, the first class that starts in it or after it,
// and the line (from 0) where that class starts.
struct Classes {
    std::vector<double> value, frequency;
    std::vector<std::int64_t> sliceClass, sliceStart;
};

// Each value joins the class whose first value lies within 1e-12 of it.
// The spent input, n + 1 values long, holds the classes' values; what is
// reserved for the counts but never written is never given memory.
Classes countClasses(std::vector<double>& spent, const double* x, std::int32_t n) {
    Classes c;
    c.value.swap(spent);
    std::vector<double>().swap(spent);
    c.value.resize(static_cast<std::size_t>(n) + 1);
    double* const value = c.value.data();
    c.frequency.reserve(static_cast<std::size_t>(n) + 1);
    c.frequency.push_back(0);
    const auto slices = static_cast<std::size_t>((n + kLineSlice - 1) / kLineSlice);
    c.sliceClass.resize(slices);
    c.sliceStart.resize(slices);
    std::size_t nextSlice = 0;
    auto starts = [&](std::int64_t k, std::int32_t line) {
        for (; nextSlice < slices && static_cast<std::int64_t>(nextSlice) * kLineSlice <= line; ++nextSlice) {
            c.sliceClass[nextSlice] = k;
            c.sliceStart[nextSlice] = line;
        }
    };
    std::int64_t k = 1;
    double first = x[1];
    value[1] = first;
    std::int32_t start = 1;
    starts(1, 0);
    for (std::int32_t i = 2; i <= n; ++i) {
        if (std::fabs(x[i] - first) < 1e-12) continue;
        c.frequency.push_back(i - start);
        start = i;
        first = x[i];
        value[++k] = first;
        starts(k, i - 1);
    }
    c.frequency.push_back(n + 1 - start);
    starts(k + 1, n);
    c.value.resize(static_cast<std::size_t>(k) + 1);
    return c;
}

// Copies a text of up to 32 bytes in two fixed moves, where a copy of its
// exact length calls the library: the lines' buffers have room past them.
char* copyShort(char* out, const char* from, std::size_t length) {
    static_assert(kLineSlack >= 32 && kMaxNumberText >= 32);
    std::memcpy(out, from, 32);
    return out + length;
}

// The sorted file's line "i,serial,x" and, where a class starts, the counts
// file's line "k,value,count", which takes the text just formed for x.
// Equal values stand together, so the text of the one before is kept; a
// count is a whole number, whose write form is its digits.
class SortedAndCountLines {
public:
    static constexpr std::size_t kMaxSorted = 2 * 12 + kMaxNumberText + 4;
    static constexpr std::size_t kMaxCounts = 12 + 2 * kMaxNumberText + 4;
    SortedAndCountLines(const std::int32_t* serial, const double* x, const Classes& classes, bool counts)
        : serial_(serial), x_(x), classes_(classes), counts_(counts) {}
    void operator()(std::int64_t first, std::int64_t last, std::array<char*, 2>& outs) const {
        char* p = outs[0];
        char* q = outs[1];
        const auto slice = static_cast<std::size_t>(first / kLineSlice);
        std::int64_t k = classes_.sliceClass[slice];
        std::int64_t classStart = classes_.sliceStart[slice];
        const double* const frequency = classes_.frequency.data();
        char text[kMaxNumberText] = {};
        std::size_t length = 0;
        std::uint64_t bits = 0;
        // The line number counts up in its text, digit by digit; room
        // after it lets it be copied in one fixed move.
        char number[24 + 32] = {};
        char* const numberEnd = number + 24;
        char* numberBegin = numberEnd;
        for (std::int64_t v = first + 1; v > 0; v /= 10) *--numberBegin = static_cast<char>('0' + v % 10);
        for (std::int64_t i = first + 1; i <= last; ++i) {
            p = copyShort(p, numberBegin, static_cast<std::size_t>(numberEnd - numberBegin));
            for (char* d = numberEnd - 1;; --d) {
                if (d < numberBegin) {
                    *--numberBegin = '1';
                    break;
                }
                if (*d != '9') {
                    ++*d;
                    break;
                }
                *d = '0';
            }
            *p++ = ',';
            p = std::to_chars(p, p + 12, serial_[i]).ptr;
            *p++ = ',';
            const auto b = std::bit_cast<std::uint64_t>(x_[i]);
            if (length == 0 || b != bits) {
                bits = b;
                length = static_cast<std::size_t>(writeFormTo(text, x_[i]) - text);
            }
            p = copyShort(p, text, length);
            *p++ = '\r';
            *p++ = '\n';
            if (i - 1 != classStart || !counts_) continue;
            q = std::to_chars(q, q + 12, k).ptr;
            *q++ = ',';
            q = copyShort(q, text, length);
            *q++ = ',';
            const double f = frequency[k];
            if (f >= 1 && f < 1e15 && f == std::floor(f))
                q = std::to_chars(q, q + 16, static_cast<std::int64_t>(f)).ptr;
            else
                q = writeFormTo(q, f);
            *q++ = '\r';
            *q++ = '\n';
            classStart += static_cast<std::int64_t>(f);
            ++k;
        }
        outs[0] = p;
        outs[1] = q;
    }

private:
    const std::int32_t* serial_;
    const double* x_;
    const Classes& classes_;
    bool counts_;
};

// Lines between starts of the disk's writing: whole rounds of the blocks.
constexpr std::int64_t kWritebackLines = 1 << 18;

void writeSortedHeader(const RunState& s, TextFile& sorted, bool general, std::int32_t n, double mean,
                       const BootHeader& boot) {
    sorted.write(record({projectLine(s, general)}));
    if (general) {
        sorted.write(WriteRecord().text("Sample size =").number(n).finish());
        sorted.write(WriteRecord().text("Sample mean = ").number(mean).finish());
    } else {
        sorted.write(WriteRecord().text("Original mean =").number(boot.original).finish());
        sorted.write(WriteRecord().text("Bootstrap sample size (n) = ").number(boot.n).finish());
        sorted.write(WriteRecord().text("Total effective bootstrap number (B) = ").number(n).finish());
        sorted.write(record({"Sample size or mean (A)= " + boot.a + ", (B)=" + plainForm(mean)}));
        sorted.write(record({"Variable: " + boot.name}));
    }
    sorted.write(record({"Sorted serial no.", "Original serial no.", "Sorted data"}));
}

// A position exists only where N x p is exactly a whole number.
void writePercentiles(const RunState& s, TextFile& percentiles, std::int32_t n) {
    struct Point {
        const char* label;
        double position;
    };
    const double dn = n;
    const Point points[] = {{"0.025", dn * 0.025}, {"0.5", dn * 0.5}, {"0.975", dn * 0.975}};
    for (const Point& point : points) {
        if (point.position != std::floor(point.position) || point.position < 1 || point.position > dn) continue;
        const auto i = static_cast<std::int32_t>(point.position);
        percentiles.write(record({std::string("The ") + point.label + " percentile life table of " + s.DataSetName +
                                  " is " + std::to_string(s.SortOutputSerial[i])}));
    }
}

void writeCountsHeader(const RunState& s, TextFile& counts, std::int32_t classCount, bool general, std::int32_t n,
                       double mean, const BootHeader& boot) {
    counts.write(record({projectLine(s, general)}));
    if (general) {
        counts.write(WriteRecord().text("Sample size =").number(n).finish());
        counts.write(WriteRecord().text("Sample mean = ").number(mean).finish());
        counts.write(WriteRecord().text("Total classes =").number(classCount).finish());
    } else {
        counts.write(WriteRecord()
                         .text("Sample size or Original mean (A) =" + boot.a + ", (B)=")
                         .number(boot.original)
                         .finish());
        counts.write(record({"Next line is sample size"}));
        counts.write(WriteRecord().number(boot.n).finish());
        counts.write(WriteRecord()
                         .text("Total effective bootstrap number (B) = ")
                         .number(n)
                         .text("Total classes =")
                         .number(classCount)
                         .finish());
    }
    counts.write(record({"Group serial no.", "Value", "Count"}));
}

}  // namespace

SortInputData readSortInput(const std::string& path, SortDataKind kind, bool serials) {
    SortInputData data;
    BootHeader boot;
    JobProgress quiet(nullptr);
    const double sum =
        readValues(path, kind, serials, data.projectName, data.dataSetName, boot, data.values, &data.input, quiet);
    data.values.erase(data.values.begin());
    data.mean = checkedMean(path, data.values.size(), sum);
    return data;
}

void roundSortValues(std::span<double> values, double decimals) {
    if (decimals == -1) return;
    const double scale = std::pow(10.0, decimals);
    constexpr double kExact = 9007199254740992.0;  // 2^53
    for (double& v : values) {
        const double scaled = v * scale;
        if (!(std::fabs(scaled) < kExact)) continue;
        const auto whole = static_cast<std::int64_t>(std::floor(scaled + 0.5));
        v = static_cast<double>(whole) / scale;
    }
}

std::string sortFileStem(const std::string& path) {
    // Only an extension such as ".txt" goes: cutting four characters of any
    // other name could leave its folder or give two files one stem.
    const std::size_t n = path.size();
    if (n > 4 && path[n - 4] == '.' && path.find('/', n - 3) == std::string::npos) return path.substr(0, n - 4);
    return path;
}

SortOutputNames sortOutputNames(const RunState& s) {
    const double d = s.DecimalLimit;
    const std::string pct = s.FileStem + "-1_0.025, 0.5 and 0.975 " + s.DataSetName;
    if (d == -1) return {s.FileStem + "-2_Sorted.txt", pct + ".txt", s.FileStem + "-3_Sorted and counts.txt"};
    const std::string dt = plainForm(d);
    return {s.FileStem + "-2_Sorted-" + dt + " decimals.txt", pct + dt + " decimals.txt",
            s.FileStem + "-3_Sorted and counts-" + dt + " decimals.txt"};
}

void SortForBootstrapResults(Program& program) {
    RunState& s = program.state();
    Dialogs& dialogs = program.dialogs();
    switch (dialogs.message(kSortKindTitle, kindText(), Buttons::YesNoCancel)) {
        case Answer::Yes:
            s.DataKind = SortDataKind::General;
            break;
        case Answer::No:
            s.DataKind = SortDataKind::Boot;
            break;
        default:
            s.DataKind = SortDataKind::PairTestResults;
            break;
    }
    s.WithSerialNumbers =
        dialogs.message(kSerialTitle, kSerialText, Buttons::YesNo, Answer::No) == Answer::Yes ? Flag::Yes : Flag::No;
    s.SortAndCountUsed = Flag::Yes;
    const bool general = s.DataKind == SortDataKind::General;
    const std::string path = program.chooseFile(general ? kGeneralFileTitle : kBootFileTitle);
    if (path.empty()) return;
    s.SortFileName = std::filesystem::path(path).filename().string();
    // A pipe has no folder of its own: its results go to the working folder.
    if (isPipe(path))
        s.FileStem = program.resolve(kPipeStem);
    else
        s.FileStem = sortFileStem(path);

    JobProgress progress(&program.progress());
    progress.reading(0);
    BootHeader boot;
    auto prepare = [&](std::size_t most) {
        s.SortOutput.resize(std::max(s.SortOutput.size(), most + 1));
        s.SortOutputSerial.resize(std::max(s.SortOutputSerial.size(), most + 1));
    };
    const double sum = readValues(path, s.DataKind, s.WithSerialNumbers == Flag::Yes, s.ProjectName, s.DataSetName,
                                  boot, s.SortInput, nullptr, progress, prepare);
    const auto n = static_cast<std::int32_t>(s.SortInput.size() - 1);
    const double mean = checkedMean(path, s.SortInput.size() - 1, sum);

    s.DecimalLimit = askDecimals(dialogs);
    const std::span<double> values = std::span<double>(s.SortInput).subspan(1, static_cast<std::size_t>(n));
    roundSortValues(values, s.DecimalLimit);
    // The serials are the positions 1..N, which the sort makes itself, and
    // the input is its work space: nothing reads either afterwards.
    s.SortInputSerial.clear();
    s.SortCount = n;
    // Cleared on both cores: a hundred megabytes touched for the first time.
    onBothCores([&] { s.SortOutput.resize(std::max(s.SortOutput.size(), values.size() + 1)); },
                [&] { s.SortOutputSerial.resize(std::max(s.SortOutputSerial.size(), values.size() + 1)); });
    progress.sorting(0);
    SortSteps steps;
    steps.progress = [&](double share) { progress.sorting(share); };
    // Unrounded, the values are those whose sum the reading formed.
    if (s.DecimalLimit == -1) steps.total = sum;
    sortSpendingInput(values, std::span<double>(s.SortOutput).subspan(1, values.size()),
                      std::span<std::int32_t>(s.SortOutputSerial).subspan(1, values.size()), s.GroupLimit, steps);
    progress.writing(0);

    const SortOutputNames names = sortOutputNames(s);
    // An earlier run's files are replaced at the end; their cached text is
    // let go meanwhile, while this core counts the classes.
    Classes classes;
    onBothCores([&] { classes = countClasses(s.SortInput, s.SortOutput.data(), n); },
                [&] {
                    forgetCachedText(names.sorted);
                    forgetCachedText(names.counts);
                });
    const auto classCount = static_cast<std::int32_t>(classes.value.size() - 1);
    // Both files' lines come from one pass over the sorted values, and both
    // are put in place side by side; a failure of the counts file is told
    // only after the message that the sorted file is ready.
    std::vector<std::string> placed;
    std::optional<std::string> countsPlaced;
    try {
        // Blocks of lines go to the files as they are, past a small buffer.
        TextFile sorted(names.sorted, kErrorTitle, 1 << 16);
        writeSortedHeader(s, sorted, general, n, mean, boot);
        TextFile percentiles(names.percentile, kErrorTitle, 1 << 12);
        writePercentiles(s, percentiles, n);
        // A counts file that cannot be made is told after the sorted file's
        // message, as when the files were written one after the other.
        std::exception_ptr sortedError, countsError;
        std::optional<TextFile> counts;
        try {
            counts.emplace(names.counts, kErrorTitle, 1 << 16);
            writeCountsHeader(s, *counts, classCount, general, n, mean, boot);
        } catch (...) {
            counts.reset();
            countsError = std::current_exception();
        }
        auto written = [&](std::int64_t lines) {
            // The disk's writing goes along with the text, so that
            // replacing earlier files leaves it little.
            if (lines % kWritebackLines == 0) {
                sorted.startWriteback();
                if (counts) counts->startWriteback();
            }
            progress.writing(static_cast<double>(lines) / n);
        };
        const SortedAndCountLines format(s.SortOutputSerial.data(), s.SortOutput.data(), classes, counts.has_value());
        if (counts)
            writeLinesInBlocks<2>({&sorted, &*counts}, n,
                                  {SortedAndCountLines::kMaxSorted, SortedAndCountLines::kMaxCounts}, format, written);
        else
            writeLinesInBlocks<1>(
                {&sorted}, n, {SortedAndCountLines::kMaxSorted},
                [&](std::int64_t first, std::int64_t last, std::array<char*, 1>& outs) {
                    std::array<char*, 2> both{outs[0], nullptr};
                    format(first, last, both);
                    outs[0] = both[0];
                },
                written);
        // Putting the files in place waits mostly on the disk; meanwhile the
        // sorted arrays, which nothing reads after the files, are let go.
        onBothCores(
            [&] {
                onBothCores(
                    [&] {
                        try {
                            sorted.close();
                        } catch (...) {
                            sortedError = std::current_exception();
                        }
                    },
                    [&] {
                        std::vector<double>().swap(s.SortOutput);
                        std::vector<std::int32_t>().swap(s.SortOutputSerial);
                    });
            },
            [&] {
                if (!counts) return;
                try {
                    counts->close();
                    countsPlaced = counts->path();
                } catch (...) {
                    countsError = std::current_exception();
                }
            });
        if (sortedError) std::rethrow_exception(sortedError);
        placed.push_back(sorted.path());
        percentiles.close();
        placed.push_back(percentiles.path());
        s.ClassCount = classCount;
        s.ClassValue.swap(classes.value);
        s.ClassFrequency.swap(classes.frequency);
        dialogs.message(kDecimalsTitle, kSortedReadyText, Buttons::OkCancel);
        if (countsError) std::rethrow_exception(countsError);
        placed.push_back(*std::exchange(countsPlaced, std::nullopt));
        progress.writing(1);
    } catch (...) {
        // Three files belong together: none is left without the others.
        for (const std::string& file : placed) std::remove(file.c_str());
        if (countsPlaced) std::remove(countsPlaced->c_str());
        throw;
    }
    dialogs.message(kDecimalsTitle, kCountsReadyText, Buttons::OkCancel);
}

}  // namespace lumera
