#include "sorting/sort_and_count.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <memory>

#include "shell/dialog_texts.h"
#include "shell/program.h"
#include "sorting/quick_sort.h"
#include "textio/field_reader.h"
#include "textio/number_forms.h"
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

// Reads the values into x[1..N], naming the data set as it goes; returns
// their sum in file order.
double readValues(const std::string& path, SortDataKind kind, bool serials, std::string& projectName,
                  std::string& dataSetName, BootHeader& boot, std::vector<double>& x, InputDigest* digest = nullptr) {
    FieldReader reader = FieldReader::fromFile(path, kErrorTitle);
    const bool general = kind == SortDataKind::General;
    std::int64_t limit = kMaxValues;
    if (general) {
        projectName = reader.readText();
        reader.readText();
        dataSetName = nameField(reader);
    } else {
        boot.name = reader.readText();
        reader.readText();
        boot.n = readWhole(reader);
        reader.readText();
        limit = readWhole(reader);
        dataSetName = nameField(reader);
        boot.a = reader.readText();
        boot.original = reader.readNumber();
        if (kind == SortDataKind::PairTestResults) {
            reader.readText();
            reader.readText();
        }
    }
    x.clear();
    x.push_back(0);
    if (!general) x.reserve(static_cast<std::size_t>(std::clamp<std::int64_t>(limit, 0, kMaxValues)) + 1);
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

// Data lines "i,serial,x" go through one buffer: millions of them.
class LineBuffer {
public:
    explicit LineBuffer(TextFile& file) : file_(file) {}
    ~LineBuffer() = default;
    void line(std::int32_t i, std::int32_t serial, double x) {
        if (used_ + kLineMax > kSize) flush();
        char* p = buf_.get() + used_;
        p = std::to_chars(p, p + 12, i).ptr;
        *p++ = ',';
        p = std::to_chars(p, p + 12, serial).ptr;
        *p++ = ',';
        p = writeFormTo(p, x);
        *p++ = '\r';
        *p++ = '\n';
        used_ = static_cast<std::size_t>(p - buf_.get());
    }
    void flush() {
        file_.write(std::string_view(buf_.get(), used_));
        used_ = 0;
    }

private:
    static constexpr std::size_t kSize = 1 << 20;
    static constexpr std::size_t kLineMax = 2 * 12 + kMaxNumberText + 4;
    TextFile& file_;
    std::unique_ptr<char[]> buf_ = std::make_unique<char[]>(kSize);
    std::size_t used_ = 0;
};

std::string projectLine(const RunState& s, bool general) {
    return general ? "Project: " + s.ProjectName : "Project: " + s.ProjectName + " " + s.VersionText;
}

// Each writer adds the files it put in place to `placed`, so that a later
// failure can take the whole run's files away again.
void writeSortedAndPercentiles(const RunState& s, const SortOutputNames& names, bool general, std::int32_t n,
                               double mean, const BootHeader& boot, std::vector<std::string>& placed) {
    TextFile sorted(names.sorted, kErrorTitle, 1 << 22);
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

    TextFile percentiles(names.percentile, kErrorTitle, 1 << 12);
    // A position exists only where N x p is exactly a whole number.
    struct Point {
        const char* label;
        double position;
    };
    const double dn = n;
    const Point points[] = {{"0.025", dn * 0.025}, {"0.5", dn * 0.5}, {"0.975", dn * 0.975}};
    std::size_t next = 0;
    auto skipMissing = [&] {
        while (next < 3 && (points[next].position != std::floor(points[next].position) || points[next].position < 1 ||
                            points[next].position > dn))
            ++next;
    };
    skipMissing();
    LineBuffer lines(sorted);
    for (std::int32_t i = 1; i <= n; ++i) {
        lines.line(i, s.SortOutputSerial[i], s.SortOutput[i]);
        if (next < 3 && points[next].position == i) {
            percentiles.write(record({std::string("The ") + points[next].label + " percentile life table of " +
                                      s.DataSetName + " is " + std::to_string(s.SortOutputSerial[i])}));
            ++next;
            skipMissing();
        }
    }
    lines.flush();
    sorted.close();
    placed.push_back(sorted.path());
    percentiles.close();
    placed.push_back(percentiles.path());
}

// Each value joins the class whose first value lies within 1e-12 of it.
void countClasses(RunState& s, std::int32_t n) {
    const std::vector<double>& x = s.SortOutput;
    s.ClassValue.assign(static_cast<std::size_t>(n) + 1, 0.0);
    s.ClassFrequency.assign(static_cast<std::size_t>(n) + 1, 0.0);
    std::int32_t k = 1;
    s.ClassValue[1] = x[1];
    s.ClassFrequency[1] = 1;
    for (std::int32_t i = 2; i <= n; ++i) {
        if (std::fabs(x[i] - s.ClassValue[k]) < 1e-12) {
            s.ClassFrequency[k] += 1;
        } else {
            ++k;
            s.ClassValue[k] = x[i];
            s.ClassFrequency[k] = 1;
        }
    }
    s.ClassCount = k;
}

void writeCounts(const RunState& s, const std::string& path, bool general, std::int32_t n, double mean,
                 const BootHeader& boot, std::vector<std::string>& placed) {
    TextFile counts(path, kErrorTitle, 1 << 22);
    counts.write(record({projectLine(s, general)}));
    if (general) {
        counts.write(WriteRecord().text("Sample size =").number(n).finish());
        counts.write(WriteRecord().text("Sample mean = ").number(mean).finish());
        counts.write(WriteRecord().text("Total classes =").number(s.ClassCount).finish());
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
                         .number(s.ClassCount)
                         .finish());
    }
    counts.write(record({"Group serial no.", "Value", "Count"}));
    std::string lines;
    char buf[3 * kMaxNumberText + 4];
    for (std::int32_t k = 1; k <= s.ClassCount; ++k) {
        char* p = std::to_chars(buf, buf + 12, k).ptr;
        *p++ = ',';
        p = writeFormTo(p, s.ClassValue[k]);
        *p++ = ',';
        p = writeFormTo(p, s.ClassFrequency[k]);
        *p++ = '\r';
        *p++ = '\n';
        lines.append(buf, p);
        if (lines.size() > (1 << 20)) {
            counts.write(lines);
            lines.clear();
        }
    }
    counts.write(lines);
    counts.close();
    placed.push_back(counts.path());
}

}  // namespace

