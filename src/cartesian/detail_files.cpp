#include "cartesian/detail_files.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

#include "shell/dialog_texts.h"
#include "shell/program.h"
#include "textio/number_forms.h"
#include "textio/write_record.h"

namespace lumera {

namespace {

constexpr const char* kErrorTitle = dialog_texts::kDetailFilesErrorTitle;
// The records arrive in blocks of chunks, written straight through; this
// buffer only gathers the headers and the small blocks.
constexpr std::size_t kBufferBytes = std::size_t{64} << 10;

struct FileForm {
    const char* prefix;
    const char* suffix;
};
constexpr FileForm kForms[DetailFiles::KindCount] = {
    {"_5-", "_diff-All (for N. sort).txt"},
    {"_6-", "_diff to mean diff.txt"},
    {"_7-", "_diff-SigA.txt"},
    {"_9-", "_diff-SigB.txt"},
    {"_10-", "_diff-inSigA.txt"},
    {"_11-", "_diff-inSigB.txt"},
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
    explicit DigitCounter(std::int64_t value) {
        do {
            buf_[--begin_] = static_cast<char>('0' + value % 10);
            value /= 10;
        } while (value > 0);
    }
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
    int begin_ = kEnd;
};

template <bool FirstMinusSecond>
double difference(double x, double y) {
    return FirstMinusSecond ? x - y : y - x;
}

// The class test of the engine, so that the files split as it counts.
bool isInsignificant(double d, double twice) { return d <= 0 || d > twice || d == twice; }

// Calls visit(d) for the differences begin..end-1 in the engine's order (row
// a of the first treatment, column b of the second); a run may start and end
// inside a row.
template <bool FirstMinusSecond, typename Visit>
void forEachDifference(const double* first, const double* second, std::int32_t secondCount, std::int64_t begin,
                       std::int64_t end, Visit&& visit) {
    for (std::int64_t at = begin; at < end;) {
        const double x = first[at / secondCount];
        const auto bBegin = static_cast<std::int32_t>(at % secondCount);
        const auto bEnd = static_cast<std::int32_t>(std::min<std::int64_t>(secondCount, bBegin + (end - at)));
        at += bEnd - bBegin;
        for (std::int32_t b = bBegin; b < bEnd; ++b) visit(difference<FirstMinusSecond>(x, second[b]));
    }
}

// The records of a run of differences, formed in memory so that the two
// cores can each form a chunk while the files are written strictly in
// order; every file gets one block a chunk.
class Chunk {
public:
    explicit Chunk(std::size_t differences) {
        for (auto& b : blocks_) b = std::make_unique<char[]>(differences * kRecordRoom + kRecordRoom);
    }

    // The records of differences begin..end-1.
    template <bool FirstMinusSecond>
    void form(const double* first, const double* second, std::int32_t secondCount, std::int64_t begin, std::int64_t end,
              double meanDifference, std::int64_t sigBefore) {
        const double twice = 2 * meanDifference;
        DigitCounter c(begin), sig(sigBefore), insig(begin - sigBefore);
        char* tail[DetailFiles::KindCount];
        for (int k = 0; k < DetailFiles::KindCount; ++k) tail[k] = blocks_[k].get();
        forEachDifference<FirstMinusSecond>(first, second, secondCount, begin, end, [&](double d) {
            c.increment();
            // "c,d": the all-differences record, also the B file's.
            char* record = tail[DetailFiles::All];
            char* q = c.copyTo(record);
            *q++ = ',';
            char* value = q;
            q = writeFormTo(q, d);
            const auto valueLength = static_cast<std::size_t>(q - value);
            *q++ = '\r';
            *q++ = '\n';
            const auto length = static_cast<std::size_t>(q - record);
            tail[DetailFiles::All] = q;

            q = c.copyTo(tail[DetailFiles::ToMean]);
            *q++ = ',';
            q = writeFormTo(q, d - meanDifference);
            *q++ = '\r';
            *q++ = '\n';
            tail[DetailFiles::ToMean] = q;

            const bool insignificant = isInsignificant(d, twice);
            DigitCounter& serial = insignificant ? insig : sig;
            const int byClass = insignificant ? DetailFiles::InsigA : DetailFiles::SigA;
            const int byNumber = insignificant ? DetailFiles::InsigB : DetailFiles::SigB;
            serial.increment();
            q = serial.copyTo(tail[byClass]);
            *q++ = ',';
            std::memcpy(q, value, kMaxNumberText);
            q += valueLength;
            *q++ = '\r';
            *q++ = '\n';
            tail[byClass] = q;
            std::memcpy(tail[byNumber], record, kRecordRoom);
            tail[byNumber] += length;
        });
        for (int k = 0; k < DetailFiles::KindCount; ++k)
            lengths_[k] = static_cast<std::size_t>(tail[k] - blocks_[k].get());
    }

