#include "analysis/difference_set.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <memory>
#include <mutex>
#include <random>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "analysis/order_key.h"
#include "analysis/power_scale.h"

namespace lumera::analysis {

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

using Row = std::uint32_t;
__extension__ typedef unsigned __int128 Wide;

// Per-row counts, neither shrunk nor cleared between pairs: each thread
// keeps its own and reuses it, so that no pair pays for fresh pages.
class RowBuffer {
public:
    Row* get(std::size_t n) {
        if (n > size_) {
            data_.reset();
            data_.reset(new Row[n]);
            size_ = n;
        }
        return data_.get();
    }

private:
    std::unique_ptr<Row[]> data_;
    std::size_t size_ = 0;
};

constexpr int kSlots = 4;  // per rank: its two bounds and two probes

struct Scratch {
    RowBuffer rows[kSlots * DifferenceSet::kMaxRanks];
    std::vector<std::uint64_t> draws;
    std::vector<double> sample, values, whole;
};

// A selection may run one on a coarser grid in the middle of its own
// rounds; that one keeps its own working memory.
thread_local int selectDepth = 0;

Scratch& threadScratch() {
    thread_local Scratch scratch[2];
    return scratch[selectDepth > 0];
}

// Marks the selection below it as nested while it lives.
struct Nested {
    Nested() { ++selectDepth; }
    ~Nested() { --selectDepth; }
    Nested(const Nested&) = delete;
    Nested& operator=(const Nested&) = delete;
};

// One count per threshold over the rows at once: row value x, inner side
// ascending, each threshold's column pointer moving forward only while
// `passes` holds. Four columns (eight with vectors) are compared at a time
// without a branch (their results are a prefix, so their sum is the
// step), which leaves the processor one exit to predict per row instead
// of one per column.
template <bool OuterPlus>
bool passes(double x, double v, double u) {
    return OuterPlus ? x - v > u : v - x <= u;
}

// The first column at or past j where the row value x no longer passes.
template <bool OuterPlus>
struct Advance {
    double u;
    std::size_t operator()(double x, std::size_t j, const double* inner, std::size_t ni) const {
        for (;;) {
            if (j + 4 > ni) {
                while (j < ni && passes<OuterPlus>(x, inner[j], u)) ++j;
                return j;
            }
            const std::size_t step = static_cast<std::size_t>(passes<OuterPlus>(x, inner[j], u)) +
                                     static_cast<std::size_t>(passes<OuterPlus>(x, inner[j + 1], u)) +
                                     static_cast<std::size_t>(passes<OuterPlus>(x, inner[j + 2], u)) +
                                     static_cast<std::size_t>(passes<OuterPlus>(x, inner[j + 3], u));
            j += step;
            if (step < 4) return j;
        }
    }
};

#if defined(__x86_64__)
// The same four comparisons as one vector operation where the processor
// has them; the subtraction and comparison round exactly as the scalar ones.
template <bool OuterPlus>
struct AdvanceAvx2 {
    double u;
    __attribute__((target("avx2,popcnt"))) std::size_t operator()(double x, std::size_t j, const double* inner,
                                                                  std::size_t ni) const {
        const __m256d xs = _mm256_set1_pd(x), us = _mm256_set1_pd(u);
        // Eight at a time: where the boundary runs steeply across the
        // rows, fewer steps and fewer mispredicted exits.
        for (;;) {
            if (j + 8 > ni) {
                while (j < ni && passes<OuterPlus>(x, inner[j], u)) ++j;
                return j;
            }
            const __m256d a = _mm256_loadu_pd(inner + j), b = _mm256_loadu_pd(inner + j + 4);
            const __m256d passA = OuterPlus ? _mm256_cmp_pd(_mm256_sub_pd(xs, a), us, _CMP_GT_OQ)
                                            : _mm256_cmp_pd(_mm256_sub_pd(a, xs), us, _CMP_LE_OQ);
            const __m256d passB = OuterPlus ? _mm256_cmp_pd(_mm256_sub_pd(xs, b), us, _CMP_GT_OQ)
                                            : _mm256_cmp_pd(_mm256_sub_pd(b, xs), us, _CMP_LE_OQ);
            const auto bits = static_cast<unsigned>(_mm256_movemask_pd(passA)) |
                              static_cast<unsigned>(_mm256_movemask_pd(passB)) << 4;
            const auto step = static_cast<std::size_t>(__builtin_popcount(bits));
            j += step;
            if (step < 8) return j;
        }
    }
};
#endif

// The rows in kStreams stretches walked side by side, each stretch's
// pointer found by bisection at its first row: the pointers' steps do not
// wait on one another.
constexpr int kStreams = 8;

template <bool OuterPlus, class Step, bool Store>
inline __attribute__((always_inline)) std::int64_t walkStreams(const double* outer, std::size_t no, const double* inner,
                                                               std::size_t ni, double u, Row* out) {
    constexpr int S = kStreams;
    const Step advance{u};
    const std::size_t len = no / S;
    std::size_t at[S];
    std::int64_t sum[S];
    for (int s = 0; s < S; ++s) {
        const double x = len ? outer[static_cast<std::size_t>(s) * len] : 0;
        at[s] =
            len ? static_cast<std::size_t>(
                      std::partition_point(inner, inner + ni, [&](double v) { return passes<OuterPlus>(x, v, u); }) -
                      inner)
                : 0;
        sum[s] = 0;
    }
    for (std::size_t o = 0; o < len; ++o) {
#pragma GCC unroll 8
        for (int s = 0; s < S; ++s) {
            const std::size_t row = static_cast<std::size_t>(s) * len + o;
            const std::size_t j = advance(outer[row], at[s], inner, ni);
            at[s] = j;
            const std::size_t n = OuterPlus ? ni - j : j;
            if (Store) out[row] = static_cast<Row>(n);
            sum[s] += static_cast<std::int64_t>(n);
        }
    }
    std::int64_t total = 0;
    for (int s = 0; s < S; ++s) total += sum[s];
    std::size_t j = at[S - 1];
    for (std::size_t row = static_cast<std::size_t>(S) * len; row < no; ++row) {
        j = advance(outer[row], j, inner, ni);
        const std::size_t n = OuterPlus ? ni - j : j;
        if (Store) out[row] = static_cast<Row>(n);
        total += static_cast<std::int64_t>(n);
    }
    return total;
}

template <bool OuterPlus>
std::int64_t walkRowsPlain(const double* outer, std::size_t no, const double* inner, std::size_t ni, double u,
                           Row* out) {
    return out ? walkStreams<OuterPlus, Advance<OuterPlus>, true>(outer, no, inner, ni, u, out)
               : walkStreams<OuterPlus, Advance<OuterPlus>, false>(outer, no, inner, ni, u, out);
}

#if defined(__x86_64__)
template <bool OuterPlus>
__attribute__((target("avx2,popcnt"), flatten)) std::int64_t walkRowsAvx2(const double* outer, std::size_t no,
                                                                          const double* inner, std::size_t ni, double u,
                                                                          Row* out) {
    return out ? walkStreams<OuterPlus, AdvanceAvx2<OuterPlus>, true>(outer, no, inner, ni, u, out)
               : walkStreams<OuterPlus, AdvanceAvx2<OuterPlus>, false>(outer, no, inner, ni, u, out);
}
#endif

// #(d <= u) over the rows, per row into out unless null.
template <bool OuterPlus>
std::int64_t walkRows(const double* outer, std::size_t no, const double* inner, std::size_t ni, double u, Row* out) {
#if defined(__x86_64__)
    static const bool avx2 = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("popcnt");
    if (avx2) return walkRowsAvx2<OuterPlus>(outer, no, inner, ni, u, out);
#endif
    return walkRowsPlain<OuterPlus>(outer, no, inner, ni, u, out);
}

constexpr int kMaxChains = 6;

// One count of a shared pass: #(d < t) when strict, else #(d <= t), per
// row into out unless null; low and high are its known window (null: 0,
// every column), used only where rows are searched by bisection.
struct Chain {
    double t = 0;
    bool strict = false;
    const Row* low = nullptr;
    const Row* high = nullptr;
    Row* out = nullptr;
    std::int64_t total = 0;
};

// The shorter side as rows, the longer as columns: each row's differences
// ascend along its own ranks, and the count at most a threshold is a
// prefix of them that never shrinks from one row to the next. A count may
// be told, per row, the window of ranks it is known to lie in; it then
// starts there and stops at its end.
class Grid {
public:
    Grid(std::span<const double> plus, std::span<const double> minus)
        : plus_(plus), minus_(minus), outerIsPlus_(plus.size() <= minus.size()) {
        const std::size_t no = rows(), ni = static_cast<std::size_t>(columns());
        bisect_ = no * (static_cast<std::size_t>(std::bit_width(ni)) + 2) < ni;
    }
    std::size_t rows() const { return outerIsPlus_ ? plus_.size() : minus_.size(); }
    std::int64_t columns() const { return static_cast<std::int64_t>(outerIsPlus_ ? minus_.size() : plus_.size()); }

