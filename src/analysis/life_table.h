#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "textio/cohort_reader.h"

namespace lumera::analysis {

// A cohort as flat per-individual arrays, with what every replicate of a
// bootstrap needs computed once: ages at adulthood and death, the span of
// ages with eggs, the egg totals.
class Cohort {
public:
    enum Sex : std::uint8_t { Female, Male, Died };

    // Records as the cohort reader returns them; inconsistent records throw
    // std::invalid_argument.
    explicit Cohort(const CohortRecords& records);

    std::size_t size() const { return sex_.size(); }
    std::size_t immatureStages() const { return stageCount_; }
    // The k immature stages, then "female" and "male".
    const std::vector<std::string>& stages() const { return stages_; }
    // One past the last age at which any individual is alive.
    std::int32_t ageCount() const { return ageCount_; }

private:
    friend class LifeTableCore;
    std::size_t stageCount_ = 0;
    std::vector<std::string> stages_;
    std::int32_t ageCount_ = 0;
    std::vector<std::uint8_t> sex_;
    std::vector<std::uint16_t> reached_;     // immature stages entered (k for F and M)
    std::vector<std::int32_t> durations_;    // row-major, k per individual
    std::vector<std::int32_t> adultAge_;     // a_k (F and M)
    std::vector<std::int32_t> longevity_;    // L (F and M)
    std::vector<std::int32_t> death_;        // age at death
    std::vector<std::int32_t> firstEggAge_;  // age of the first egg (females with eggs)
    std::vector<std::int32_t> eggDays_;      // ages with eggs run firstEggAge .. + eggDays - 1
    std::vector<std::int32_t> layingDays_;   // adult days with eggs > 0
    std::vector<std::int64_t> totalEggs_;
    std::vector<std::size_t> eggOffset_;  // into eggs_, size() + 1
    std::vector<std::uint32_t> eggs_;     // by age from the first egg to the last
};

// The age-stage table, stage-major: n[j][x] for stage j (as Cohort::stages)
// at age x = 0 .. ages - 1. A value that does not exist is nullopt.
struct LifeTable {
    std::vector<std::string> stages;
    std::vector<std::vector<std::int64_t>> n;
    std::vector<std::vector<double>> s;
    std::vector<std::vector<std::optional<double>>> e;  // none where n_xj = 0
    std::vector<std::vector<std::optional<double>>> v;  // none where n_xj = 0 or there is no r
    std::vector<double> l;
    std::vector<std::int64_t> E;  // eggs laid at age x
    std::vector<double> f;        // E_x / females alive at x; 0 where none
    std::vector<double> m;        // E_x / alive at x
    std::vector<double> lm;       // E_x / n
    std::size_t ages() const { return l.size(); }
};

struct Parameters {
    std::optional<double> r;  // none when R0 = 0; exactly 0 when the eggs total n
    double lambda = 0;        // e^r, 0 when R0 = 0
    double R0 = 0;
    std::optional<double> T;  // none when R0 = 0
    double GRR = 0;
};

// Each a mean over the individuals it applies to; none where none applies.
struct Statistics {
    std::int64_t n = 0, females = 0, males = 0, immatureDeaths = 0;
    std::vector<std::optional<double>> duration;  // per immature stage, over those that completed it
    std::optional<double> preadult;
    std::optional<double> adultLongevityFemale, adultLongevityMale;
    std::optional<double> longevityFemale, longevityMale, longevityAll;
    std::optional<double> fecundity;                    // over all females
    std::optional<double> APOP, TPOP, ovipositionDays;  // over the females with eggs
    double proportionFemale = 0, proportionMale = 0, proportionN = 0, preadultSurvival = 0;
};

struct LifeTableResult {
    LifeTable table;
    Parameters parameters;
    Statistics statistics;
};

// The table, the parameters and the statistics of the whole cohort.
LifeTableResult lifeTable(const Cohort& cohort);

// Room for one replicate's sums, made once per thread and reused.
class ReplicateWorkspace {
public:
    ReplicateWorkspace() = default;

private:
    friend class LifeTableCore;
    std::vector<std::uint32_t> times_;  // rows drawing each individual
    std::vector<std::int64_t> eggs_;    // by age
    std::vector<std::int64_t> deaths_;  // individuals dying at each age
    std::vector<std::int64_t> alive_;
    std::vector<std::int64_t> stageDays_, stageCount_;
    std::vector<double> tail_;  // solver scratch
};

// The parameters and statistics of the cohort made of the given rows
// (0-based, each below cohort.size(), repeats allowed, at least one), as a
// bootstrap draws them, without copying records: equal to lifeTable() of
// the cohort copied row by row. rGuess (for a replicate, the cohort's own
// r) only speeds the root finder. Unchecked: a hot loop.
void resampledEstimates(const Cohort& cohort, std::span<const std::uint32_t> rows, ReplicateWorkspace& workspace,
                        Parameters& parameters, Statistics& statistics, std::optional<double> rGuess = std::nullopt);

// The root r of sum over x of e^(-r (x + 1)) E_x / n = 1 (x from 0), to
// within 1e-13 relative; none when there are no eggs, exactly 0 when they
// total n. scratch is reused.
std::optional<double> intrinsicRate(std::span<const std::int64_t> eggsByAge, std::int64_t n,
                                    std::optional<double> guess, std::vector<double>& scratch);

// The single-number statistics in the order the bootstrap writes them: r,
// lambda, R0, T, GRR, duration-<stage>..., preadult, adult_longevity_female,
// adult_longevity_male, longevity_female, longevity_male, longevity_all,
// fecundity, APOP, TPOP, oviposition_days, proportion_female,
// proportion_male, proportion_N, preadult_survival.
std::vector<std::string> statisticNames(const Cohort& cohort);
// The names every cohort has, in that order; the duration-<stage> names,
// which depend on its stages, come between the first five and the rest.
const std::vector<std::string>& parameterNames();
const std::vector<std::string>& commonStatisticNames();
// The same values; out holds statisticNames().size() entries.
void statisticValues(const Parameters& parameters, const Statistics& statistics, std::span<std::optional<double>> out);

}  // namespace lumera::analysis
