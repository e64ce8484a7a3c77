#include "analysis/life_table.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace lumera::analysis {
namespace {

std::optional<double> mean(std::int64_t sum, std::int64_t count) {
    if (count == 0) return std::nullopt;
    return static_cast<double>(sum) / static_cast<double>(count);
}

// Sums over the individuals of a cohort or a replicate, in whole numbers so
// that the order of the rows cannot change a mean.
struct Sums {
    std::int64_t n = 0, females = 0, males = 0, layers = 0;
    std::int64_t preadult = 0, adultFemale = 0, adultMale = 0, deathFemale = 0, deathMale = 0, deathAll = 0;
    std::int64_t eggs = 0, apop = 0, tpop = 0, layingDays = 0;
};

// f(r) = ln(sum over x of E_x e^(-r (x + 1)) / n): convex and falling, so
// Newton's steps from below the root climb to it without overshooting.
class EulerLotka {
public:
    EulerLotka(std::span<const std::int64_t> eggs, std::int64_t n, std::vector<double>& tail) : eggs_(eggs), n_(n) {
        while (eggs_[x0_] == 0) ++x0_;
        x1_ = eggs_.size() - 1;
        while (eggs_[x1_] == 0) --x1_;
        total_ = 0;
        double weighted = 0;
        for (std::size_t x = x0_; x <= x1_; ++x) {
            total_ += eggs_[x];
            weighted += static_cast<double>(x + 1) * static_cast<double>(eggs_[x]);
        }
        meanAge_ = weighted / static_cast<double>(total_);
        logR0_ = std::log1p(static_cast<double>(total_ - n_) / static_cast<double>(n_));
        logN_ = std::log(static_cast<double>(n_));
        // Near R0 = 1 the sum minus 1 is formed as (z - 1) sum_i C_i z^i +
        // (eggs - n), C_i the eggs at ages >= i: every term of one sign, so
        // r keeps its relative precision however close to 0 it is.
        nearOne_ = std::fabs(logR0_) < 0.5;
        if (nearOne_) {
            tail.assign(x1_ + 1, 0.0);
            std::int64_t c = 0;
            for (std::size_t i = x1_ + 1; i-- > 0;) {
                c += eggs_[i];
                tail[i] = static_cast<double>(c);
            }
            tail_ = tail.data();
        }
    }

    std::int64_t total() const { return total_; }
    double logR0() const { return logR0_; }
    double meanAge() const { return meanAge_; }
    std::size_t firstAge() const { return x0_; }
    std::size_t lastAge() const { return x1_; }

    // f(r) and f'(r), in double or, for the last step, in long double.
    template <typename Real>
    void evaluate(Real r, Real& f, Real& df) const {
        if (nearOne_ && evaluateNearOne(r, f, df)) return;
        // Horner's rule in b = e^(-|r|) <= 1 from the age where the terms are
        // largest, the scale kept apart: no exp per age and no overflow.
        Real p = 0, dp = 0;
        if (r >= 0) {
            const Real b = std::exp(-r);
            for (std::size_t x = x1_ + 1; x-- > x0_;) {
                dp = dp * b + p;
                p = p * b + static_cast<Real>(eggs_[x]);
            }
            f = logOf(p, -r * static_cast<Real>(x0_ + 1));
            df = -static_cast<Real>(x0_ + 1) - b * dp / p;
        } else {
            const Real b = std::exp(r);
            for (std::size_t x = x0_; x <= x1_; ++x) {
                dp = dp * b + p;
                p = p * b + static_cast<Real>(eggs_[x]);
            }
            f = logOf(p, -r * static_cast<Real>(x1_ + 1));
            df = -static_cast<Real>(x1_ + 1) + b * dp / p;
        }
    }

    // One Newton step in long double: the double evaluations leave r some
    // tens of units in the last place from the root, this leaves it a few.
    double polish(double r) const {
        long double f, df;
        evaluate<long double>(r, f, df);
        const long double next = static_cast<long double>(r) - f / df;
        return std::isfinite(static_cast<double>(next)) ? static_cast<double>(next) : r;
    }

private:
    // ln(p e^scale / n): one logarithm of the product where it cannot
    // overflow, so that no large terms cancel near the root.
    template <typename Real>
    Real logOf(Real p, Real scale) const {
        if (std::fabs(scale) < 600) return std::log(p * std::exp(scale) / static_cast<Real>(n_));
        return std::log(p) + scale - static_cast<Real>(logN_);
    }