    // A cell as one number, row times the columns plus its rank in the row.
    std::uint64_t cell(std::size_t o, std::int64_t r) const {
        return static_cast<std::uint64_t>(o) * static_cast<std::uint64_t>(columns()) + static_cast<std::uint64_t>(r);
    }
    double valueOfCell(std::uint64_t c) const {
        const auto n = static_cast<std::uint64_t>(columns());
        return value(static_cast<std::size_t>(c / n), static_cast<std::int64_t>(c % n));
    }
    double value(std::size_t o, std::int64_t r) const {
        return outerIsPlus_ ? plus_[o] - minus_[minus_.size() - 1 - static_cast<std::size_t>(r)]
                            : plus_[static_cast<std::size_t>(r)] - minus_[o];
    }

    // #(d <= t), Strict: #(d < t); per row into out unless null. Row o's
    // count lies in [low[o], high[o]] (null: 0, columns()).
    template <bool Strict>
    std::int64_t count(double t, const Row* low, const Row* high, Row* out) const {
        auto above = [t](double d) { return Strict ? d >= t : d > t; };
        std::int64_t total = 0;
        if (outerIsPlus_) {
            // Row o: differences plus[o] - minus[j] fall as j grows; those
            // at most t are the columns from j on.
            const std::size_t nm = minus_.size(), np = plus_.size();
            const double* m = minus_.data();
            std::size_t j = 0;
            for (std::size_t o = 0; o < np; ++o) {
                const double p = plus_[o];
                const std::size_t last = low ? nm - low[o] : nm;
                if (high) j = std::max<std::size_t>(j, nm - high[o]);
                if (bisect_)
                    j = static_cast<std::size_t>(
                        std::partition_point(m + j, m + last, [&](double x) { return above(p - x); }) - m);
                else
                    while (j < last && above(p - m[j])) ++j;
                const auto c = static_cast<std::int64_t>(nm - j);
                if (out) out[o] = static_cast<Row>(c);
                total += c;
            }
        } else {
            const std::size_t nm = minus_.size(), np = plus_.size();
            const double* p = plus_.data();
            std::size_t i = 0;
            for (std::size_t o = 0; o < nm; ++o) {
                const double m = minus_[o];
                const std::size_t last = high ? high[o] : np;
                if (low) i = std::max<std::size_t>(i, low[o]);
                if (bisect_)
                    i = static_cast<std::size_t>(
                        std::partition_point(p + i, p + last, [&](double x) { return !above(x - m); }) - p);
                else
                    while (i < last && !above(p[i] - m)) ++i;
                const auto c = static_cast<std::int64_t>(i);
                if (out) out[o] = static_cast<Row>(c);
                total += c;
            }
        }
        return total;
    }

