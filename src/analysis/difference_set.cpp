#include "analysis/difference_set.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <random>

#include "analysis/order_key.h"
#include "analysis/power_scale.h"

namespace lumera::analysis {

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

// fl(p - m) never falls as p grows and never rises as m grows, so for each
// value of one side the differences at most (or below) a threshold are a
// prefix of its ranks. Walks go over the shorter side; each of its values
// finds its prefix length on the longer side by a merge-like step or, when
// the longer side dwarfs the shorter, by binary search.
class Walk {
public:
    Walk(std::span<const double> plus, std::span<const double> minus)
        : plus_(plus), minus_(minus), outerIsPlus_(plus.size() <= minus.size()) {
        const std::size_t no = outerCount(), ni = innerCount();
        bisect_ = no * (static_cast<std::size_t>(std::bit_width(ni)) + 2) < ni;
    }

    std::size_t outerCount() const { return outerIsPlus_ ? plus_.size() : minus_.size(); }
    std::int64_t innerCount() const { return static_cast<std::int64_t>(outerIsPlus_ ? minus_.size() : plus_.size()); }

    // The difference of outer value o at ascending rank r among its own.
    double value(std::size_t o, std::int64_t r) const {
        return outerIsPlus_ ? plus_[o] - minus_[minus_.size() - 1 - static_cast<std::size_t>(r)]
                            : plus_[static_cast<std::size_t>(r)] - minus_[o];
    }

    // sink(o, n): n of outer value o's differences are <= t (Strict: < t).
    template <bool Strict, class Sink>
    void counts(double t, Sink&& sink) const {
        auto above = [t](double d) { return Strict ? d >= t : d > t; };
        const std::size_t nm = minus_.size(), np = plus_.size();
        if (outerIsPlus_) {
            std::size_t j = 0;
            for (std::size_t o = 0; o < np; ++o) {
                const double p = plus_[o];
                if (bisect_)
                    j = static_cast<std::size_t>(std::partition_point(minus_.begin() + static_cast<std::ptrdiff_t>(j),
                                                                      minus_.end(),
                                                                      [&](double m) { return above(p - m); }) -
                                                 minus_.begin());
                else
                    while (j < nm && above(p - minus_[j])) ++j;
                sink(o, static_cast<std::int64_t>(nm - j));
            }
        } else {
            std::size_t i = 0;
            for (std::size_t o = 0; o < nm; ++o) {
                const double m = minus_[o];
                if (bisect_)
                    i = static_cast<std::size_t>(std::partition_point(plus_.begin() + static_cast<std::ptrdiff_t>(i),
                                                                      plus_.end(),
                                                                      [&](double p) { return !above(p - m); }) -
                                                 plus_.begin());
                else
                    while (i < np && !above(plus_[i] - m)) ++i;
                sink(o, static_cast<std::int64_t>(i));
            }
        }
    }

    template <bool Strict>
    std::int64_t total(double t) const {
        std::int64_t n = 0;
        counts<Strict>(t, [&](std::size_t, std::int64_t c) { n += c; });
        return n;
    }

    // Per outer value into `out`; returns the total.
    template <bool Strict>
    std::int64_t fill(double t, std::vector<std::int64_t>& out) const {
        std::int64_t n = 0;
        counts<Strict>(t, [&](std::size_t o, std::int64_t c) {
            out[o] = c;
            n += c;
        });
        return n;
    }

private:
    std::span<const double> plus_, minus_;
    bool outerIsPlus_;
    bool bisect_ = false;
};

// fl(p - m) is -0 only for p = -0, m = +0; a zero stays -0 when every zero
// difference is one. Among mixed zeros nothing can tell them apart: every
// form prints both as 0, and every use of a percentile compares it with 0.
double signedZero(double v, std::span<const double> plus, std::span<const double> minus, const Walk& walk) {
    if (v != 0) return v;
    const auto negZeros =
        std::count_if(plus.begin(), plus.end(), [](double x) { return x == 0 && std::signbit(x); }) *
        std::count_if(minus.begin(), minus.end(), [](double x) { return x == 0 && !std::signbit(x); });
    const std::int64_t zeros = walk.total<false>(0.0) - walk.total<true>(0.0);
    return negZeros == zeros ? -0.0 : 0.0;
}

constexpr std::size_t kSamples = 4096;
constexpr std::int64_t kEnumerate = 1 << 16;
constexpr int kMaxRounds = 40;

}  // namespace

DifferenceSet::DifferenceSet(std::span<const double> minuendSorted, std::span<const double> subtrahendSorted)
    : minuend_(minuendSorted), subtrahend_(subtrahendSorted) {}

std::int64_t DifferenceSet::count() const {
    return static_cast<std::int64_t>(minuend_.size()) * static_cast<std::int64_t>(subtrahend_.size());
}
double DifferenceSet::smallest() const { return minuend_.front() - subtrahend_.back(); }
double DifferenceSet::largest() const { return minuend_.back() - subtrahend_.front(); }

std::int64_t DifferenceSet::countAtMost(double t) const { return Walk(minuend_, subtrahend_).total<false>(t); }
std::int64_t DifferenceSet::countBelow(double t) const { return Walk(minuend_, subtrahend_).total<true>(t); }

std::int64_t DifferenceSet::countAtLeastTwice(double twiceD) const {
    return count() - (twiceD > 0 ? countBelow(twiceD) : countAtMost(0.0));
}