    template <typename Real>
    bool evaluateNearOne(Real r, Real& f, Real& df) const {
        const Real z = std::exp(-r);
        Real p = 0, dp = 0;
        for (std::size_t i = x1_ + 1; i-- > 0;) {
            dp = dp * z + p;
            p = p * z + static_cast<Real>(tail_[i]);
        }
        const Real zm1 = std::expm1(-r);
        const Real g = zm1 * p + static_cast<Real>(total_ - n_);
        const Real dg = -z * (p + zm1 * dp);
        const Real nd = static_cast<Real>(n_);
        f = std::log1p(g / nd);
        df = dg / (nd + g);
        return std::isfinite(f) && std::isfinite(df) && df < 0;
    }

    std::span<const std::int64_t> eggs_;
    std::int64_t n_;
    std::size_t x0_ = 0, x1_ = 0;
    std::int64_t total_ = 0;
    double meanAge_ = 0, logR0_ = 0, logN_ = 0;
    bool nearOne_ = false;
    const double* tail_ = nullptr;
};

double solve(const EulerLotka& el, std::optional<double> guess) {
    // Jensen's inequality puts the root at or above ln R0 / (mean age + 1)
    // and the youngest (R0 > 1) or oldest (R0 < 1) mother bounds it on the
    // other side; the margins absorb rounding, and an end that still turns
    // out wrong is moved out until it holds the root.
    const double lnR0 = el.logR0();
    double lo = lnR0 / el.meanAge();
    double hi = lnR0 / static_cast<double>((lnR0 > 0 ? el.firstAge() : el.lastAge()) + 1);
    double r = lo;
    if (guess && std::isfinite(*guess) && *guess > lo && *guess < hi) r = *guess;
    lo -= 1e-9 * std::fabs(lo) + 1e-300;
    hi += 1e-9 * std::fabs(hi) + 1e-300;
    bool loKnown = false, hiKnown = false;
    const auto confirm = [&](bool upper) {
        for (;;) {
            double f, df;
            el.evaluate<double>(upper ? hi : lo, f, df);
            if (upper ? f <= 0 : f >= 0) {
                (upper ? hiKnown : loKnown) = true;
                return;
            }
            const double width = hi - lo;
            if (upper) {
                lo = hi;
                loKnown = true;
                hi += 2 * width;
            } else {
                hi = lo;
                hiKnown = true;
                lo -= 2 * width;
            }
        }
    };
    for (int iteration = 0; iteration < 200; ++iteration) {
        double f, df;
        el.evaluate<double>(r, f, df);
        if (f == 0) return el.polish(r);
        if (f > 0) {
            lo = r;
            loKnown = true;
        } else {
            hi = r;
            hiKnown = true;
        }
        double next = r - f / df;
        if (!(next > lo && next < hi)) {
            if (next >= hi && !hiKnown) confirm(true);
            if (next <= lo && !loKnown) confirm(false);
            if (!(next > lo && next < hi)) next = 0.5 * (lo + hi);
        }
        if (std::fabs(next - r) <= 1e-14 * std::fabs(next)) return el.polish(next);
        if (loKnown && hiKnown && hi - lo <= 4e-16 * std::max(std::fabs(lo), std::fabs(hi)))
            return el.polish(0.5 * (lo + hi));
        r = next;
    }
    return el.polish(r);
}

}  // namespace