    std::int64_t count(double t, bool strict, const Row* low, const Row* high, Row* out) const {
        return strict ? count<true>(t, low, high, out) : count<false>(t, low, high, out);
    }

    // Every chain's count, in shared passes where rows are walked.
    void count(std::span<Chain> chains) const {
        bool walk = !bisect_;
        // #(d < -inf) has no threshold below it to walk to.
        for (const Chain& c : chains) walk &= !(c.strict && c.t == -kInf);
        if (!walk) {
            for (Chain& c : chains) c.total = count(c.t, c.strict, c.low, c.high, c.out);
            return;
        }
        for (Chain& c : chains) {
            // d < t is d <= the double below t.
            const double u = c.strict ? std::nextafter(c.t, -kInf) : c.t;
            c.total = outerIsPlus_
                          ? walkRows<true>(plus_.data(), plus_.size(), minus_.data(), minus_.size(), u, c.out)
                          : walkRows<false>(minus_.data(), minus_.size(), plus_.data(), plus_.size(), u, c.out);
        }
    }

private:
    std::span<const double> plus_, minus_;
    bool outerIsPlus_;
    bool bisect_ = false;
};

// fl(p - m) is -0 only for p = -0, m = +0; a zero stays -0 when every zero
// difference is one. Among mixed zeros nothing can tell them apart: every
// form prints both as 0, and every use of a percentile compares it with 0.
double signedZero(double v, std::span<const double> plus, std::span<const double> minus, const Grid& grid) {
    if (v != 0) return v;
    const auto negZeros =
        std::count_if(plus.begin(), plus.end(), [](double x) { return x == 0 && std::signbit(x); }) *
        std::count_if(minus.begin(), minus.end(), [](double x) { return x == 0 && !std::signbit(x); });
    const std::int64_t zeros =
        grid.count<false>(0.0, nullptr, nullptr, nullptr) - grid.count<true>(0.0, nullptr, nullptr, nullptr);
    return negZeros == zeros ? -0.0 : 0.0;
}

// Draws per round, a power of two between these, about one per 8 rows:
// drawing costs about as much as the round's counts. The first round,
// from the whole grid, takes four times as many.
constexpr std::size_t kFewestSamples = 512, kMostSamples = 16384;
// A bracket of at most max(this, twice the rows) differences is formed in full:
// about the cost of a round.
constexpr std::int64_t kEnumerate = 4096;
// Grids of at least this many rows take their first bounds from the grid
// of every kCoarseStride-th value, kCoarseZ of its expected errors to
// each side.
constexpr std::size_t kCoarseRows = 32768, kCoarseStride = 64;
constexpr double kCoarseZ = 12;
constexpr int kCoarseTries = 3;
constexpr int kMaxRounds = 40;

// One rank's bracket: #(d < lo) = below < k <= #(d <= hi) = below + inside;
// per row the differences within [lo, hi] are its ranks [low[o], high[o])
// (a null bound: 0 or every column). Buffers are slots of the scratch.
struct Bracket {
    std::int64_t k = 0;
    double lo = 0, hi = 0;
    std::int64_t below = 0, inside = 0;
    int low = -1, high = -1;  // slots, -1 for the null bounds
    double z = 4;
    bool done = false, missed = false;
    int coarseTries = 0;
    double answer = 0;
    // This round's two probes.
    double t[2] = {0, 0};
    bool strict[2] = {false, false};
    int slot[2] = {0, 0};
    std::int64_t got[2] = {0, 0};
};

}  // namespace

