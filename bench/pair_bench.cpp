// One pair of the analysis core at B = 100,000 against B = 100,000
// (10^10 differences): the percentiles' ranks, the counts, the whole pair,
// against one counting pass and the 64 passes a bisection over every
// double would take. An argument sets B.
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "analysis/difference_set.h"
#include "analysis/pair_test.h"
#include "analysis/treatment_sample.h"
#include "bench_util.h"

using namespace lumera;

int main(int argc, char** argv) {
    const int B = argc > 1 ? std::atoi(argv[1]) : 100000, runs = 5;
    std::mt19937_64 rng(1);
    std::normal_distribution<double> a(1.5, 0.3), b(1.2, 0.3);
    std::vector<double> x(B), y(B);
    for (double& v : x) v = a(rng);
    for (double& v : y) v = b(rng);
    const std::vector<analysis::TreatmentSample> ordered = {analysis::makeSample("A", "a", x),
                                                            analysis::makeSample("B", "b", y)};
    const analysis::DifferenceSet set(ordered[0].sorted, ordered[1].sorted);
    volatile double sink = 0;

    const double pass = bench::medianSeconds(runs, [&] { sink = static_cast<double>(set.countAtMost(0.3)); });
    const analysis::DifferenceSet::Probe probes[] = {{0.3, false}, {0.25, true}};
    std::int64_t counts[2];
    const double shared = bench::medianSeconds(runs, [&] {
        set.select({}, {}, probes, counts);
        sink = static_cast<double>(counts[0] + counts[1]);
    });
    const double kth = bench::medianSeconds(runs, [&] { sink = set.kth(set.count() / 40); });
    const double pair = bench::medianSeconds(runs, [&] { sink = analysis::testPair(ordered, 0, 1).percentileLower; });

    std::printf("pair of B = %d x %d (%.0f differences)\n", B, B, static_cast<double>(set.count()));
    std::printf("one counting pass: %.4f s (median of %d)\n", pass, runs);
    std::printf("two counts in one shared walk: %.4f s\n", shared);
    std::printf("kth at the 2.5 %% position: %.4f s = %.1f passes' time\n", kth, kth / pass);
    std::printf("testPair (moments, two percentiles, two counts): %.4f s\n", pair);
    std::printf("baseline, 64 passes of a bisection over all doubles: %.4f s\n", 64 * pass);
    (void)sink;
    return 0;
}