// The computations, with access to the cohort's arrays and the workspace.
class LifeTableCore {
public:
    // Individual i counted `times` times.
    static void add(const Cohort& c, std::size_t i, std::int64_t times, Sums& s, std::int64_t* stageDays,
                    std::int64_t* stageCount) {
        const std::uint8_t sex = c.sex_[i];
        const std::int32_t* d = c.durations_.data() + i * c.stageCount_;
        // A stage is completed when the next one (or adulthood) is reached.
        const std::size_t completed = sex == Cohort::Died ? c.reached_[i] - 1u : c.stageCount_;
        for (std::size_t j = 0; j < completed; ++j) {
            stageDays[j] += times * d[j];
            stageCount[j] += times;
        }
        s.n += times;
        s.deathAll += times * c.death_[i];
        if (sex == Cohort::Died) return;
        s.preadult += times * c.adultAge_[i];
        if (sex == Cohort::Male) {
            s.males += times;
            s.adultMale += times * c.longevity_[i];
            s.deathMale += times * c.death_[i];
            return;
        }
        s.females += times;
        s.adultFemale += times * c.longevity_[i];
        s.deathFemale += times * c.death_[i];
        s.eggs += times * c.totalEggs_[i];
        if (c.totalEggs_[i] > 0) {
            s.layers += times;
            s.apop += times * (c.firstEggAge_[i] - c.adultAge_[i]);
            s.tpop += times * c.firstEggAge_[i];
            s.layingDays += times * c.layingDays_[i];
        }
    }

    static void finish(const Sums& s, std::size_t stages, const std::int64_t* stageDays, const std::int64_t* stageCount,
                       Statistics& out) {
        out.n = s.n;
        out.females = s.females;
        out.males = s.males;
        out.immatureDeaths = s.n - s.females - s.males;
        out.duration.resize(stages);
        for (std::size_t j = 0; j < stages; ++j) out.duration[j] = mean(stageDays[j], stageCount[j]);
        out.preadult = mean(s.preadult, s.females + s.males);
        out.adultLongevityFemale = mean(s.adultFemale, s.females);
        out.adultLongevityMale = mean(s.adultMale, s.males);
        out.longevityFemale = mean(s.deathFemale, s.females);
        out.longevityMale = mean(s.deathMale, s.males);
        out.longevityAll = mean(s.deathAll, s.n);
        out.fecundity = mean(s.eggs, s.females);
        out.APOP = mean(s.apop, s.layers);
        out.TPOP = mean(s.tpop, s.layers);
        out.ovipositionDays = mean(s.layingDays, s.layers);
        const double n = static_cast<double>(s.n);
        out.proportionFemale = static_cast<double>(s.females) / n;
        out.proportionMale = static_cast<double>(s.males) / n;
        out.proportionN = static_cast<double>(out.immatureDeaths) / n;
        out.preadultSurvival = static_cast<double>(s.females + s.males) / n;
    }

    static void addEggs(const Cohort& c, std::size_t i, std::int64_t times, std::int64_t* eggsByAge) {
        const std::uint32_t* e = c.eggs_.data() + c.eggOffset_[i];
        std::int64_t* to = eggsByAge + c.firstEggAge_[i];
        for (std::int32_t t = 0, days = c.eggDays_[i]; t < days; ++t) to[t] += times * e[t];
    }

    // From the eggs and the individuals alive at each age.
    static void parameters(std::span<const std::int64_t> eggs, std::span<const std::int64_t> alive, std::int64_t n,
                           std::optional<double> guess, std::vector<double>& scratch, Parameters& p) {
        std::int64_t total = 0;
        double grr = 0;
        for (std::size_t x = 0; x < eggs.size(); ++x) {
            if (eggs[x] == 0) continue;
            total += eggs[x];
            grr += static_cast<double>(eggs[x]) / static_cast<double>(alive[x]);
        }
        p.R0 = static_cast<double>(total) / static_cast<double>(n);
        p.GRR = grr;
        if (total == 0) {
            p.r.reset();
            p.lambda = 0;
            p.T.reset();
            return;
        }
        const EulerLotka el(eggs, n, scratch);
        if (total == n) {
            p.r = 0.0;
            p.lambda = 1;
            p.T = el.meanAge();
            return;
        }
        const double r = solve(el, guess);
        p.r = r;
        p.lambda = std::exp(r);
        p.T = el.logR0() / r;
    }