DifferenceSet::DifferenceSet(std::span<const double> minuendSorted, std::span<const double> subtrahendSorted)
    : minuend_(minuendSorted), subtrahend_(subtrahendSorted) {}

std::int64_t DifferenceSet::count() const {
    return static_cast<std::int64_t>(minuend_.size()) * static_cast<std::int64_t>(subtrahend_.size());
}
double DifferenceSet::smallest() const { return minuend_.front() - subtrahend_.back(); }
double DifferenceSet::largest() const { return minuend_.back() - subtrahend_.front(); }

std::int64_t DifferenceSet::countAtMost(double t) const {
    return Grid(minuend_, subtrahend_).count<false>(t, nullptr, nullptr, nullptr);
}
std::int64_t DifferenceSet::countBelow(double t) const {
    return Grid(minuend_, subtrahend_).count<true>(t, nullptr, nullptr, nullptr);
}

std::int64_t DifferenceSet::countAtLeastTwice(double twiceD) const {
    return count() - (twiceD > 0 ? countBelow(twiceD) : countAtMost(0.0));
}

double DifferenceSet::kth(std::int64_t k) const {
    double v = 0;
    select({&k, 1}, {&v, 1}, {}, {});
    return v;
}

namespace {

constexpr std::size_t kBlock = 64;

// A random number in [0, n) from 64 random bits, by the high half of a
// product instead of a division.
std::uint64_t below(std::uint64_t bits, std::uint64_t n) {
    return static_cast<std::uint64_t>((static_cast<Wide>(bits) * n) >> 64);
}

}  // namespace

