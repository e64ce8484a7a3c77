#include "cartesian/difference_engine.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <span>
#include <vector>

#include "analysis/difference_set.h"
#include "analysis/interval_rules.h"
#include "analysis/treatment_sample.h"
#include "cartesian/detail_files.h"
#include "cartesian/pair_order.h"
#include "cartesian/treatment_statistics.h"
#include "report/comparison_report.h"
#include "shell/program.h"
#include "textio/number_forms.h"
#include "textio/rounding.h"
#include "textio/user_error.h"

namespace lumera {

namespace {

constexpr const char* kRunningCaption = "I am running Cartesian paired test.\nPlease wait!\nDon't touch me!";
constexpr const char* kBeganText = "Cartesian paired test began at:";
using analysis::kTQuantile;

// Writing a large pair takes long enough that the window must show it moving,
// but redrawing for every step would slow the writing down.
constexpr std::chrono::milliseconds kProgressInterval{250};

void writeDetailFiles(Program& program, int i, int j, const PairDifferences& pair) {
    Progress& progress = program.progress();
    DetailFiles files(program, i, j);
    auto last = std::chrono::steady_clock::now();
    // A cancelled pair leaves none of its files: they go with `files`.
    files.writeDifferences(pair, [&](std::int64_t done, std::int64_t total) {
        if (progress.cancelRequested()) throw RunCancelled{};
        const auto now = std::chrono::steady_clock::now();
        if (now - last < kProgressInterval) return;
        last = now;
        progress.detailFiles(i, j, static_cast<int>(done * 100 / total));
    });
    if (progress.cancelRequested()) throw RunCancelled{};
    files.close();
}

// The engine itself needs only the sums: its counts come from the analysis
// core, which counts without visiting every difference.
template <bool FirstMinusSecond, bool WithCounts>
PairSums sumPair(const PairDifferences& pair) {
    const double* const first = pair.outer;
    const double* const second = pair.inner;
    const std::int32_t firstCount = pair.outerCount, secondCount = pair.innerCount;
    const double meanDifference = pair.meanDifference;
    PairSums r;
    const double twice = 2 * meanDifference;
    double sum = 0, squares = 0;
    std::int32_t atMostZero = 0, atLeastTwice = 0;
    for (std::int32_t a = 0; a < firstCount; ++a) {
        const double x = first[a];
        for (std::int32_t b = 0; b < secondCount; ++b) {
            const double d = FirstMinusSecond ? x - second[b] : second[b] - x;
            if constexpr (WithCounts) {
                atMostZero += d <= 0;
                atLeastTwice += (d > 0) & ((d > twice) | (d == twice));
            }
            sum += d;
            squares += d * d;
        }
    }
    r.sum = sum;
    r.sumOfSquares = squares;
    r.atMostZero = atMostZero;
    r.atLeastTwice = atLeastTwice;
    r.significant = WithCounts ? firstCount * secondCount - atMostZero - atLeastTwice : 0;
    return r;
}

// Whether some difference other than 0 squares to 0 or a subnormal, which
// the sequential sum of squares loses: exactly those below 2^-511 in size.
// A difference of doubles is a multiple of the smaller one's last-place
// unit, so such a difference needs values below 2^-457 on both sides; that
// settles most pairs without a count.
bool hasUnderflowingSquare(const analysis::DifferenceSet& differences, const std::vector<double>& minuendSorted,
                           const std::vector<double>& subtrahendSorted) {
    auto holdsTiny = [](const std::vector<double>& sorted) {
        const double tiny = std::ldexp(1.0, -457);
        const auto at = std::lower_bound(sorted.begin(), sorted.end(), -tiny);
        return at != sorted.end() && *at < tiny;
    };
    if (!holdsTiny(minuendSorted) || !holdsTiny(subtrahendSorted)) return false;
    const double edge = std::ldexp(1.0, -511);
    const std::int64_t inside = differences.countBelow(edge) - differences.countAtMost(-edge);
    const std::int64_t zeros = differences.countAtMost(0.0) - differences.countBelow(0.0);
    return inside > zeros;
}

}  // namespace

PairSums sumPairDifferences(const PairDifferences& pair) {
    return pair.outerMinusInner ? sumPair<true, true>(pair) : sumPair<false, true>(pair);
}

PercentilePositions percentilePositions(double C2) {
    // C2 is at most 9,000,005, so the ranks fit.
    const analysis::PercentileRanks ranks = analysis::percentileRanks(C2);
    return {static_cast<std::int32_t>(ranks.lower), static_cast<std::int32_t>(ranks.upper)};
}

void CartesianDifference2(Program& program) {
    RunState& s = program.state();
    Progress& progress = program.progress();
    const int n = s.TreatmentCount;

    s.CurrentProcedure = "Public Sub CartesianDifference2()";
    if (s.FlowRecord == Flag::Yes) program.writeFlowLine("Sub CartesianDifference2");
    for (int i = 1; i < n; ++i)
        for (int j = i + 1; j <= n; ++j) {
            s.CountAtMostZero[i][j] = 0;
            s.CountAtLeastTwice[i][j] = 0;
            s.CountInsignificant[i][j] = 0;
            s.CountSignificant[i][j] = 0;
        }

    EngineCopy copy;
    computeTreatmentStatistics(s, copy);
    // Sorted once for all the pairs a treatment is in.
    PerTreatment<std::vector<double>> sorted;
    for (int k = 1; k <= n; ++k)
        sorted[k] = analysis::ascending(std::span<const double>(copy.X[k].data() + 1, copy.X[k].size() - 1));

    progress.runStarted(kRunningCaption);
    s.BeganTime = program.clock().now();
    s.BeganText = kBeganText + s.BeganTime.text();
    progress.runBegan(s.BeganText);

    for (int i = 1; i <= n - 1; ++i) {
        for (int j = i + 1; j <= n; ++j) {
            progress.pairStarted(i, j);

            // d is always the larger-mean treatment minus the other one.
            const bool directionA = s.BootMean[i] > s.BootMean[j];
            const double D = directionA ? s.BootMean[i] - s.BootMean[j] : s.BootMean[j] - s.BootMean[i];
            const std::int32_t C = *toInt32(s.BootCountValue[i] * s.BootCountValue[j]);
            const PairDifferences pair{.outer = copy.X[i].data() + 1,
                                       .outerCount = s.BootCount[i],
                                       .inner = copy.X[j].data() + 1,
                                       .innerCount = s.BootCount[j],
                                       .outerMinusInner = directionA,
                                       .outerSorted = sorted[i].data(),
                                       .innerSorted = sorted[j].data(),
                                       .meanDifference = D};
            const PairSums sums = directionA ? sumPair<true, false>(pair) : sumPair<false, false>(pair);
            const analysis::DifferenceSet differences(directionA ? sorted[i] : sorted[j],
                                                      directionA ? sorted[j] : sorted[i]);

            const double C2 = s.BootCountValue[j] * s.BootCountValue[i];
            s.MeanDiff[i][j] = sums.sum / C2;
            const double variance = (sums.sumOfSquares - sums.sum * sums.sum / C2) / (C2 - 1);
            // max() would turn a variance beyond double precision into 0.
            if (!std::isfinite(s.MeanDiff[i][j]) || !std::isfinite(variance))
                throw UserError(kTooLargeTitle, "Treatments " + s.TreatName[i] + " and " + s.TreatName[j] +
                                                    "\nValues too large: the variance of their differences is" +
                                                    kBeyondDouble);
            if (hasUnderflowingSquare(differences, directionA ? sorted[i] : sorted[j],
                                      directionA ? sorted[j] : sorted[i]))
                throw UserError(kTooSmallTitle, "Treatments " + s.TreatName[i] + " and " + s.TreatName[j] +
                                                    "\nValues too small: the squares of their differences are" +
                                                    kBelowDouble);
            // A hair below zero from rounding means no spread at all.
            s.DiffVariance[i][j] = std::max(0.0, variance);
            s.DiffSE[i][j] = std::sqrt(s.DiffVariance[i][j]);
            s.CountAtMostZero[i][j] = static_cast<std::int32_t>(differences.countAtMost(0.0));
            s.CountAtLeastTwice[i][j] = static_cast<std::int32_t>(differences.countAtLeastTwice(2 * D));
            s.CountSignificant[i][j] = C - s.CountAtMostZero[i][j] - s.CountAtLeastTwice[i][j];

            if (s.DetailedDifferences == Flag::Yes) writeDetailFiles(program, i, j, pair);

            progress.sorting(i, j);

            // The sort's outcome at the two percentile positions, and the
            // group limit it leaves, without forming the sorted differences.
            s.SortCount = C;
            if (s.FlowRecord == Flag::Yes && s.SortAndCountUsed != Flag::Yes) program.writeFlowLine("Sub QuickSort");
            const PercentilePositions at = percentilePositions(C2);
            s.PctLower[i][j] = at.lo >= 1 && at.lo <= C ? differences.kth(at.lo) : 0.0;
            s.PctUpper[i][j] = at.hi >= 1 && at.hi <= C ? differences.kth(at.hi) : 0.0;
            // No positions asked: the sort's simulation is run for its group limit only.
            sortedPairPositions(pair, sums.sum, 0, 0, s.GroupLimit);

            s.CountInsignificant[i][j] = s.CountAtMostZero[i][j] + s.CountAtLeastTwice[i][j];
            s.PValue[i][j] = s.CountInsignificant[i][j] / C2;
            s.PValue[j][i] = s.PValue[i][j];
            s.PValueTable[i][j] = s.PValue[i][j];
            s.PValueTable[j][i] = s.PValue[i][j];

            s.TLower[i][j] = s.MeanDiff[i][j] - kTQuantile * s.DiffSE[i][j];
            s.TUpper[i][j] = s.MeanDiff[i][j] + kTQuantile * s.DiffSE[i][j];

            progress.pairDone(i, j, program.clock().now());
        }
    }
    PrintMultiCIofDifference(program);
}

}  // namespace lumera