    static LifeTableResult table(const Cohort& c) {
        const std::size_t k = c.stageCount_, stages = k + 2, ages = static_cast<std::size_t>(c.ageCount_);
        const std::size_t n = c.size();
        LifeTableResult result;
        LifeTable& t = result.table;
        t.stages = c.stages_;
        // Entries and exits per stage and age, summed along the ages below;
        // deathSum carries the ages at death of those present.
        std::vector<std::vector<std::int64_t>> count(stages, std::vector<std::int64_t>(ages + 1, 0));
        std::vector<std::vector<std::int64_t>> deathSum = count;
        const auto stay = [&](std::size_t j, std::int32_t from, std::int32_t to, std::int32_t death) {
            ++count[j][from];
            --count[j][to];
            deathSum[j][from] += death;
            deathSum[j][to] -= death;
        };
        for (std::size_t i = 0; i < n; ++i) {
            std::int32_t a = 0;
            for (std::size_t j = 0; j < c.reached_[i]; ++j) {
                const std::int32_t d = c.durations_[i * k + j];
                stay(j, a, a + d, c.death_[i]);
                a += d;
            }
            if (c.sex_[i] != Cohort::Died) stay(c.sex_[i] == Cohort::Female ? k : k + 1, a, c.death_[i], c.death_[i]);
        }
        t.n.assign(stages, std::vector<std::int64_t>(ages, 0));
        t.s.assign(stages, std::vector<double>(ages, 0));
        t.e.assign(stages, std::vector<std::optional<double>>(ages));
        t.v.assign(stages, std::vector<std::optional<double>>(ages));
        std::vector<std::int64_t> alive(ages, 0);
        const double nd = static_cast<double>(n);
        for (std::size_t j = 0; j < stages; ++j) {
            std::int64_t present = 0, deaths = 0;
            for (std::size_t x = 0; x < ages; ++x) {
                present += count[j][x];
                deaths += deathSum[j][x];
                t.n[j][x] = present;
                t.s[j][x] = static_cast<double>(present) / nd;
                alive[x] += present;
                if (present > 0)
                    t.e[j][x] = static_cast<double>(deaths - static_cast<std::int64_t>(x) * present) /
                                static_cast<double>(present);
            }
        }
        t.E.assign(ages, 0);
        for (std::size_t i = 0; i < n; ++i) addEggs(c, i, 1, t.E.data());
        t.l.resize(ages);
        t.f.resize(ages);
        t.m.resize(ages);
        t.lm.resize(ages);
        const std::vector<std::int64_t>& females = t.n[k];
        for (std::size_t x = 0; x < ages; ++x) {
            const double e = static_cast<double>(t.E[x]);
            t.l[x] = static_cast<double>(alive[x]) / nd;
            t.f[x] = females[x] > 0 ? e / static_cast<double>(females[x]) : 0;
            t.m[x] = alive[x] > 0 ? e / static_cast<double>(alive[x]) : 0;
            t.lm[x] = e / nd;
        }
        std::vector<double> scratch;
        parameters(t.E, alive, static_cast<std::int64_t>(n), std::nullopt, scratch, result.parameters);

        if (result.parameters.r) {
            // Each female's share of v, summed from her death back to age 0:
            // g(x) = f_x + z g(x + 1) while adult, z g(x + 1) before.
            const double z = std::exp(-*result.parameters.r);
            std::vector<std::vector<double>> sum(stages, std::vector<double>(ages, 0.0));
            for (std::size_t i = 0; i < n; ++i) {
                if (c.sex_[i] != Cohort::Female) continue;
                double g = 0;
                for (std::int32_t x = c.death_[i]; x-- > c.adultAge_[i];) {
                    g = t.f[x] + z * g;
                    sum[k][x] += g;
                }
                std::int32_t x = c.adultAge_[i];
                for (std::size_t j = k; j-- > 0;) {
                    for (std::int32_t d = c.durations_[i * k + j]; d > 0; --d) {
                        g *= z;
                        sum[j][--x] += g;
                    }
                }
            }
            for (std::size_t j = 0; j < stages; ++j)
                for (std::size_t x = 0; x < ages; ++x)
                    if (t.n[j][x] > 0) t.v[j][x] = sum[j][x] / static_cast<double>(t.n[j][x]);
        }

        Sums s;
        std::vector<std::int64_t> stageDays(k, 0), stageCount(k, 0);
        for (std::size_t i = 0; i < n; ++i) add(c, i, 1, s, stageDays.data(), stageCount.data());
        finish(s, k, stageDays.data(), stageCount.data(), result.statistics);
        return result;
    }