// Each rank narrows a bracket [lo, hi] around its value by the quantiles
// of random differences drawn from inside it; every new bound comes from a
// count, and a count on the wrong side narrows the other bound, so chance
// only affects the number of passes. All counts of a round, and the
// probes with the first round, share one walk over the rows. A bracket
// small enough is formed and selected in full.
void DifferenceSet::select(std::span<const std::int64_t> ranks, std::span<double> values, std::span<const Probe> probes,
                           std::span<std::int64_t> counts) const {
    const Grid grid(minuend_, subtrahend_);
    const std::int64_t total = count();
    const std::size_t no = grid.rows();
    const std::int64_t ni = grid.columns();
    Chain chains[kMaxChains];
    std::size_t probeChains = 0;
    for (const Probe& p : probes) {
        chains[probeChains].t = p.t;
        chains[probeChains++].strict = p.strict;
    }
    auto probeCounts = [&] {
        for (std::size_t p = 0; p < probes.size(); ++p) counts[p] = chains[p].total;
    };
    if (ranks.empty() || ni > std::numeric_limits<Row>::max()) {
        grid.count({chains, probeChains});
        probeCounts();
    }
    if (ranks.empty()) return;
    if (ni > std::numeric_limits<Row>::max()) {
        // More columns than a row count holds: the plain bisection over keys.
        for (std::size_t r = 0; r < ranks.size(); ++r) {
            std::uint64_t a = orderKey(smallest()), b = orderKey(largest());
            while (a < b) {
                const std::uint64_t mid = a + (b - a) / 2;
                if (grid.count<false>(fromKey(mid), nullptr, nullptr, nullptr) >= ranks[r])
                    b = mid;
                else
                    a = mid + 1;
            }
            values[r] = signedZero(fromKey(a), minuend_, subtrahend_, grid);
        }
        return;
    }

    // The first bounds from the same ranks among the differences of every
    // stride-th value of each side: counts there, times the cells each
    // stands for, are those of the whole grid but for the blocks the
    // boundary crosses, about scale x sqrt(blocks crossed / 12) in all
    // when their errors fall at random. A bound on the wrong side costs
    // rounds, never the result.
    // The middle value of each of n / kCoarseStride equal stretches, so
    // that each stands for as many values.
    auto every = [](std::span<const double> v) {
        const std::size_t n = v.size(), few = std::max<std::size_t>(1, n / kCoarseStride);
        std::vector<double> e(few);
        for (std::size_t a = 0; a < few; ++a) e[a] = v[(2 * a + 1) * n / (2 * few)];
        return e;
    };
    const bool coarse = no >= kCoarseRows && selectDepth == 0;
    const std::vector<double> fewMinuend = coarse ? every(minuend_) : std::vector<double>();
    const std::vector<double> fewSubtrahend = coarse ? every(subtrahend_) : std::vector<double>();
    const DifferenceSet few(fewMinuend, fewSubtrahend);
    // Bounds for rank k z expected errors apart; where one reaches past an
    // end of the grid, that end.
    auto coarseBounds = [&](std::int64_t k, double z, double& lo, double& hi) {
        const std::int64_t fewTotal = few.count();
        const double scale = static_cast<double>(total) / static_cast<double>(fewTotal);
        const double margin =
            z * scale * std::sqrt(static_cast<double>(fewMinuend.size() + fewSubtrahend.size()) / 12.0) + 2 * scale;
        const auto kk = static_cast<double>(k);
        std::int64_t fewRanks[2] = {
            std::clamp<std::int64_t>(static_cast<std::int64_t>(std::floor((kk - margin) / scale)), 1, fewTotal),
            std::clamp<std::int64_t>(static_cast<std::int64_t>(std::ceil((kk + margin) / scale)), 1, fewTotal)};
        double values[2];
        {
            const Nested nested;
            few.select(fewRanks, values, {}, {});
        }
        lo = kk - margin < scale ? smallest() : values[0];
        hi = kk + margin > static_cast<double>(total) - scale ? largest() : values[1];
    };

    Scratch& scratch = threadScratch();
    Bracket brackets[kMaxRanks];
    Row* rows[kSlots * kMaxRanks] = {};
    for (std::size_t r = 0; r < ranks.size(); ++r) {
        Bracket& b = brackets[r];
        b.k = ranks[r];
        b.lo = smallest();
        b.hi = largest();
        b.inside = total;
        if (b.k <= 1 || b.k >= total) {
            b.done = true;
            b.answer = b.k <= 1 ? b.lo : b.hi;
            continue;
        }
        for (int s = 0; s < kSlots; ++s) rows[r * kSlots + s] = scratch.rows[r * kSlots + s].get(no);
    }
    auto bound = [&](std::size_t r, int slot) -> const Row* { return slot < 0 ? nullptr : rows[r * kSlots + slot]; };
    std::mt19937_64 rng(0x5eed);
    const std::size_t samples = std::clamp(std::bit_floor(no / 8), kFewestSamples, kMostSamples);
    const std::int64_t enumerate = std::max<std::int64_t>(kEnumerate, 2 * static_cast<std::int64_t>(no));
    scratch.draws.resize(4 * samples);
    scratch.sample.resize(4 * samples);
    bool probesCounted = false, wholeDrawn = false;

    for (int round = 0;; ++round) {
        bool pending = false;
        for (std::size_t r = 0; r < ranks.size(); ++r) {
            Bracket& b = brackets[r];
            if (b.done) continue;
            if (b.lo == b.hi) {
                b.done = true;
                b.answer = b.lo;
                continue;
            }
            const Row* low = bound(r, b.low);
            const Row* high = bound(r, b.high);
            if (b.inside <= enumerate) {
                // Most rows hold none or one of the bracket's cells: one
                // written per row without a branch, the rest in a loop.
                std::vector<double>& v = scratch.values;
                v.resize(static_cast<std::size_t>(b.inside) + 1);
                std::size_t at = 0;
                for (std::size_t o = 0; o < no; ++o) {
                    const std::int64_t first = low ? low[o] : 0, end = high ? high[o] : ni;
                    v[at] = grid.value(o, std::min(first, ni - 1));
                    at += first < end;
                    for (std::int64_t c = first + 1; c < end; ++c) v[at++] = grid.value(o, c);
                }
                const auto nth = v.begin() + (b.k - b.below - 1);
                std::nth_element(v.begin(), nth, v.begin() + static_cast<std::ptrdiff_t>(at));
                b.done = true;
                b.answer = *nth;
                continue;
            }
            if (round == kMaxRounds) {
                // Never expected; bisection over the keys ends it whatever the data.
                std::uint64_t lo = orderKey(b.lo), hi = orderKey(b.hi);
                while (lo < hi) {
                    const std::uint64_t mid = lo + (hi - lo) / 2;
                    if (grid.count<false>(fromKey(mid), low, high, nullptr) >= b.k)
                        hi = mid;
                    else
                        lo = mid + 1;
                }
                b.done = true;
                b.answer = fromKey(lo);
                continue;
            }

            double tryLo = b.lo, tryHi = b.hi;
            if (coarse && b.coarseTries < kCoarseTries && (round == 0 || b.missed)) {
                // After a miss, four times as far apart.
                coarseBounds(b.k, kCoarseZ * std::ldexp(1.0, 2 * b.coarseTries), tryLo, tryHi);
                ++b.coarseTries;
            } else {
                // ns differences drawn at random from the bracket, one
                // from each of ns equal stretches of its ranks, so that
                // the draws come in order and one walk over the rows' windows
                // finds them; blocks of rows holding no draw are passed by
                // their sum.
                // The first draws, from the whole grid, cost no walk; take more of them.
                const std::size_t ns = !low && !high ? 4 * samples : samples;
                const int shift = std::countr_zero(ns);  // ns a power of two
                std::vector<std::uint64_t>& draws = scratch.draws;
                const auto inside = static_cast<std::uint64_t>(b.inside);
                std::vector<double>& sample = scratch.sample;
                if (!low && !high) {
                    // Every cell equally likely: rows in stretches, columns at
                    // random; drawn once for all ranks.
                    std::vector<double>& whole = scratch.whole;
                    if (!wholeDrawn) {
                        whole.resize(ns);
                        for (std::size_t g = 0; g < ns; ++g) {
                            const auto o =
                                static_cast<std::size_t>((static_cast<Wide>(g) * no + below(rng(), no)) >> shift);
                            whole[g] =
                                grid.value(o, static_cast<std::int64_t>(below(rng(), static_cast<std::uint64_t>(ni))));
                        }
                        wholeDrawn = true;
                    }
                    std::copy(whole.begin(), whole.end(), sample.begin());
                } else {
                    for (std::size_t g = 0; g < ns; ++g)
                        draws[g] =
                            static_cast<std::uint64_t>((static_cast<Wide>(g) * inside + below(rng(), inside)) >> shift);
                    // A block's rows are found by bisection in its running sums.
                    std::uint64_t sums[kBlock + 1];
                    std::size_t d = 0;
                    std::uint64_t before = 0;
                    for (std::size_t o0 = 0; o0 < no && d < ns; o0 += kBlock) {
                        const std::size_t m = std::min(no - o0, kBlock);
                        sums[0] = 0;
                        for (std::size_t i = 0; i < m; ++i)
                            sums[i + 1] = sums[i] + static_cast<std::uint64_t>((high ? high[o0 + i] : ni) -
                                                                               (low ? low[o0 + i] : 0));
                        for (; d < ns && draws[d] < before + sums[m]; ++d) {
                            const std::uint64_t rank = draws[d] - before;
                            const std::size_t i =
                                static_cast<std::size_t>(std::upper_bound(sums, sums + m + 1, rank) - sums) - 1;
                            const std::int64_t first = low ? low[o0 + i] : 0;
                            draws[d] = grid.cell(o0 + i, first + static_cast<std::int64_t>(rank - sums[i]));
                        }
                        before += sums[m];
                    }
                    // The values apart from the search, so that their loads overlap.
                    for (std::size_t g = 0; g < ns; ++g) sample[g] = grid.valueOfCell(draws[g]);
                }
                const double n = static_cast<double>(ns);
                const double q = static_cast<double>(b.k - b.below) / static_cast<double>(b.inside);
                const double at = q * n - 0.5, margin = b.z * std::sqrt(n * q * (1 - q)) + 2;
                const double iLo = std::floor(at - margin), iHi = std::ceil(at + margin);
                // Only two order statistics of the sample are needed.
                const auto end = sample.begin() + static_cast<std::ptrdiff_t>(ns);
                auto rest = sample.begin();
                if (iLo >= 0) {
                    rest = sample.begin() + static_cast<std::ptrdiff_t>(iLo);
                    std::nth_element(sample.begin(), rest, end);
                    tryLo = *rest++;
                }
                if (iHi < n) {
                    const auto upper = sample.begin() + static_cast<std::ptrdiff_t>(iHi);
                    std::nth_element(rest, upper, end);
                    tryHi = *upper;
                }
            }
            // Where a draw's bound would not narrow, the bracket's own end:
            // whether the k-th is that end or lies past every value equal to it.
            b.t[0] = tryLo > b.lo ? tryLo : b.lo;
            b.strict[0] = tryLo > b.lo;
            b.t[1] = tryHi < b.hi ? tryHi : b.hi;
            b.strict[1] = !(tryHi < b.hi);
            int free = 0;
            for (int s = 0; s < kSlots && free < 2; ++s)
                if (s != b.low && s != b.high) b.slot[free++] = s;
            pending = true;
        }
        if (!pending) break;

        std::size_t used = probesCounted ? 0 : probeChains;
        for (std::size_t r = 0; r < ranks.size(); ++r) {
            const Bracket& b = brackets[r];
            if (b.done) continue;
            for (int p = 0; p < 2; ++p) {
                Chain& c = chains[used++];
                c.t = b.t[p];
                c.strict = b.strict[p];
                c.low = bound(r, b.low);
                c.high = bound(r, b.high);
                c.out = rows[r * kSlots + b.slot[p]];
            }
        }
        grid.count({chains, used});
        if (!probesCounted) {
            probeCounts();
            probesCounted = true;
        }
        std::size_t next = used;
        for (std::size_t r = ranks.size(); r-- > 0;) {
            Bracket& b = brackets[r];
            if (b.done) continue;
            next -= 2;
            for (int p = 0; p < 2; ++p) b.got[p] = chains[next + p].total;
        }

        for (std::size_t r = 0; r < ranks.size(); ++r) {
            Bracket& b = brackets[r];
            if (b.done) continue;
            std::int64_t atMostHi = b.below + b.inside;
            bool missed = false;
            for (int p = 0; p < 2; ++p) {
                const std::int64_t c = b.got[p];
                // #(d < t) = #(d <= the double below t), and #(d <= t) = #(d < the one above).
                const bool isLow = c < b.k;
                const double t = isLow ? (b.strict[p] ? b.t[p] : std::nextafter(b.t[p], kInf))
                                       : (b.strict[p] ? std::nextafter(b.t[p], -kInf) : b.t[p]);
                missed |= isLow != (p == 0);
                if (isLow && t > b.lo) {
                    b.lo = t;
                    b.below = c;
                    b.low = b.slot[p];
                } else if (!isLow && t < b.hi) {
                    b.hi = t;
                    atMostHi = c;
                    b.high = b.slot[p];
                }
            }
            if (missed) b.z *= 2;
            b.missed = missed;
            b.inside = atMostHi - b.below;
        }
    }
    if (!probesCounted) {
        grid.count({chains, probeChains});
        probeCounts();
    }
    for (std::size_t r = 0; r < ranks.size(); ++r)
        values[r] = signedZero(brackets[r].answer, minuend_, subtrahend_, grid);
}