    std::string_view block(int kind) const { return {blocks_[kind].get(), lengths_[kind]}; }

private:
    std::array<std::unique_ptr<char[]>, DetailFiles::KindCount> blocks_;
    std::array<std::size_t, DetailFiles::KindCount> lengths_{};
};

// Large enough that each file gets blocks of a megabyte or so (smaller
// writes cost the kernel more), small enough to keep 40 MB for both cores.
// Chunks may end inside a row: one row can hold millions of differences.
constexpr std::int64_t kChunkDifferences = 48'000;

// The significant records before each chunk: their serial numbers run
// across chunks, so each chunk's start is counted first.
template <bool FirstMinusSecond>
std::vector<std::int64_t> significantBeforeChunks(const double* first, const double* second, std::int32_t secondCount,
                                                  std::int64_t total, double meanDifference) {
    const double twice = 2 * meanDifference;
    std::vector<std::int64_t> before{0};
    for (std::int64_t begin = 0; begin < total; begin += kChunkDifferences) {
        std::int64_t significant = before.back();
        forEachDifference<FirstMinusSecond>(first, second, secondCount, begin,
                                            std::min(total, begin + kChunkDifferences),
                                            [&](double d) { significant += isInsignificant(d, twice) ? 0 : 1; });
        before.push_back(significant);
    }
    return before;
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
        all.write(WriteRecord().text("Next lines are the bootstrap number B, treament code, and Cartesian C").finish());
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
        files_[k].reset();
        // Those already put in place are this run's; the others' names still
        // hold whatever stood there before.
        if (inPlace_[k]) {
            std::error_code ignored;
            std::filesystem::remove(paths_[k], ignored);
        }
    }
}

void DetailFiles::writeDifferences(const PairDifferences& pair, const Written& progress) {
    const double* const first = pair.outer;
    const double* const second = pair.inner;
    const std::int32_t firstCount = pair.outerCount, secondCount = pair.innerCount;
    const bool firstMinusSecond = pair.outerMinusInner;
    const double meanDifference = pair.meanDifference;
    if (firstCount <= 0 || secondCount <= 0) return;
    const std::int64_t total = std::int64_t{firstCount} * secondCount;
    const auto chunkCount = static_cast<std::int32_t>((total + kChunkDifferences - 1) / kChunkDifferences);
    const std::vector<std::int64_t> sigBefore =
        firstMinusSecond ? significantBeforeChunks<true>(first, second, secondCount, total, meanDifference)
                         : significantBeforeChunks<false>(first, second, secondCount, total, meanDifference);

    // Each file takes the chunks' blocks in order, but one worker may write
    // one file while the other writes another.
    std::mutex mutex;
    std::condition_variable turnChanged;
    std::array<std::int32_t, KindCount> turn{};  // the chunk each file takes next
    std::exception_ptr failure;
    std::atomic<std::int32_t> nextChunk{0};
    std::int64_t reported = 0;

    auto work = [&](bool reportsProgress) {
        try {
            Chunk chunk(static_cast<std::size_t>(std::min(total, kChunkDifferences)));
            for (;;) {
                const std::int32_t k = nextChunk.fetch_add(1);
                if (k >= chunkCount) return;
                const std::int64_t begin = k * kChunkDifferences, end = std::min(total, begin + kChunkDifferences);
                if (firstMinusSecond)
                    chunk.form<true>(first, second, secondCount, begin, end, meanDifference, sigBefore[k]);
                else
                    chunk.form<false>(first, second, secondCount, begin, end, meanDifference, sigBefore[k]);
                for (int f = 0; f < KindCount; ++f) {
                    {
                        std::unique_lock lock(mutex);
                        turnChanged.wait(lock, [&] { return turn[f] == k || failure; });
                        if (failure) return;
                    }
                    files_[f]->write(chunk.block(f));
                    {
                        std::lock_guard lock(mutex);
                        turn[f] = k + 1;
                    }
                    turnChanged.notify_all();
                }
                if (reportsProgress && progress) {
                    reported = end;
                    progress(reported, total);
                }
            }
        } catch (...) {
            {
                std::lock_guard lock(mutex);
                if (!failure) failure = std::current_exception();
            }
            turnChanged.notify_all();
        }
    };
    // The window's progress is drawn by this thread only.
    std::thread helper(work, false);
    work(true);
    helper.join();
    if (failure) std::rethrow_exception(failure);
    if (progress && reported != total) progress(total, total);
}

void DetailFiles::close() {
    constexpr Kind kCloseOrder[] = {All, ToMean, SigA, SigB, InsigA, InsigB};
    for (Kind k : kCloseOrder) {
        files_[k]->close();
        inPlace_[k] = true;
    }
    closed_ = true;
}

}  // namespace lumera