    static void resampled(const Cohort& c, std::span<const std::uint32_t> rows, ReplicateWorkspace& w, Parameters& p,
                          Statistics& st, std::optional<double> guess) {
        const std::size_t k = c.stageCount_, ages = static_cast<std::size_t>(c.ageCount_);
        w.eggs_.assign(ages, 0);
        w.deaths_.assign(ages + 1, 0);
        w.alive_.resize(ages);
        w.stageDays_.assign(k, 0);
        w.stageCount_.assign(k, 0);
        // Each individual once, times the rows that drew it: a bootstrap
        // replicate holds about 63 % of the rows, and the records are read
        // in order rather than at random.
        w.times_.assign(c.size(), 0);
        for (const std::uint32_t i : rows) ++w.times_[i];
        Sums s;
        for (std::size_t i = 0; i < c.size(); ++i) {
            const std::int64_t times = w.times_[i];
            if (times == 0) continue;
            add(c, i, times, s, w.stageDays_.data(), w.stageCount_.data());
            w.deaths_[c.death_[i]] += times;
            if (c.eggDays_[i] > 0) addEggs(c, i, times, w.eggs_.data());
        }
        std::int64_t alive = static_cast<std::int64_t>(rows.size());
        for (std::size_t x = 0; x < ages; ++x) {
            alive -= w.deaths_[x];
            w.alive_[x] = alive;
        }
        parameters(w.eggs_, w.alive_, static_cast<std::int64_t>(rows.size()), guess, w.tail_, p);
        finish(s, k, w.stageDays_.data(), w.stageCount_.data(), st);
    }
};

Cohort::Cohort(const CohortRecords& records) : stageCount_(records.stages.size()) {
    const std::size_t n = records.size(), k = stageCount_;
    if (n == 0 || k == 0 || k > 65535 || records.durations.size() != n * k || records.adult.size() != n ||
        records.eggOffset.size() != n + 1 || records.eggOffset.back() > records.eggs.size())
        throw std::invalid_argument("cohort records of inconsistent sizes");
    stages_ = records.stages;
    stages_.emplace_back("female");
    stages_.emplace_back("male");
    durations_ = records.durations;
    sex_.resize(n);
    reached_.resize(n);
    adultAge_.assign(n, 0);
    longevity_.assign(n, 0);
    death_.resize(n);
    firstEggAge_.assign(n, 0);
    eggDays_.assign(n, 0);
    layingDays_.assign(n, 0);
    totalEggs_.assign(n, 0);
    eggOffset_.assign(1, 0);
    for (std::size_t i = 0; i < n; ++i) {
        const char sex = records.sex[i];
        if (sex != 'F' && sex != 'M' && sex != 'N') throw std::invalid_argument("unknown sex in cohort records");
        sex_[i] = sex == 'F' ? Female : sex == 'M' ? Male : Died;
        const std::int32_t* d = durations_.data() + i * k;
        std::size_t reached = 0;
        std::int64_t age = 0;
        while (reached < k && d[reached] > 0) age += d[reached++];
        for (std::size_t j = reached; j < k; ++j)
            if (d[j] != 0) throw std::invalid_argument("a gap between stages in cohort records");
        const std::int32_t L = records.adult[i];
        if (reached == 0 || (sex_[i] != Died && (reached != k || L < 1)) || (sex_[i] == Died && L != 0))
            throw std::invalid_argument("stages or adult longevity out of rule in cohort records");
        reached_[i] = static_cast<std::uint16_t>(reached);
        if (sex_[i] != Died) {
            adultAge_[i] = static_cast<std::int32_t>(age);
            longevity_[i] = L;
            age += L;
        }
        if (age > kMaxStageDays) throw std::invalid_argument("an age at death past the limit in cohort records");
        death_[i] = static_cast<std::int32_t>(age);
        ageCount_ = std::max(ageCount_, death_[i]);

        const std::size_t from = records.eggOffset[i], to = records.eggOffset[i + 1];
        if (to < from) throw std::invalid_argument("egg offsets out of order in cohort records");
        std::size_t first = to, last = from;
        for (std::size_t e = from; e < to; ++e) {
            if (records.eggs[e] == 0) continue;
            if (sex_[i] != Female || e - from >= static_cast<std::size_t>(L))
                throw std::invalid_argument("eggs out of rule in cohort records");
            first = std::min(first, e);
            last = e;
            totalEggs_[i] += records.eggs[e];
            ++layingDays_[i];
        }
        if (first < to) {
            firstEggAge_[i] = adultAge_[i] + static_cast<std::int32_t>(first - from);
            eggDays_[i] = static_cast<std::int32_t>(last - first + 1);
            eggs_.insert(eggs_.end(), records.eggs.begin() + static_cast<std::ptrdiff_t>(first),
                         records.eggs.begin() + static_cast<std::ptrdiff_t>(last + 1));
        }
        eggOffset_.push_back(eggs_.size());
    }
}

