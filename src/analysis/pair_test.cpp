#include "analysis/pair_test.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <system_error>
#include <thread>

#include "analysis/difference_set.h"
#include "analysis/interval_rules.h"
#include "analysis/parallel_items.h"

namespace lumera::analysis {

double twiceMeanDifference(const TreatmentSample& minuend, const TreatmentSample& subtrahend) {
    return 2 * (minuend.mean - subtrahend.mean);
}

namespace {

// testPair, with the moments' per-side sums shared with other pairs when given.
PairResult pairTest(const std::vector<TreatmentSample>& ordered, std::size_t i, std::size_t j,
                    const IntervalLevel& level, MomentSides* sides) {
    const TreatmentSample &a = ordered[i], &b = ordered[j];
    // The larger mean minus the other; with equal means the later minus the earlier.
    const bool direction = a.mean > b.mean;
    const TreatmentSample &minuend = direction ? a : b, &subtrahend = direction ? b : a;
    PairResult r;
    r.first = direction ? i : j;
    r.second = direction ? j : i;
    const double twice = twiceMeanDifference(minuend, subtrahend);
    r.differences = static_cast<std::int64_t>(a.replicates.size()) * static_cast<std::int64_t>(b.replicates.size());

    const DifferenceMoments moments =
        sides ? sides->pair(r.first, r.second) : exactMoments(minuend.replicates, subtrahend.replicates);
    r.meanDifference = moments.mean;
    r.se = moments.se;
    r.tLower = moments.mean - level.z * moments.se;
    r.tUpper = moments.mean + level.z * moments.se;

    const double c = static_cast<double>(r.differences);
    const PercentileRanks ranks = percentileRanks(c, level);
    r.lowerPosition = ranks.lower;
    r.upperPosition = ranks.upper;
    const DifferenceSet set(minuend.sorted, subtrahend.sorted);
    // The upper class is #(d >= 2D) when 2D > 0, else #(d > 0).
    const std::int64_t positions[] = {r.lowerPosition, r.upperPosition};
    const DifferenceSet::Probe probes[] = {{0.0, false}, {twice, true}};
    double percentiles[2];
    std::int64_t counts[2];
    set.select(positions, percentiles, {probes, twice > 0 ? 2u : 1u}, counts);
    r.percentileLower = percentiles[0];
    r.percentileUpper = percentiles[1];
    r.atMostZero = counts[0];
    r.atLeastTwice = r.differences - (twice > 0 ? counts[1] : counts[0]);
    r.pValue = static_cast<double>(r.atMostZero + r.atLeastTwice) / c;
    return r;
}

}  // namespace

PairResult testPair(const std::vector<TreatmentSample>& ordered, std::size_t i, std::size_t j,
                    const IntervalLevel& level) {
    return pairTest(ordered, i, j, level, nullptr);
}

std::vector<PairResult> testAllPairs(const std::vector<TreatmentSample>& ordered, const IntervalLevel& level) {
    std::vector<std::pair<std::size_t, std::size_t>> pairs;
    for (std::size_t i = 0; i + 1 < ordered.size(); ++i)
        for (std::size_t j = i + 1; j < ordered.size(); ++j) pairs.emplace_back(i, j);
    std::vector<PairResult> results(pairs.size());
    std::vector<std::span<const double>> replicates;
    for (const TreatmentSample& t : ordered) replicates.emplace_back(t.replicates);
    MomentSides sides(std::move(replicates));
    forEachItem(pairs.size(), coreCount(),
                [&](std::size_t p) { results[p] = pairTest(ordered, pairs[p].first, pairs[p].second, level, &sides); });
    return results;
}

}  // namespace lumera::analysis