std::vector<std::int64_t> DifferenceSet::binCounts(std::span<const double> edges) const {
    const Grid grid(minuend_, subtrahend_);
    const std::size_t bins = edges.size() - 1;
    std::vector<std::int64_t> counts(bins);
    std::int64_t previous = grid.count<true>(edges[0], nullptr, nullptr, nullptr);
    for (std::size_t i = 0; i < bins; ++i) {
        const std::int64_t upTo = i + 1 == bins ? grid.count<false>(edges[i + 1], nullptr, nullptr, nullptr)
                                                : grid.count<true>(edges[i + 1], nullptr, nullptr, nullptr);
        counts[i] = upTo - previous;
        previous = upTo;
    }
    return counts;
}

// Double-double arithmetic: error-free sums and products keep every total
// to about 2^-100 of its terms, far below what the moments need.
namespace {

struct Twin {
    double hi = 0, lo = 0;
};

Twin twoSum(double a, double b) {
    const double s = a + b, bb = s - a;
    return {s, (a - (s - bb)) + (b - bb)};
}
Twin normalize(double hi, double lo) {
    const double s = hi + lo;
    return {s, lo - (s - hi)};
}
Twin add(Twin x, Twin y) {
    const Twin s = twoSum(x.hi, y.hi);
    return normalize(s.hi, s.lo + (x.lo + y.lo));
}
Twin add(Twin x, double y) { return add(x, Twin{y, 0}); }
Twin times(Twin x, double y) {
    const double p = x.hi * y;
    return normalize(p, std::fma(x.hi, y, -p) + x.lo * y);
}
Twin square(Twin x) {
    const double p = x.hi * x.hi;
    return normalize(p, std::fma(x.hi, x.hi, -p) + 2 * x.hi * x.lo + x.lo * x.lo);
}
Twin divide(Twin x, double y) {
    const double q1 = x.hi / y;
    const Twin r = add(x, times(Twin{q1, 0}, -y));
    return normalize(q1, (r.hi + r.lo) / y);
}

}  // namespace

