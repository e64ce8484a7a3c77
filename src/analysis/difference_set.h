#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

namespace lumera::analysis {

// All differences d = fl(m - s) of a minuend value m and a subtrahend value
// s, each rounded to double exactly as forming it gives it (ties, -0,
// rounding near 0 included), counted and ranked without forming them:
// O(M + S) memory, O(M + S) time a count.
class DifferenceSet {
public:
    // Both ascending (TreatmentSample::sorted), finite and not empty; kept by reference.
    DifferenceSet(std::span<const double> minuendSorted, std::span<const double> subtrahendSorted);

    std::int64_t count() const;  // M x S
    double smallest() const;
    double largest() const;
    std::int64_t countAtMost(double t) const;  // #(d <= t)
    std::int64_t countBelow(double t) const;   // #(d < t)
    // #(d > 0 and d >= twiceD), the upper insignificant class of the test.
    std::int64_t countAtLeastTwice(double twiceD) const;
    // The k-th smallest difference, 1 <= k <= count(): -0 only when every
    // difference equal to 0 is -0.
    double kth(std::int64_t k) const;

    // A count to be made beside the ranks of select: #(d < t) when strict,
    // else #(d <= t).
    struct Probe {
        double t = 0;
        bool strict = false;
    };
    // values[i] = kth(ranks[i]) and counts[i] the count of probes[i], all
    // from shared passes over the two sides with working memory reused by
    // the calling thread. At most kMaxRanks ranks, kMaxProbes probes.
    static constexpr std::size_t kMaxRanks = 2, kMaxProbes = 2;
    void select(std::span<const std::int64_t> ranks, std::span<double> values, std::span<const Probe> probes,
                std::span<std::int64_t> counts) const;
    // counts[i] = #(edges[i] <= d < edges[i + 1]); the last bin also counts
    // d == edges.back(). edges ascending, at least two.
    std::vector<std::int64_t> binCounts(std::span<const double> edges) const;

private:
    std::span<const double> minuend_, subtrahend_;
};

// Mean and spread of all M x S differences from exact sums of the
// replicates (not the sequential means): the mean difference is the exact
// mean of the minuend minus the exact mean of the subtrahend, the variance
// (S SS_m + M SS_s) / (C - 1) with SS the exact sums of squared deviations;
// each within 1e-13 x (|mean| + SE) of the exact value.
struct DifferenceMoments {
    double mean = 0;
    double variance = 0;
    double se = 0;
};
DifferenceMoments exactMoments(std::span<const double> minuend, std::span<const double> subtrahend);

struct SideMoments;

// exactMoments of pairs of the sides, to the bit, with each side's sums
// formed once for all its pairs; pair() may be called from several threads.
// The sides are kept by reference.
class MomentSides {
public:
    explicit MomentSides(std::vector<std::span<const double>> sides);
    ~MomentSides();
    MomentSides(const MomentSides&) = delete;
    MomentSides& operator=(const MomentSides&) = delete;
    DifferenceMoments pair(std::size_t minuend, std::size_t subtrahend);

private:
    struct Slot;
    std::vector<std::span<const double>> sides_;
    std::vector<double> largest_;
    std::mutex mutex_;
    std::map<std::pair<std::size_t, int>, std::unique_ptr<Slot>> slots_;
};

}  // namespace lumera::analysis
