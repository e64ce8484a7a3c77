#include "cartesian/detail_files.h"

#include <atomic>
#include <cstring>
#include <exception>
#include <filesystem>
#include <thread>

#include "shell/program.h"
#include "textio/number_forms.h"
#include "textio/write_record.h"

namespace lumera {

namespace {

constexpr const char* kErrorTitle = "Detailed differences";
// Large buffers: a pair of B = 3000 writes close to a gigabyte.
constexpr std::size_t kBufferBytes = std::size_t{4} << 20;

struct FileForm {
    const char* prefix;
    const char* suffix;
};
constexpr FileForm kForms[DetailFiles::KindCount] = {
    {"_5-", "_diff-All (for N. sort).txt"}, {"_6-", "_diff to mean diff.txt"},
    {"_7-", "_diff-SigA.txt"},              {"_9-", "_diff-SigB.txt"},
    {"_10-", "_diff-inSigA.txt"},           {"_11-", "_diff-inSigB.txt"},
};

constexpr const char* kSigT3 = " (actual number of sign. can be less)";
constexpr const char* kSigT5 = " (actual number of sign. diff. can be less)";
constexpr const char* kInsigT = " (actual number of insign. diff. can be less)";

// Bytes reserved per record: a counter copied in a 16-byte block, a comma,
// a number with its fixed-block slack, CR LF.
constexpr std::size_t kRecordRoom = 64;

// A whole number kept as its decimal text, so counting needs no formatting.
class DigitCounter {
public:
    DigitCounter() { buf_[kEnd - 1] = '0'; }
    void increment() {
        int k = kEnd - 1;
        while (k >= begin_ && buf_[k] == '9') buf_[k--] = '0';
        if (k < begin_) {
            buf_[--begin_] = '1';
        } else {
            ++buf_[k];
        }
    }
    // Up to 16 digits, copied as one block.
    char* copyTo(char* out) const {
        std::memcpy(out, buf_ + begin_, 16);
        return out + (kEnd - begin_);
    }

private:
    static constexpr int kEnd = 20;
    char buf_[kEnd + 16] = {};
    int begin_ = kEnd - 1;
};

// "<n>,<d>\r\n" formed in place at the end of the file's buffer; returns
// the record's start (kRecordRoom bytes readable) and sets the text of d.
struct Written {
    const char* record;
    std::size_t length;
    const char* value;
    std::size_t valueLength;
};
Written writeRecord(TextFile& file, const DigitCounter& n, double d) {
    char* p = file.reserve(kRecordRoom);
    char* q = n.copyTo(p);
    *q++ = ',';
    char* value = q;
    q = writeFormTo(q, d);
    const auto valueLength = static_cast<std::size_t>(q - value);
    *q++ = '\r';
    *q++ = '\n';
    const auto length = static_cast<std::size_t>(q - p);
    file.commit(length);
    return {p, length, value, valueLength};
}

// The same record again in another file.
void copyRecord(TextFile& file, const Written& w) {
    char* p = file.reserve(kRecordRoom);
    std::memcpy(p, w.record, kRecordRoom);
    file.commit(w.length);
}

// Another counter with the same value text.
void writeSerialRecord(TextFile& file, const DigitCounter& n, const Written& w) {
    char* p = file.reserve(kRecordRoom);
    char* q = n.copyTo(p);
    *q++ = ',';
    std::memcpy(q, w.value, kMaxNumberText);
    q += w.valueLength;
    *q++ = '\r';
    *q++ = '\n';
    file.commit(static_cast<std::size_t>(q - p));
}

template <bool FirstMinusSecond>
double difference(double x, double y) {
    return FirstMinusSecond ? x - y : y - x;
}

// File 6 alone: its records need no class and no shared counter, so they
// can be formed beside the others.
template <bool FirstMinusSecond>
void writeToMean(TextFile& file, const double* first, std::int32_t firstCount, const double* second,
                 std::int32_t secondCount, double meanDifference, const std::atomic<bool>& stop) {
    DigitCounter c;
    for (std::int32_t a = 0; a < firstCount; ++a) {
        if (stop.load(std::memory_order_relaxed)) return;
        const double x = first[a];
        for (std::int32_t b = 0; b < secondCount; ++b) {
            const double d = difference<FirstMinusSecond>(x, second[b]);
            c.increment();
            writeRecord(file, c, d - meanDifference);
        }
    }
}

struct Targets {
    TextFile& all;
    TextFile& sigA;
    TextFile& sigB;
    TextFile& insigA;
    TextFile& insigB;
};

template <bool FirstMinusSecond>
void writeByClass(const Targets& t, const double* first, std::int32_t firstCount, const double* second,
                  std::int32_t secondCount, double meanDifference, const DetailFiles::Progress& progress,
                  const std::atomic<bool>& otherFailed) {
    const double twice = 2 * meanDifference;
    const std::int64_t total = std::int64_t{firstCount} * secondCount;
    std::int64_t done = 0, nextReport = DetailFiles::kProgressStep;
    DigitCounter c, sig, insig;
    for (std::int32_t a = 0; a < firstCount; ++a) {
        const double x = first[a];
        for (std::int32_t b = 0; b < secondCount; ++b) {
            const double d = difference<FirstMinusSecond>(x, second[b]);
            c.increment();
            const Written w = writeRecord(t.all, c, d);
            const bool insignificant = d <= 0 || d > twice || d == twice;
            if (insignificant) {
                insig.increment();
                writeSerialRecord(t.insigA, insig, w);
                copyRecord(t.insigB, w);
            } else {
                sig.increment();
                writeSerialRecord(t.sigA, sig, w);
                copyRecord(t.sigB, w);
            }
            if (++done == nextReport) {
                nextReport += DetailFiles::kProgressStep;
                if (otherFailed.load(std::memory_order_relaxed)) return;
                if (progress) progress(done, total);
            }
        }
    }
}

}  // namespace

std::string detailFileName(const std::string& stem, const std::string& code, int i, int j, DetailFiles::Kind kind) {
    return stem + kForms[kind].prefix + code + "-" + std::to_string(i) + " to " + std::to_string(j) +
           kForms[kind].suffix;
}

DetailFiles::DetailFiles(Program& program, int i, int j) {
    RunState& s = program.state();
    for (int k = 0; k < KindCount; ++k)
        paths_[k] = program.resolve(detailFileName(s.FileStem, s.TreatCode[i], i, j, static_cast<Kind>(k)));
    s.OutputFileName = detailFileName(s.FileStem, s.TreatCode[i], i, j, All);

    const std::string names = s.TreatName[i] + " vs " + s.TreatName[j];
    const std::string codes = s.TreatCode[i] + " vs " + s.TreatCode[j];
    const std::int32_t B = s.BootCount[i];
    const double squared = static_cast<double>(B) * static_cast<double>(B);
    const double C2 = s.BootCountValue[j] * s.BootCountValue[i];
    const std::string sizes =
        "Treatment sample sizes are " + std::to_string(s.SampleSize[i]) + " and " + std::to_string(s.SampleSize[j]);
    const std::string means =
        WriteRecord().text("Original means").number(s.OriginalMean[i]).number(s.OriginalMean[j]).finish();

    try {
        constexpr Kind kOpenOrder[] = {All, SigA, SigB, InsigA, InsigB};
        for (Kind k : kOpenOrder) files_[k] = std::make_unique<TextFile>(paths_[k], kErrorTitle, kBufferBytes);

        TextFile& all = *files_[All];
        all.write(WriteRecord().text(names).finish());
        all.write(WriteRecord()
                      .text("Next lines are the bootstrap number B, treament code, and Cartesian C")
                      .finish());
        all.write(WriteRecord().number(B).finish());
        all.write(WriteRecord().text(codes).finish());
        all.write(WriteRecord().number(C2).finish());
        all.write(means);
        all.write(WriteRecord().text("Cart. number").text("Cart. Difference").finish());

        struct ClassHeader {
            Kind kind;
            const char* t3;
            const char* t5;
            const char* numberTitle;
            const char* valueTitle;
        };
        const ClassHeader classHeaders[] = {
            {SigA, kSigT3, kSigT5, "Serial no. of sig. diff.", "Sig. difference"},
            {SigB, kSigT3, kSigT5, "Cart. prod. number", "Sig. difference"},
            {InsigA, kInsigT, kInsigT, "Serial no. of insig. diff.", "Insig. difference"},
            {InsigB, kInsigT, kInsigT, "Cart. prod. number", "Insig. difference"},
        };
        for (const ClassHeader& h : classHeaders) {
            TextFile& f = *files_[h.kind];
            f.write(WriteRecord().text(names).finish());
            f.write(WriteRecord().text("Next line is effective bootstrap number (B)").finish());
            f.write(WriteRecord().text(std::to_string(B) + h.t3).finish());
            f.write(WriteRecord().text(codes).finish());
            f.write(WriteRecord().text(plainForm(squared) + h.t5).finish());
            f.write(WriteRecord().number(C2).finish());
            f.write(WriteRecord().text(sizes).finish());
            f.write(means);
            f.write(WriteRecord().text(h.numberTitle).text(h.valueTitle).finish());
        }

        files_[ToMean] = std::make_unique<TextFile>(paths_[ToMean], kErrorTitle, kBufferBytes);
        TextFile& toMean = *files_[ToMean];
        toMean.write(WriteRecord().text(names).finish());
        toMean.write(WriteRecord().text("Next line is effective bootstrap number (B)").finish());
        toMean.write(WriteRecord().number(B).finish());
        toMean.write(WriteRecord().text(s.TreatCode[i] + s.TreatCode[j]).finish());
        toMean.write(WriteRecord().number(squared).finish());
        toMean.write(WriteRecord().number(C2).finish());
        toMean.write(WriteRecord().number(C2).finish());
        toMean.write(WriteRecord().text(sizes).finish());
        toMean.write(means);
        toMean.write(WriteRecord().text("Cart. number").text("Difference to original difference").finish());
    } catch (...) {
        removeAll();
        throw;
    }
}

DetailFiles::~DetailFiles() { removeAll(); }

void DetailFiles::removeAll() {
    if (closed_) return;
    closed_ = true;
    for (int k = 0; k < KindCount; ++k) {
        if (!files_[k]) continue;
        files_[k].reset();
        std::error_code ignored;
        std::filesystem::remove(paths_[k], ignored);
    }
}

void DetailFiles::writeDifferences(const double* first, std::int32_t firstCount, const double* second,
                                   std::int32_t secondCount, bool firstMinusSecond, double meanDifference,
                                   const Progress& progress) {
    std::atomic<bool> stop{false};
    std::atomic<bool> toMeanFailed{false};
    std::exception_ptr toMeanError;
    TextFile& toMean = *files_[ToMean];
    std::thread toMeanWriter([&] {
        try {
            if (firstMinusSecond)
                writeToMean<true>(toMean, first, firstCount, second, secondCount, meanDifference, stop);
            else
                writeToMean<false>(toMean, first, firstCount, second, secondCount, meanDifference, stop);
        } catch (...) {
            toMeanError = std::current_exception();
            toMeanFailed = true;
        }
    });
    // The writer must be joined whether or not the main records fail.
    struct Join {
        std::thread& t;
        std::atomic<bool>& stop;
        ~Join() {
            stop = true;
            if (t.joinable()) t.join();
        }
    };
    {
        Join join{toMeanWriter, stop};
        const Targets t{*files_[All], *files_[SigA], *files_[SigB], *files_[InsigA], *files_[InsigB]};
        if (firstMinusSecond)
            writeByClass<true>(t, first, firstCount, second, secondCount, meanDifference, progress, toMeanFailed);
        else
            writeByClass<false>(t, first, firstCount, second, secondCount, meanDifference, progress, toMeanFailed);
        toMeanWriter.join();
    }
    if (toMeanError) std::rethrow_exception(toMeanError);
}

void DetailFiles::close() {
    constexpr Kind kCloseOrder[] = {All, ToMean, SigA, SigB, InsigA, InsigB};
    for (Kind k : kCloseOrder) files_[k]->close();
    closed_ = true;
}

}  // namespace lumera