// Mean and sum of squared deviations of one side.
struct SideMoments {
    Twin mean, squares;
};

namespace {
// Of the values times `up`, a power of two.
SideMoments sideMoments(std::span<const double> x, double up) {
    Twin sum;
    for (double v : x) sum = add(sum, v * up);
    SideMoments m;
    m.mean = divide(sum, static_cast<double>(x.size()));
    for (double v : x) m.squares = add(m.squares, square(add(Twin{v * up, 0}, Twin{-m.mean.hi, -m.mean.lo})));
    return m;
}

double largestMagnitude(std::span<const double> x) {
    double largest = 0;
    for (double v : x) largest = std::max(largest, std::fabs(v));
    return largest;
}

}  // namespace

namespace {

DifferenceMoments combine(const SideMoments& a, const SideMoments& b, double na, double nb, int e) {
    DifferenceMoments r;
    const Twin mean = add(a.mean, Twin{-b.mean.hi, -b.mean.lo});
    r.mean = std::ldexp(mean.hi + mean.lo, -e);
    const double c = na * nb;
    const Twin ss = add(times(a.squares, nb), times(b.squares, na));
    const double scaledVariance = c > 1 ? std::max(0.0, (ss.hi + ss.lo) / (c - 1)) : 0.0;
    r.variance = std::ldexp(scaledVariance, -2 * e);
    r.se = std::ldexp(std::sqrt(scaledVariance), -e);
    return r;
}

}  // namespace

