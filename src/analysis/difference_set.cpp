#include "analysis/difference_set.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <memory>
#include <mutex>
#include <random>

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
    std::vector<double> sample, values;
};

Scratch& threadScratch() {
    thread_local Scratch scratch;
    return scratch;
}

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

constexpr std::size_t kSamples = 4096;
constexpr std::int64_t kEnumerate = 1 << 16;
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
    bool done = false;
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

// Each rank narrows a bracket [lo, hi] around its value by the quantiles
// of random differences drawn from inside it; every new bound comes from a
// count, and a count on the wrong side narrows the other bound, so chance
// only affects the number of passes. A count starts each row inside the
// window the bracket already knows. A bracket small enough is formed and
// selected in full.
void DifferenceSet::select(std::span<const std::int64_t> ranks, std::span<double> values, std::span<const Probe> probes,
                           std::span<std::int64_t> counts) const {
    const Grid grid(minuend_, subtrahend_);
    for (std::size_t p = 0; p < probes.size(); ++p)
        counts[p] = grid.count(probes[p].t, probes[p].strict, nullptr, nullptr, nullptr);
    if (ranks.empty()) return;
    const std::int64_t total = count();
    const std::size_t no = grid.rows();
    const std::int64_t ni = grid.columns();
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

    Scratch& scratch = threadScratch();
    std::vector<Bracket> brackets(ranks.size());
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
    auto lowOf = [&](std::size_t r, std::size_t o) -> std::int64_t {
        return brackets[r].low < 0 ? 0 : rows[r * kSlots + brackets[r].low][o];
    };
    auto highOf = [&](std::size_t r, std::size_t o) -> std::int64_t {
        return brackets[r].high < 0 ? ni : rows[r * kSlots + brackets[r].high][o];
    };
    std::mt19937_64 rng(0x5eed);
    scratch.draws.resize(kSamples);
    scratch.sample.resize(kSamples);

    for (int round = 0;; ++round) {
        bool pending = false;
        for (std::size_t r = 0; r < brackets.size(); ++r) {
            Bracket& b = brackets[r];
            if (b.done) continue;
            if (b.lo == b.hi) {
                b.done = true;
                b.answer = b.lo;
                continue;
            }
            if (b.inside <= kEnumerate) {
                std::vector<double>& v = scratch.values;
                v.clear();
                for (std::size_t o = 0; o < no; ++o)
                    for (std::int64_t c = lowOf(r, o), end = highOf(r, o); c < end; ++c) v.push_back(grid.value(o, c));
                const auto nth = v.begin() + (b.k - b.below - 1);
                std::nth_element(v.begin(), nth, v.end());
                b.done = true;
                b.answer = *nth;
                continue;
            }
            if (round == kMaxRounds) {
                // Never expected; bisection over the keys ends it whatever the data.
                std::uint64_t lo = orderKey(b.lo), hi = orderKey(b.hi);
                while (lo < hi) {
                    const std::uint64_t mid = lo + (hi - lo) / 2;
                    if (grid.count<false>(fromKey(mid), bound(r, b.low), bound(r, b.high), nullptr) >= b.k)
                        hi = mid;
                    else
                        lo = mid + 1;
                }
                b.done = true;
                b.answer = fromKey(lo);
                continue;
            }

            // kSamples differences drawn at random from the bracket, one
            // from each of kSamples equal stretches of its ranks, so that
            // the draws come in order and one walk over the rows' windows
            // finds them.
            std::vector<std::uint64_t>& draws = scratch.draws;
            const auto inside = static_cast<std::uint64_t>(b.inside);
            for (std::size_t g = 0; g < kSamples; ++g)
                draws[g] = static_cast<std::uint64_t>((static_cast<Wide>(g) * inside + rng() % inside) / kSamples);
            std::vector<double>& sample = scratch.sample;
            std::size_t d = 0;
            std::uint64_t before = 0;
            for (std::size_t o = 0; o < no && d < kSamples; ++o) {
                const std::int64_t first = lowOf(r, o);
                const auto width = static_cast<std::uint64_t>(highOf(r, o) - first);
                for (; d < kSamples && draws[d] < before + width; ++d)
                    sample[d] = grid.value(o, first + static_cast<std::int64_t>(draws[d] - before));
                before += width;
            }
            const double n = static_cast<double>(kSamples);
            const double q = static_cast<double>(b.k - b.below) / static_cast<double>(b.inside);
            const double at = q * n - 0.5, margin = b.z * std::sqrt(n * q * (1 - q)) + 2;
            const double iLo = std::floor(at - margin), iHi = std::ceil(at + margin);
            // Only two order statistics of the sample are needed.
            double tryLo = b.lo, tryHi = b.hi;
            auto rest = sample.begin();
            if (iLo >= 0) {
                rest = sample.begin() + static_cast<std::ptrdiff_t>(iLo);
                std::nth_element(sample.begin(), rest, sample.end());
                tryLo = *rest++;
            }
            if (iHi < n) {
                const auto upper = sample.begin() + static_cast<std::ptrdiff_t>(iHi);
                std::nth_element(rest, upper, sample.end());
                tryHi = *upper;
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

        for (std::size_t r = 0; r < brackets.size(); ++r) {
            Bracket& b = brackets[r];
            if (b.done) continue;
            for (int p = 0; p < 2; ++p)
                b.got[p] =
                    grid.count(b.t[p], b.strict[p], bound(r, b.low), bound(r, b.high), rows[r * kSlots + b.slot[p]]);
        }

        for (Bracket& b : brackets) {
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
            b.inside = atMostHi - b.below;
        }
    }
    for (std::size_t r = 0; r < brackets.size(); ++r)
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