LifeTableResult lifeTable(const Cohort& cohort) { return LifeTableCore::table(cohort); }

void resampledEstimates(const Cohort& cohort, std::span<const std::uint32_t> rows, ReplicateWorkspace& workspace,
                        Parameters& parameters, Statistics& statistics, std::optional<double> rGuess) {
    if (rows.empty()) throw std::invalid_argument("a resampled cohort of no rows");
    LifeTableCore::resampled(cohort, rows, workspace, parameters, statistics, rGuess);
}

std::optional<double> intrinsicRate(std::span<const std::int64_t> eggsByAge, std::int64_t n,
                                    std::optional<double> guess, std::vector<double>& scratch) {
    std::int64_t total = 0;
    for (const std::int64_t e : eggsByAge) total += e;
    if (total == 0) return std::nullopt;
    if (total == n) return 0.0;
    return solve(EulerLotka(eggsByAge, n, scratch), guess);
}

const std::vector<std::string>& parameterNames() {
    static const std::vector<std::string> names = {"r", "lambda", "R0", "T", "GRR"};
    return names;
}

const std::vector<std::string>& commonStatisticNames() {
    static const std::vector<std::string> names = {"preadult",
                                                   "adult_longevity_female",
                                                   "adult_longevity_male",
                                                   "longevity_female",
                                                   "longevity_male",
                                                   "longevity_all",
                                                   "fecundity",
                                                   "APOP",
                                                   "TPOP",
                                                   "oviposition_days",
                                                   "proportion_female",
                                                   "proportion_male",
                                                   "proportion_N",
                                                   "preadult_survival"};
    return names;
}

std::vector<std::string> statisticNames(const Cohort& cohort) {
    std::vector<std::string> names = parameterNames();
    for (std::size_t j = 0; j < cohort.immatureStages(); ++j) names.push_back("duration-" + cohort.stages()[j]);
    names.insert(names.end(), commonStatisticNames().begin(), commonStatisticNames().end());
    return names;
}

void statisticValues(const Parameters& p, const Statistics& s, std::span<std::optional<double>> out) {
    std::size_t i = 0;
    out[i++] = p.r;
    out[i++] = p.lambda;
    out[i++] = p.R0;
    out[i++] = p.T;
    out[i++] = p.GRR;
    for (const std::optional<double>& d : s.duration) out[i++] = d;
    for (const std::optional<double>& v :
         {s.preadult, s.adultLongevityFemale, s.adultLongevityMale, s.longevityFemale, s.longevityMale, s.longevityAll,
          s.fecundity, s.APOP, s.TPOP, s.ovipositionDays, std::optional<double>(s.proportionFemale),
          std::optional<double>(s.proportionMale), std::optional<double>(s.proportionN),
          std::optional<double>(s.preadultSurvival)})
        out[i++] = v;
}

}  // namespace lumera::analysis