DifferenceMoments exactMoments(std::span<const double> minuend, std::span<const double> subtrahend) {
    // Values far from 1 are scaled by one power of two for both sides, so
    // that the squares of their deviations stay in the normal range.
    const int e = scaleExponent(std::max(largestMagnitude(minuend), largestMagnitude(subtrahend)));
    const double up = std::ldexp(1.0, e);
    return combine(sideMoments(minuend, up), sideMoments(subtrahend, up), static_cast<double>(minuend.size()),
                   static_cast<double>(subtrahend.size()), e);
}

struct MomentSides::Slot {
    std::once_flag once;
    SideMoments sums;
};

MomentSides::MomentSides(std::vector<std::span<const double>> sides) : sides_(std::move(sides)) {
    for (std::span<const double> s : sides_) largest_.push_back(largestMagnitude(s));
}
MomentSides::~MomentSides() = default;

// A side's sums depend on the pair's scale, nearly always the same for all
// its pairs; each (side, scale) is summed once, by whichever thread asks first.
DifferenceMoments MomentSides::pair(std::size_t minuend, std::size_t subtrahend) {
    const int e = scaleExponent(std::max(largest_[minuend], largest_[subtrahend]));
    auto sums = [&](std::size_t side) -> const SideMoments& {
        Slot* slot;
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            std::unique_ptr<Slot>& s = slots_[{side, e}];
            if (!s) s = std::make_unique<Slot>();
            slot = s.get();
        }
        std::call_once(slot->once, [&] { slot->sums = sideMoments(sides_[side], std::ldexp(1.0, e)); });
        return slot->sums;
    };
    return combine(sums(minuend), sums(subtrahend), static_cast<double>(sides_[minuend].size()),
                   static_cast<double>(sides_[subtrahend].size()), e);
}

}  // namespace lumera::analysis
