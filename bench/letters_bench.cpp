// The letter display of 100 treatments whose significant pairs form a
// perfect matching: insert-and-absorb would build 2^50 groups; past 4096 the
// clique cover takes over. Baseline: the same pattern at 24 treatments,
// 4096 groups, the most insert-and-absorb is allowed to hold.
#include <chrono>
#include <cstdio>
#include <random>
#include <vector>

#include "analysis/letters.h"
#include "bench_util.h"

namespace {

using Matrix = std::vector<std::vector<bool>>;

Matrix perfectMatching(std::size_t m) {
    Matrix d(2 * m, std::vector<bool>(2 * m, false));
    for (std::size_t p = 0; p < m; ++p) d[2 * p][2 * p + 1] = d[2 * p + 1][2 * p] = true;
    return d;
}

Matrix randomPattern(std::size_t k, double share, unsigned seed) {
    std::mt19937 rng(seed);
    std::bernoulli_distribution differs(share);
    Matrix d(k, std::vector<bool>(k, false));
    for (std::size_t i = 0; i < k; ++i)
        for (std::size_t j = i + 1; j < k; ++j) d[i][j] = d[j][i] = differs(rng);
    return d;
}

void report(const char* what, const Matrix& d, int runs) {
    lumera::analysis::LetterDisplay r;
    const double t = lumera::bench::medianSeconds(runs, [&] { r = lumera::analysis::letterDisplayWithMethod(d); });
    std::printf("%-44s %9.4f s  %-13s %zu letters\n", what, t,
                r.method == lumera::analysis::LettersMethod::CliqueCover ? "clique-cover" : "insert-absorb",
                r.groups.size());
}

}  // namespace

int main() {
    report("perfect matching, 24 treatments (baseline)", perfectMatching(12), 3);
    report("perfect matching, 26 treatments", perfectMatching(13), 3);
    report("perfect matching, 100 treatments", perfectMatching(50), 3);
    // The most insert-and-absorb may hold, among 100 treatments.
    Matrix twelve(100, std::vector<bool>(100, false));
    for (std::size_t p = 0; p < 12; ++p) twelve[2 * p][2 * p + 1] = twelve[2 * p + 1][2 * p] = true;
    report("12 differing pairs among 100 treatments", twelve, 3);
    for (double share : {0.02, 0.1, 0.5, 0.9}) {
        char what[64];
        std::snprintf(what, sizeof what, "random, 100 treatments, %.0f %% differ", share * 100);
        report(what, randomPattern(100, share, 7), 3);
    }
    return 0;
}
