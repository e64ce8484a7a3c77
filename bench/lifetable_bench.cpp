// The life table of a 1,000-individual cohort over 120 days (table,
// parameters and statistics), and the parameters and statistics of one
// resampled cohort as a bootstrap computes them B times; beside a plain
// pass over the records and the draws of the rows themselves.
#include <chrono>
#include <cstdio>
#include <random>
#include <vector>

#include "analysis/life_table.h"
#include "bench_util.h"
#include "textio/cohort_reader.h"

using namespace lumera;

namespace {

__extension__ typedef unsigned __int128 Wide;

// Four immature stages, about 18 days to adulthood, adults living up to
// about 100 days, 20 % dying young; females lay 0-15 eggs a day.
CohortRecords makeCohort(int n) {
    std::mt19937_64 rng(42);
    const auto uniform = [&](int lo, int hi) { return lo + static_cast<int>(rng() % (hi - lo + 1)); };
    CohortRecords r;
    r.stages = {"egg", "L1", "L2", "pupa"};
    r.eggOffset.push_back(0);
    for (int i = 0; i < n; ++i) {
        const int kind = uniform(0, 99);
        const char sex = kind < 45 ? 'F' : kind < 80 ? 'M' : 'N';
        const int reached = sex == 'N' ? uniform(1, 4) : 4;
        const int days[4] = {uniform(3, 5), uniform(2, 4), uniform(3, 5), uniform(5, 7)};
        for (int j = 0; j < 4; ++j) r.durations.push_back(j < reached ? days[j] : 0);
        const int adult = sex == 'N' ? 0 : uniform(20, 100);
        r.adult.push_back(adult);
        r.sex.push_back(sex);
        r.ids.push_back(std::to_string(i + 1));
        if (sex == 'F')
            for (int t = 0; t < adult; ++t) r.eggs.push_back(t == 0 ? 0 : static_cast<std::uint32_t>(uniform(0, 15)));
        r.eggOffset.push_back(r.eggs.size());
    }
    return r;
}

}  // namespace

int main() {
    const int n = 1000, runs = 31, replicates = 20000;
    const CohortRecords records = makeCohort(n);
    const analysis::Cohort cohort(records);
    volatile double sink = 0;

    const double table = bench::medianSeconds(runs, [&] {
        const analysis::LifeTableResult res = analysis::lifeTable(cohort);
        sink = res.parameters.R0 + *res.table.v[0][0];
    });
    // The floor: one pass adding up every field of the records.
    const double plain = bench::medianSeconds(runs, [&] {
        std::int64_t sum = 0;
        for (const std::int32_t d : records.durations) sum += d;
        for (const std::int32_t a : records.adult) sum += a;
        for (const std::uint32_t e : records.eggs) sum += e;
        sink = static_cast<double>(sum);
    });
    // A straightforward table: each individual's stage looked up at every age.
    const double naive = bench::medianSeconds(runs, [&] {
        const std::size_t ages = static_cast<std::size_t>(cohort.ageCount()), stages = 6;
        std::vector<std::int64_t> count(ages * stages, 0);
        for (std::size_t i = 0; i < records.size(); ++i)
            for (std::size_t x = 0; x < ages; ++x) {
                std::int32_t a = 0;
                std::size_t j = 0;
                while (j < 4 && records.durations[i * 4 + j] > 0 &&
                       static_cast<std::int32_t>(x) >= a + records.durations[i * 4 + j])
                    a += records.durations[i * 4 + j++];
                if (j < 4 && records.durations[i * 4 + j] == 0) continue;  // dead in an earlier stage
                if (j == 4 && (records.sex[i] == 'N' || static_cast<std::int32_t>(x) >= a + records.adult[i])) continue;
                ++count[x * stages + (j < 4 ? j : records.sex[i] == 'F' ? 4 : 5)];
            }
        sink = static_cast<double>(count[stages]);
    });

    // The rows of every replicate, drawn as the bootstrap draws them.
    std::mt19937_64 rng(1);
    std::vector<std::uint32_t> rows(static_cast<std::size_t>(n) * replicates);
    const auto drawStart = std::chrono::steady_clock::now();
    for (std::uint32_t& row : rows)
        row = static_cast<std::uint32_t>((static_cast<Wide>(rng()) * static_cast<unsigned>(n)) >> 64);
    const double draws = std::chrono::duration<double>(std::chrono::steady_clock::now() - drawStart).count();
    const std::optional<double> own = analysis::lifeTable(cohort).parameters.r;
    analysis::ReplicateWorkspace workspace;
    analysis::Parameters p;
    analysis::Statistics s;
    // The median over blocks of replicates, each block's time per replicate.
    const auto perReplicate = [&](std::optional<double> guess) {
        const int blocks = 10, size = replicates / blocks;
        std::vector<double> times;
        for (int block = 0; block < blocks; ++block) {
            const auto start = std::chrono::steady_clock::now();
            for (int b = block * size; b < (block + 1) * size; ++b) {
                analysis::resampledEstimates(cohort, std::span(rows).subspan(static_cast<std::size_t>(b) * n, n),
                                             workspace, p, s, guess);
                sink = *p.r;
            }
            times.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / size);
        }
        return bench::median(times);
    };
    const double warm = perReplicate(own);
    const double cold = perReplicate(std::nullopt);
    const double warmAgain = perReplicate(own);

    std::printf("cohort of %d individuals over %d days, %zu egg-days; r = %.6f, R0 = %.3f\n", n, cohort.ageCount(),
                records.eggs.size(), *own, analysis::lifeTable(cohort).parameters.R0);
    std::printf("lifeTable (table, parameters, statistics): %.1f us (median of %d)\n", table * 1e6, runs);
    std::printf("baseline, one plain pass over the records: %.1f us  (ratio %.1f)\n", plain * 1e6, table / plain);
    std::printf("baseline, stage of each individual looked up at each age: %.1f us  (ratio %.2f)\n", naive * 1e6,
                table / naive);
    std::printf(
        "one resampled cohort, started from the cohort's r: %.2f us (median of 10 blocks of %d; again %.2f us)\n",
        warm * 1e6, replicates / 10, warmAgain * 1e6);
    std::printf("one resampled cohort, no start: %.2f us\n", cold * 1e6);
    std::printf("baseline, drawing its %d rows with mt19937_64: %.2f us\n", n, draws / replicates * 1e6);
    (void)sink;
    return 0;
}
