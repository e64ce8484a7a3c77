#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "cartesian/pair_order.h"
#include "textio/text_file.h"

namespace lumera {

class Program;

// The six detail difference files of one pair (i, j): every difference, its
// distance from the difference of the means, and the significant and
// insignificant ones, each numbered two ways. Each file takes its name only
// when complete, replacing an older one whole; if the pair does not end with
// close(), none of its files is left behind and older ones stay.
class DetailFiles {
public:
    // Creates the files, writes their headers and sets OutputFileName to
    // the all-differences file.
    DetailFiles(Program& program, int i, int j);
    ~DetailFiles();
    DetailFiles(const DetailFiles&) = delete;
    DetailFiles& operator=(const DetailFiles&) = delete;

    // Called on the calling thread with the differences written so far and
    // their total, many times a second while the files are written.
    using Written = std::function<void(std::int64_t done, std::int64_t total)>;

    // The data records of all differences in the engine's order; d and its
    // class are formed exactly as the engine forms them. The records are
    // formed on two threads; the bytes are the same as one thread's.
    void writeDifferences(const PairDifferences& pair, const Written& progress = {});
    void close();

    // Index in paths(): all, to mean, sig A, sig B, insig A, insig B.
    enum Kind { All, ToMean, SigA, SigB, InsigA, InsigB, KindCount };
    const std::array<std::string, KindCount>& paths() const { return paths_; }

private:
    void removeAll();

    std::array<std::string, KindCount> paths_;
    std::array<std::unique_ptr<TextFile>, KindCount> files_;
    std::array<bool, KindCount> inPlace_{};
    bool closed_ = false;
};

// The name of one detail file of pair (i, j), without folder.
std::string detailFileName(const std::string& stem, const std::string& code, int i, int j, DetailFiles::Kind kind);

}  // namespace lumera