SortInputData readSortInput(const std::string& path, SortDataKind kind, bool serials) {
    SortInputData data;
    BootHeader boot;
    const double sum =
        readValues(path, kind, serials, data.projectName, data.dataSetName, boot, data.values, &data.input);
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

    BootHeader boot;
    const double sum =
        readValues(path, s.DataKind, s.WithSerialNumbers == Flag::Yes, s.ProjectName, s.DataSetName, boot, s.SortInput);
    const auto n = static_cast<std::int32_t>(s.SortInput.size() - 1);
    const double mean = checkedMean(path, s.SortInput.size() - 1, sum);

    s.DecimalLimit = askDecimals(dialogs);
    roundSortValues(std::span<double>(s.SortInput).subspan(1, static_cast<std::size_t>(n)), s.DecimalLimit);
    s.SortInputSerial.resize(static_cast<std::size_t>(n) + 1);
    for (std::int32_t i = 0; i <= n; ++i) s.SortInputSerial[i] = i;
    s.SortCount = n;
    QuickSort(program);

    const SortOutputNames names = sortOutputNames(s);
    std::vector<std::string> placed;
    try {
        writeSortedAndPercentiles(s, names, general, n, mean, boot, placed);
        dialogs.message(kDecimalsTitle, kSortedReadyText, Buttons::OkCancel);
        countClasses(s, n);
        writeCounts(s, names.counts, general, n, mean, boot, placed);
    } catch (...) {
        // Three files belong together: none is left without the others.
        for (const std::string& file : placed) std::remove(file.c_str());
        throw;
    }
    dialogs.message(kDecimalsTitle, kCountsReadyText, Buttons::OkCancel);
}

}  // namespace lumera
