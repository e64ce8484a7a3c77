#pragma once
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "analysis/large_pages.h"
#include "analysis/life_table.h"

namespace lumera::analysis {

// The row a draw picks: floor(u n / 2^64), the high half of the 128-bit
// product, so that every row is equally likely to within 2^-64 and any
// implementation with 128-bit products gets the same row.
__extension__ typedef unsigned __int128 DrawProduct;
inline std::uint32_t drawnRow(std::uint64_t u, std::uint32_t n) {
    return static_cast<std::uint32_t>((static_cast<DrawProduct>(u) * n) >> 64);
}

// The outputs of std::mt19937_64 seeded alike, made a state's worth (312)
// at a time in plain loops the compiler vectorises: the draws are one
// sequence, made under a lock, so their speed bounds the threads'.
class DrawGenerator {
public:
    explicit DrawGenerator(std::uint64_t seed);
    std::uint64_t operator()() {
        if (next_ == kState) refill();
        return out_[next_++];
    }

private:
    static constexpr std::size_t kState = 312;
    void refill();
    std::uint64_t x_[kState];
    std::uint64_t out_[kState];
    std::size_t next_ = kState;
};

// The seed of the k-th cohort (from 1) of a run seeded with `seed`.
inline std::uint64_t cohortSeed(std::uint64_t seed, std::size_t k) { return seed + (k - 1); }

// The rows replicate b (from 1) of a cohort of n draws from a generator
// seeded with `seed`; for tests and for anyone checking a file by hand.
std::vector<std::uint32_t> replicateRows(std::uint64_t seed, std::uint32_t n, std::uint64_t b);

// A statistic's replicates live in one block shared by all the statistics
// of a run (see ArenaAllocator).
using ReplicateValues = std::vector<double, ArenaAllocator<double>>;

// One statistic's replicates in replicate order, those that lack it left out.
struct StatisticReplicates {
    std::string name;
    std::optional<double> estimate;  // from the cohort itself
    ReplicateValues values;
    std::uint64_t leftOut = 0;
    std::string leftOutReason;  // empty when none is left out
};

struct BootstrapRequest {
    std::uint64_t replicates = 100000;
    std::uint64_t seed = 1;
    unsigned threads = 1;  // 0: as many as the machine has cores
    // The statistics kept, by name as statisticNames() gives them; empty: all.
    std::vector<std::string> statistics;
    // Replicates done so far, for a progress display; may be null.
    std::atomic<std::uint64_t>* done = nullptr;
};

// Draws the replicates of the cohort (drawn rows are never copied) and
// computes the requested statistics of each, in parallel; the result is the
// same for every number of threads. Statistics in statisticNames() order.
std::vector<StatisticReplicates> bootstrapCohort(const Cohort& cohort, const BootstrapRequest& request);

// Why a replicate can lack the statistic, in words for the output.
std::string leftOutReason(const std::string& statistic);

}  // namespace lumera::analysis