// Narrows a bracket [lo, hi] around the k-th value by the quantiles of
// random differences drawn from inside it; every new bound is verified by
// a count before it is kept, so chance only affects the number of passes.
// A bracket small enough is formed and selected in full.
double DifferenceSet::kth(std::int64_t k) const {
    const Walk walk(minuend_, subtrahend_);
    const std::int64_t total = count();
    if (k <= 1) return signedZero(smallest(), minuend_, subtrahend_, walk);
    if (k >= total) return signedZero(largest(), minuend_, subtrahend_, walk);

    const std::size_t no = walk.outerCount();
    // Invariant: #(d < lo) = below < k <= #(d <= hi); per outer value the
    // differences within [lo, hi] are its ranks [low[o], high[o]).
    double lo = smallest(), hi = largest();
    std::vector<std::int64_t> low(no, 0), high(no, walk.innerCount()), newLow(no), newHigh(no), start(no + 1);
    std::int64_t below = 0, inside = total;
    std::mt19937_64 rng(0x5eed);
    std::vector<double> sample(kSamples);
    double z = 4;
    for (int round = 0;; ++round) {
        if (lo == hi) return signedZero(lo, minuend_, subtrahend_, walk);
        if (inside <= kEnumerate) {
            std::vector<double> values;
            values.reserve(static_cast<std::size_t>(inside));
            for (std::size_t o = 0; o < no; ++o)
                for (std::int64_t r = low[o]; r < high[o]; ++r) values.push_back(walk.value(o, r));
            const auto nth = values.begin() + (k - below - 1);
            std::nth_element(values.begin(), nth, values.end());
            return signedZero(*nth, minuend_, subtrahend_, walk);
        }
        if (round == kMaxRounds) {
            // Never expected; bisection over the keys ends it whatever the data.
            std::uint64_t a = orderKey(lo), b = orderKey(hi);
            while (a < b) {
                const std::uint64_t mid = a + (b - a) / 2;
                if (walk.total<false>(fromKey(mid)) >= k)
                    b = mid;
                else
                    a = mid + 1;
            }
            return signedZero(fromKey(a), minuend_, subtrahend_, walk);
        }

        start[0] = 0;
        for (std::size_t o = 0; o < no; ++o) start[o + 1] = start[o] + (high[o] - low[o]);
        for (double& v : sample) {
            const auto g = static_cast<std::int64_t>(rng() % static_cast<std::uint64_t>(inside));
            const std::size_t o =
                static_cast<std::size_t>(std::upper_bound(start.begin(), start.end(), g) - start.begin()) - 1;
            v = walk.value(o, low[o] + (g - start[o]));
        }
        std::sort(sample.begin(), sample.end());
        const double n = static_cast<double>(kSamples);
        const double q = static_cast<double>(k - below) / static_cast<double>(inside);
        const double at = q * n - 0.5, margin = z * std::sqrt(n * q * (1 - q)) + 2;
        const double iLo = std::floor(at - margin), iHi = std::ceil(at + margin);
        const double tryLo = iLo < 0 ? lo : sample[static_cast<std::size_t>(iLo)];
        const double tryHi = iHi >= n ? hi : sample[static_cast<std::size_t>(iHi)];

        bool missed = false;
        if (tryLo > lo) {
            const std::int64_t b = walk.fill<true>(tryLo, newLow);
            if (b < k) {
                lo = tryLo;
                below = b;
                low.swap(newLow);
            } else {
                missed = true;
            }
        }
        std::int64_t atMostHi = below + inside;
        if (tryHi < hi) {
            const std::int64_t a = walk.fill<false>(tryHi, newHigh);
            if (a >= k) {
                hi = tryHi;
                atMostHi = a;
                high.swap(newHigh);
            } else {
                missed = true;
            }
        }
        if (missed) z *= 2;
        const std::int64_t before = inside;
        inside = atMostHi - below;
        if (inside * 2 > before && lo != hi) {
            // Little progress: large blocks of equal values at the ends.
            // Either the answer is one of them or both can be dropped.
            const std::int64_t atMostLo = walk.fill<false>(lo, newLow);
            if (atMostLo >= k) return signedZero(lo, minuend_, subtrahend_, walk);
            const std::int64_t belowHi = walk.fill<true>(hi, newHigh);
            if (belowHi < k) return signedZero(hi, minuend_, subtrahend_, walk);
            lo = std::nextafter(lo, kInf);
            hi = std::nextafter(hi, -kInf);
            below = atMostLo;
            low.swap(newLow);
            high.swap(newHigh);
            inside = belowHi - below;
        }
    }
}

std::vector<std::int64_t> DifferenceSet::binCounts(std::span<const double> edges) const {
    const Walk walk(minuend_, subtrahend_);
    const std::size_t bins = edges.size() - 1;
    std::vector<std::int64_t> counts(bins);
    std::int64_t previous = walk.total<true>(edges[0]);
    for (std::size_t i = 0; i < bins; ++i) {
        const std::int64_t upTo = i + 1 == bins ? walk.total<false>(edges[i + 1]) : walk.total<true>(edges[i + 1]);
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

// Mean and sum of squared deviations of one side.
struct SideMoments {
    Twin mean, squares;
};
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

DifferenceMoments exactMoments(std::span<const double> minuend, std::span<const double> subtrahend) {
    // Values far from 1 are scaled by one power of two for both sides, so
    // that the squares of their deviations stay in the normal range.
    const int e = scaleExponent(std::max(largestMagnitude(minuend), largestMagnitude(subtrahend)));
    const double up = std::ldexp(1.0, e);
    const SideMoments a = sideMoments(minuend, up), b = sideMoments(subtrahend, up);
    const double na = static_cast<double>(minuend.size()), nb = static_cast<double>(subtrahend.size());
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

}  // namespace lumera::analysis
