#include "cartesian/pair_order.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numeric>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "analysis/difference_set.h"

namespace lumera {

namespace {

__extension__ typedef __int128 Wide;

constexpr double kU = 0x1p-53;
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kTiny = std::numeric_limits<double>::denorm_min();
constexpr int kLevels = 10;

double nextUp(double x) { return std::nextafter(x, kInf); }
double nextDown(double x) { return std::nextafter(x, -kInf); }

// What one walk at threshold `at` finds.
struct Cut {
    std::int64_t below = 0;  // differences < at
    Wide scaledBelow = 0;    // sum of their scaled p - m
    double next = kInf;      // smallest difference >= at
    double prev = -kInf;     // largest difference < at
};

// Every difference is fl(p - m) with p from `plus` and m from `minus`. With both
// sorted, fl(p - m) grows with p and shrinks with m, so the differences below
// a threshold form a staircase that one merge-like walk counts. When one side
// dwarfs the other, the walk goes over the shorter side and finds each step
// by binary search instead. Ranks and plain counts are the analysis core's.
class Staircase {
public:
    explicit Staircase(const PairDifferences& d) {
        const bool om = d.outerMinusInner;
        const double* p = om ? d.outer : d.inner;
        const double* m = om ? d.inner : d.outer;
        const double* pSorted = om ? d.outerSorted : d.innerSorted;
        const double* mSorted = om ? d.innerSorted : d.outerSorted;
        const std::size_t np = static_cast<std::size_t>(om ? d.outerCount : d.innerCount);
        const std::size_t nm = static_cast<std::size_t>(om ? d.innerCount : d.outerCount);
        plus_ = sortedView(p, pSorted, np, plusOwn_);
        minus_ = sortedView(m, mSorted, nm, minusOwn_);
        count_ = static_cast<std::int64_t>(np) * static_cast<std::int64_t>(nm);
        const std::size_t shorter = std::min(np, nm), longer = std::max(np, nm);
        bisect_ = shorter * (static_cast<std::size_t>(std::bit_width(longer)) + 2) < longer;
        outerIsPlus_ = !bisect_ || np <= nm;
        if (!bisect_) {
            // Infinite guards end every walk without a bounds check (thresholds are finite).
            guarded_.reserve(nm + 2);
            guarded_.push_back(-kInf);
            guarded_.insert(guarded_.end(), minus_.begin(), minus_.end());
            guarded_.push_back(kInf);
        }
        quantize();
    }

    std::int64_t count() const { return count_; }
    double smallest() const { return plus_.front() - minus_.back(); }
    double largest() const { return plus_.back() - minus_.front(); }
    Wide scaledTotal() const { return scaledTotal_; }
    bool sumsExact() const { return sumsExact_; }
    double kth(std::int64_t k) const { return analysis::DifferenceSet(plus_, minus_).kth(k); }

    // Values are held as integers times 2^-scale_ so that sums over any
    // staircase are exact; the only error left is the quantization, zero
    // unless the values span a huge range of magnitudes.
    double unscale(Wide z) const { return std::ldexp(static_cast<double>(z), -scale_); }
    double quantizationBound(std::int64_t n) const {
        return quantExact_ ? 0.0 : std::ldexp(2.0 * static_cast<double>(n), -scale_) * (1 + 4 * kU) + kTiny;
    }

    template <bool WithSum>
    void cuts(const std::vector<double>& at, std::vector<Cut>& out) const {
        out.assign(at.size(), Cut{});
        if (bisect_) {
            for (std::size_t k = 0; k < at.size(); ++k) out[k] = cut<WithSum>(at[k]);
            return;
        }
        for (std::size_t k = 0; k < at.size(); k += kBatch)
            cutBatch<WithSum>(&at[k], &out[k], std::min(kBatch, at.size() - k));
    }

    template <bool WithSum>
    Cut cut(double at) const {
        Cut c;
        if (bisect_)
            outerIsPlus_ ? cutBisectPlus<WithSum>(at, c) : cutBisectMinus<WithSum>(at, c);
        else
            cutBatch<WithSum>(&at, &c, 1);
        return c;
    }

private:
    static constexpr std::size_t kBatch = 8;
    static constexpr std::size_t kBlock = 64;

    static std::span<const double> sortedView(const double* raw, const double* sorted, std::size_t n,
                                              std::vector<double>& own) {
        if (sorted) return {sorted, n};
        own.assign(raw, raw + n);
        std::sort(own.begin(), own.end());
        return own;
    }

    // Several walks side by side: their pointer chains are independent, so
    // the processor overlaps them; unused slots stay at the start.
    template <bool WithSum>
    void cutBatch(const double* probes, Cut* out, std::size_t k) const {
        double at[kBatch], next[kBatch], prev[kBatch];
        std::size_t j[kBatch] = {};
        std::int64_t below[kBatch] = {};
        Wide sum[kBatch] = {};
        for (std::size_t b = 0; b < kBatch; ++b) {
            at[b] = b < k ? probes[b] : std::numeric_limits<double>::max();
            next[b] = kInf;
            prev[b] = -kInf;
        }
        const std::size_t nm = minus_.size();
        const double* before = guarded_.data();  // before[j] = m[j - 1]
        const double* m = before + 1;
        for (std::size_t i = 0; i < plus_.size(); ++i) {
            const double p = plus_[i];
#pragma GCC unroll 8
            for (std::size_t b = 0; b < kBatch; ++b) {
                // Mostly one or two steps per p: taken without branches.
                std::size_t jj = j[b];
                jj += static_cast<std::size_t>(p - m[jj] >= at[b]);
                jj += static_cast<std::size_t>(p - m[jj] >= at[b]);
                while (p - m[jj] >= at[b]) ++jj;
                j[b] = jj;
                below[b] += static_cast<std::int64_t>(nm - jj);
                next[b] = std::min(next[b], p - before[jj]);
                prev[b] = std::max(prev[b], p - m[jj]);
                if constexpr (WithSum) sum[b] += static_cast<Wide>(nm - jj) * qPlus_[i] - qMinusSuffix_[jj];
            }
        }
        for (std::size_t b = 0; b < k; ++b) out[b] = {below[b], sum[b], next[b], prev[b]};
    }

    // The same walk over a short plus side, each step found by binary search.
    template <bool WithSum>
    void cutBisectPlus(double at, Cut& c) const {
        const std::size_t nm = minus_.size();
        std::size_t jj = 0;
        for (std::size_t i = 0; i < plus_.size(); ++i) {
            const double p = plus_[i];
            jj = static_cast<std::size_t>(std::partition_point(minus_.begin() + static_cast<std::ptrdiff_t>(jj),
                                                               minus_.end(), [&](double m) { return p - m >= at; }) -
                                          minus_.begin());
            c.below += static_cast<std::int64_t>(nm - jj);
            if (jj > 0) c.next = std::min(c.next, p - minus_[jj - 1]);
            if (jj < nm) c.prev = std::max(c.prev, p - minus_[jj]);
            if constexpr (WithSum)
                c.scaledBelow += static_cast<Wide>(nm - jj) * qPlus_[i] - (longTotal_ - longPrefix(jj));
        }
    }

    // Over a short minus side: below `at` lie a prefix of plus for each m.
    template <bool WithSum>
    void cutBisectMinus(double at, Cut& c) const {
        const std::size_t np = plus_.size();
        std::size_t ii = 0;
        for (std::size_t o = 0; o < minus_.size(); ++o) {
            const double m = minus_[o];
            ii = static_cast<std::size_t>(std::partition_point(plus_.begin() + static_cast<std::ptrdiff_t>(ii),
                                                               plus_.end(), [&](double p) { return p - m < at; }) -
                                          plus_.begin());
            c.below += static_cast<std::int64_t>(ii);
            if (ii < np) c.next = std::min(c.next, plus_[ii] - m);
            if (ii > 0) c.prev = std::max(c.prev, plus_[ii - 1] - m);
            if constexpr (WithSum) c.scaledBelow += longPrefix(ii) - static_cast<Wide>(ii) * qMinus_[o];
        }
    }

    // v x 2^scale_ rounded to an integer; a multiplication by an exact power
    // of two scales as ldexp does, without its call.
    std::int64_t quantum(double v) const {
        const double y = up_ != 0 ? v * up_ : std::ldexp(v, scale_);
        return static_cast<std::int64_t>(std::nearbyint(y));
    }

    // The sum of the long side's first i quanta: whole blocks stored, the
    // rest added on demand; a binary-search walk asks for few of them.
    Wide longPrefix(std::size_t i) const {
        const std::span<const double> side = outerIsPlus_ ? minus_ : plus_;
        const std::size_t block = i / kBlock;
        Wide sum = longBlocks_[block];
        for (std::size_t k = block * kBlock; k < i; ++k) sum += quantum(side[k]);
        return sum;
    }

    void quantize() {
        double maxAbs = 0;
        for (double v : plus_) maxAbs = std::max(maxAbs, std::fabs(v));
        for (double v : minus_) maxAbs = std::max(maxAbs, std::fabs(v));
        scale_ = maxAbs > 0 ? 60 - std::ilogb(maxAbs) : 0;
        up_ = scale_ >= -1022 && scale_ <= 1023 ? std::ldexp(1.0, scale_) : 0;
        const double down = -scale_ >= -1022 && -scale_ <= 1023 ? std::ldexp(1.0, -scale_) : 0;
        quantExact_ = true;
        std::int64_t maxQ[2] = {0, 0};
        int lowBit = 63;
        auto q = [&](double v, int side) {
            const double y = up_ != 0 ? v * up_ : std::ldexp(v, scale_);
            const double r = std::nearbyint(y);
            if (r != y || (down != 0 ? y * down : std::ldexp(y, -scale_)) != v) quantExact_ = false;
            const auto i = static_cast<std::int64_t>(r);
            maxQ[side] = std::max(maxQ[side], i < 0 ? -i : i);
            if (i != 0) lowBit = std::min(lowBit, std::countr_zero(static_cast<std::uint64_t>(i < 0 ? -i : i)));
            return i;
        };
        Wide sumPlus = 0, sumMinus = 0;
        if (bisect_) {
            std::vector<std::int64_t>& shortQ = outerIsPlus_ ? qPlus_ : qMinus_;
            const std::span<const double> shortSide = outerIsPlus_ ? plus_ : minus_;
            const std::span<const double> longSide = outerIsPlus_ ? minus_ : plus_;
            Wide& shortSum = outerIsPlus_ ? sumPlus : sumMinus;
            Wide& longSum = outerIsPlus_ ? sumMinus : sumPlus;
            shortQ.resize(shortSide.size());
            for (std::size_t i = 0; i < shortSide.size(); ++i) {
                shortQ[i] = q(shortSide[i], outerIsPlus_ ? 0 : 1);
                shortSum += shortQ[i];
            }
            longBlocks_.resize(longSide.size() / kBlock + 1);
            for (std::size_t i = 0; i < longSide.size(); ++i) {
                if (i % kBlock == 0) longBlocks_[i / kBlock] = longSum;
                longSum += q(longSide[i], outerIsPlus_ ? 1 : 0);
            }
            if (longSide.size() % kBlock == 0) longBlocks_.back() = longSum;
            longTotal_ = longSum;
        } else {
            qPlus_.resize(plus_.size());
            for (std::size_t i = 0; i < plus_.size(); ++i) qPlus_[i] = q(plus_[i], 0);
            qMinusSuffix_.resize(minus_.size() + 1);
            qMinusSuffix_[minus_.size()] = 0;
            for (std::size_t i = minus_.size(); i-- > 0;) {
                sumMinus += q(minus_[i], 1);
                qMinusSuffix_[i] = sumMinus;
            }
            sumPlus = std::accumulate(qPlus_.begin(), qPlus_.end(), Wide{0});
        }
        scaledTotal_ = sumPlus * static_cast<Wide>(minus_.size()) - sumMinus * static_cast<Wide>(plus_.size());
        // All values on one binary grid, and no sum of differences beyond 2^53
        // grid steps: then every partial sum in any order is exact, and so is
        // every group mean.
        if (lowBit == 63) lowBit = 0;
        sumsExact_ = quantExact_ && static_cast<Wide>(count_) * (maxQ[0] + maxQ[1]) <= (Wide{1} << (53 + lowBit));
    }

    std::span<const double> plus_, minus_;
    std::vector<double> plusOwn_, minusOwn_, guarded_;
    std::vector<std::int64_t> qPlus_, qMinus_;
    std::vector<Wide> qMinusSuffix_;  // sums of the scaled minus_[j..]
    std::vector<Wide> longBlocks_;    // sums of the long side's first kBlock x b quanta
    Wide longTotal_ = 0;
    Wide scaledTotal_ = 0;
    std::int64_t count_ = 0;
    int scale_ = 0;
    double up_ = 0;  // 2^scale_ when a normal double
    bool bisect_ = false;
    bool outerIsPlus_ = true;
    bool quantExact_ = true;
    bool sumsExact_ = false;
};

// A group's mean as the sort computes it: its values added one by one in
// input order or reversed, divided by the count.
struct Target {
    double low = 0, high = 0;  // the group is the differences in [low, high)
    double sum = 0;
};

// The slow path: sums in the sort's exact visiting order. Per outer value the
// differences are monotone in the inner value, so each target's members are
// a run of inner ranks; a bit set puts them back in inner order, and only
// members are visited.
class InputOrderScan {
public:
    explicit InputOrderScan(const PairDifferences& d) : d_(d) {
        const std::int32_t n = d.innerCount;
        byRank_.resize(n);
        std::iota(byRank_.begin(), byRank_.end(), 0);
        std::stable_sort(byRank_.begin(), byRank_.end(),
                         [&](std::int32_t a, std::int32_t b) { return d.inner[a] < d.inner[b]; });
        sorted_.resize(n);
        for (std::int32_t r = 0; r < n; ++r) sorted_[r] = d.inner[byRank_[r]];
        outerByValue_.resize(d.outerCount);
        std::iota(outerByValue_.begin(), outerByValue_.end(), 0);
        std::stable_sort(outerByValue_.begin(), outerByValue_.end(),
                         [&](std::int32_t a, std::int32_t b) { return d.outer[a] < d.outer[b]; });
        targetOf_.assign(n, 0);
        members_.assign((static_cast<std::size_t>(n) + 63) / 64, 0);
    }

    // targets: disjoint.
    void run(std::vector<Target>& targets, bool forward) {
        for (std::size_t first = 0; first < targets.size(); first += kChunk) {
            const std::size_t count = std::min(kChunk, targets.size() - first);
            if (d_.outerMinusInner)
                forward ? runAs<true, true>(&targets[first], count) : runAs<true, false>(&targets[first], count);
            else
                forward ? runAs<false, true>(&targets[first], count) : runAs<false, false>(&targets[first], count);
        }
    }

private:
    static constexpr std::size_t kChunk = 16;

    // For every outer value, the first inner rank whose difference fails
    // `difference >= v` (inner - outer: `difference < v`); it only grows with
    // the outer value, so one walk in outer order finds all.
    template <bool OuterMinusInner>
    void ranksAt(double v, std::size_t column, std::size_t columns) {
        const std::int32_t n = d_.innerCount;
        std::int32_t r = 0;
        for (std::int32_t a : outerByValue_) {
            const double x = d_.outer[a];
            if constexpr (OuterMinusInner) {
                while (r < n && x - sorted_[r] >= v) ++r;
            } else {
                while (r < n && sorted_[r] - x < v) ++r;
            }
            rank_[static_cast<std::size_t>(a) * columns + column] = r;
        }
    }

    template <bool OuterMinusInner, bool Forward>
    void runAs(Target* targets, std::size_t nt) {
        const std::int32_t nOuter = d_.outerCount;
        const std::size_t columns = 2 * nt;
        rank_.resize(static_cast<std::size_t>(nOuter) * columns);
        for (std::size_t t = 0; t < nt; ++t) {
            // Members of t for outer a: ranks [rank(2t), rank(2t + 1)).
            ranksAt<OuterMinusInner>(OuterMinusInner ? targets[t].high : targets[t].low, 2 * t, columns);
            ranksAt<OuterMinusInner>(OuterMinusInner ? targets[t].low : targets[t].high, 2 * t + 1, columns);
        }
        const auto words = static_cast<std::int32_t>(members_.size());
        std::vector<double> acc(nt, 0.0);
        const double* inner = d_.inner;
        for (std::int32_t step = 0; step < nOuter; ++step) {
            const std::int32_t a = Forward ? step : nOuter - 1 - step;
            const double x = d_.outer[a];
            const std::int32_t* runs = &rank_[static_cast<std::size_t>(a) * columns];
            bool any = false;
            for (std::size_t t = 0; t < nt; ++t) {
                for (std::int32_t r = runs[2 * t]; r < runs[2 * t + 1]; ++r) {
                    const std::int32_t b = byRank_[r];
                    members_[b >> 6] |= std::uint64_t{1} << (b & 63);
                    targetOf_[b] = static_cast<std::int32_t>(t);
                }
                any = any || runs[2 * t] < runs[2 * t + 1];
            }
            if (!any) continue;
            for (std::int32_t i = 0; i < words; ++i) {
                const std::int32_t w = Forward ? i : words - 1 - i;
                std::uint64_t bits = members_[w];
                members_[w] = 0;
                while (bits) {
                    const int bit = Forward ? std::countr_zero(bits) : 63 - std::countl_zero(bits);
                    bits &= ~(std::uint64_t{1} << bit);
                    const std::int32_t b = w * 64 + bit;
                    double& sum = acc[targetOf_[b]];
                    sum = sum + (OuterMinusInner ? x - inner[b] : inner[b] - x);
                }
            }
        }
        for (std::size_t t = 0; t < nt; ++t) targets[t].sum = acc[t];
    }

    const PairDifferences& d_;
    std::vector<std::int32_t> byRank_;  // inner index by rank of its value
    std::vector<double> sorted_;
    std::vector<std::int32_t> outerByValue_;
    std::vector<std::int32_t> rank_;  // per outer index, the run ends of every target
    std::vector<std::int32_t> targetOf_;
    std::vector<std::uint64_t> members_;
};

// A boundary between adjacent groups of one level, with what a walk there found.
struct Bound {
    double at = 0;
    Cut cut;
};

// Which way a group's members lie in the sort's buffer: the lower child keeps
// its parent's input order, the upper child is written from the end and so
// reverses it; a child's sum follows the parent's order.
struct GroupOrder {
    bool sumForward = true;
    bool storedForward = true;
};

// A parent group's computed mean, or a window certain to hold it.
struct Mean {
    double low = 0, high = 0;
    bool exact() const { return low == high; }
};

class LevelSimulation {
public:
    LevelSimulation(const PairDifferences& d, const Staircase& s) : d_(d), s_(s) {}

    // Runs levels 2.. after a level 1 split at mean0 with the given cut;
    // returns the new group limit.
    std::int16_t run(double mean0, const Cut& level1, std::int16_t groupLimit) {
        bounds_ = {{-kInf, {0, 0, s_.smallest(), -kInf}},
                   {mean0, level1},
                   {kInf, {s_.count(), s_.scaledTotal(), kInf, s_.largest()}}};
        orders_ = {{true, true}, {true, false}};
        if (!s_.sumsExact()) zero_ = s_.cut<true>(0.0);
        for (int k = 2; k <= kLevels; ++k) {
            // The last level needs only whether a child is empty, which the
            // smallest and largest difference of each group tell.
            const bool last = k == kLevels || groupLimit <= (1 << k);
            if (splitLevel(last)) return static_cast<std::int16_t>(1 << (k - 1));
            if (last) break;
        }
        return groupLimit;
    }

private:
    double smallestOf(std::size_t g) const { return bounds_[g].cut.next; }
    double largestOf(std::size_t g) const { return bounds_[g + 1].cut.prev; }
    std::int64_t countOf(std::size_t g) const { return bounds_[g + 1].cut.below - bounds_[g].cut.below; }

    // Splits every group of the current level; true if some child is empty.
    bool splitLevel(bool last) {
        const std::size_t parents = orders_.size();
        std::vector<Mean> means(parents);
        std::vector<std::size_t> unsettled;
        for (std::size_t g = 0; g < parents; ++g) {
            means[g] = meanOf(g);
            const double min = smallestOf(g), max = largestOf(g);
            // Below or at the smallest value, or above the largest: a child is empty.
            if (means[g].high <= min || means[g].low > max) return true;
            if (!(means[g].low > min && means[g].high <= max)) {
                // n copies of one value: every value is either below its mean or not.
                if (min == max) return true;
                unsettled.push_back(g);
            }
        }
        // In between, a window without a difference of the group splits it
        // as the mean does.
        std::vector<double> at(parents);
        for (std::size_t g = 0; g < parents; ++g) at[g] = std::max(means[g].low, bounds_[g].at);
        std::vector<Cut> cuts;
        if (!last) {
            s_.cuts<true>(at, cuts);
            unsettled.clear();
            for (std::size_t g = 0; g < parents; ++g)
                if (!means[g].exact() && cuts[g].next <= means[g].high && cuts[g].next < bounds_[g + 1].at)
                    unsettled.push_back(g);
        }
        if (!unsettled.empty()) {
            settle(unsettled, means);
            std::vector<double> exactAt;
            for (std::size_t g : unsettled) {
                if (means[g].low <= smallestOf(g) || means[g].low > largestOf(g)) return true;
                at[g] = means[g].low;
                exactAt.push_back(at[g]);
            }
            if (!last) {
                std::vector<Cut> exactCuts;
                s_.cuts<true>(exactAt, exactCuts);
                for (std::size_t i = 0; i < unsettled.size(); ++i) cuts[unsettled[i]] = exactCuts[i];
            }
        }
        if (last) return false;
        descend(at, cuts);
        return false;
    }

    Mean meanOf(std::size_t g) const {
        const std::int64_t n = countOf(g);
        const Wide z = bounds_[g + 1].cut.scaledBelow - bounds_[g].cut.scaledBelow;
        if (s_.sumsExact()) {
            const double m = s_.unscale(z) / static_cast<double>(n);
            return {m, m};
        }
        return window(g, n, z);
    }

    // The exact means of the given groups, from their sums in visiting order.
    void settle(const std::vector<std::size_t>& groups, std::vector<Mean>& means) {
        if (!scan_) scan_.emplace(d_);
        for (bool forward : {true, false}) {
            std::vector<Target> targets;
            for (std::size_t g : groups)
                if (orders_[g].sumForward == forward) targets.push_back({bounds_[g].at, bounds_[g + 1].at, 0.0});
            scan_->run(targets, forward);
            std::size_t i = 0;
            for (std::size_t g : groups)
                if (orders_[g].sumForward == forward) {
                    const double m = targets[i++].sum / static_cast<double>(countOf(g));
                    means[g] = {m, m};
                }
        }
    }

    // An interval certain to hold the group's computed mean: the exact sum of
    // its differences is known up to quantization, each difference is rounded
    // once, the sequential sum errs by at most gamma(n-1) * sum|d|, and the
    // division by n once more.
    Mean window(std::size_t g, std::int64_t n, Wide z) const {
        const Bound &lo = bounds_[g], &hi = bounds_[g + 1];
        Wide absZ = z < 0 ? -z : z;
        if (lo.at < 0 && hi.at > 0)
            absZ = (hi.cut.scaledBelow - zero_.scaledBelow) - (zero_.scaledBelow - lo.cut.scaledBelow);
        const double nd = static_cast<double>(n);
        const double quant = s_.quantizationBound(n);
        const double absSum = (s_.unscale(absZ) + quant) * (1 + 4 * kU) + kTiny;
        const double m = (nd - 1) * kU;
        const double gamma = m / (1 - m) * (1 + 1e-9);
        const double center = s_.unscale(z) / nd;
        const double radius =
            ((quant + (3 * kU + 2 * gamma) * absSum) / nd + 4 * kU * std::fabs(center) + 8 * kTiny) * (1 + 1e-6);
        return {nextDown(center - radius), nextUp(center + radius)};
    }

    void descend(const std::vector<double>& at, const std::vector<Cut>& cuts) {
        std::vector<Bound> bounds;
        std::vector<GroupOrder> orders;
        for (std::size_t g = 0; g < orders_.size(); ++g) {
            bounds.push_back(bounds_[g]);
            bounds.push_back({at[g], cuts[g]});
            const bool stored = orders_[g].storedForward;
            orders.push_back({stored, stored});
            orders.push_back({stored, !stored});
        }
        bounds.push_back(bounds_.back());
        bounds_ = std::move(bounds);
        orders_ = std::move(orders);
    }

    const PairDifferences& d_;
    const Staircase& s_;
    std::vector<Bound> bounds_;
    std::vector<GroupOrder> orders_;
    Cut zero_;
    std::optional<InputOrderScan> scan_;
};

// For inputs the fast path cannot bound (infinities, NaNs, sums that could
// overflow): the sort's distribution done on the formed differences. Inside a
// final group the exchange sort leaves NaNs where they are and sorts the rest.
PairOrder formedOrder(const PairDifferences& d, double levelZeroSum, std::int32_t lo, std::int32_t hi,
                      std::int16_t& groupLimit) {
    const std::int64_t n = std::int64_t{d.outerCount} * d.innerCount;
    std::vector<double> from(n + 1), to(n + 1);
    for (std::int32_t a = 0; a < d.outerCount; ++a)
        for (std::int32_t b = 0; b < d.innerCount; ++b)
            from[std::int64_t{a} * d.innerCount + b + 1] =
                d.outerMinusInner ? d.outer[a] - d.inner[b] : d.inner[b] - d.outer[a];
    std::vector<std::int64_t> start{1}, end{n};
    std::vector<double> mean{levelZeroSum / static_cast<double>(n)};
    // from holds the input; the first pass is level 1 with one parent.
    for (int k = 1; k <= kLevels; ++k) {
        const std::size_t parents = start.size();
        std::vector<std::int64_t> cstart(2 * parents), cend(2 * parents), count(2 * parents, 0);
        std::vector<double> sum(2 * parents, 0.0);
        for (std::size_t g = 0; g < parents; ++g) {
            cstart[2 * g] = start[g];
            cend[2 * g + 1] = end[g];
            for (std::int64_t i = start[g]; i <= end[g]; ++i) {
                const double v = from[i];
                const std::size_t h = v >= mean[g] ? 2 * g + 1 : 2 * g;
                const std::int64_t pos = (h & 1) ? cend[h] - count[h] : cstart[h] + count[h];
                to[pos] = v;
                sum[h] = sum[h] + v;
                ++count[h];
            }
            cend[2 * g] = cstart[2 * g] + count[2 * g] - 1;
            cstart[2 * g + 1] = cend[2 * g + 1] - count[2 * g + 1] + 1;
        }
        const bool empty = std::find(count.begin(), count.end(), 0) != count.end();
        if (empty) {
            groupLimit = static_cast<std::int16_t>(k == 1 ? 1 : 1 << (k - 1));
            if (k == 1) {  // level 1 stays final: its filled group holds everything
                std::swap(from, to);
                start = cstart;
                end = cend;
            }
            break;
        }
        std::swap(from, to);
        start = cstart;
        end = cend;
        mean.assign(2 * parents, 0.0);
        for (std::size_t g = 0; g < 2 * parents; ++g) mean[g] = sum[g] / static_cast<double>(count[g]);
        if (k == kLevels || groupLimit <= (2 * static_cast<int>(parents))) break;
    }
    auto at = [&](std::int32_t pos) -> double {
        if (pos < 1 || pos > n) return 0.0;
        std::size_t g = 0;
        while (!(start[g] <= pos && pos <= end[g])) ++g;
        if (std::isnan(from[pos])) return from[pos];
        std::vector<double> values;
        std::int64_t rank = 0;
        for (std::int64_t i = start[g]; i <= end[g]; ++i)
            if (!std::isnan(from[i])) {
                if (i < pos) ++rank;
                values.push_back(from[i]);
            }
        std::nth_element(values.begin(), values.begin() + rank, values.end());
        return values[rank];
    };
    return {at(lo), at(hi)};
}

}  // namespace

PairOrder sortedPairPositions(const PairDifferences& diffs, double levelZeroSum, std::int32_t lo, std::int32_t hi,
                              std::int16_t& groupLimit) {
    if (groupLimit == 0) groupLimit = 1024;
    const std::int64_t n = std::int64_t{diffs.outerCount} * diffs.innerCount;
    if (n <= 0) {
        groupLimit = 1;
        return {};
    }
    double maxAbs = 0;
    bool finite = std::isfinite(levelZeroSum);
    for (std::int32_t i = 0; i < diffs.outerCount; ++i) {
        finite = finite && std::isfinite(diffs.outer[i]);
        maxAbs = std::max(maxAbs, std::fabs(diffs.outer[i]));
    }
    for (std::int32_t i = 0; i < diffs.innerCount; ++i) {
        finite = finite && std::isfinite(diffs.inner[i]);
        maxAbs = std::max(maxAbs, std::fabs(diffs.inner[i]));
    }
    if (!finite || maxAbs > 0x1p900 / static_cast<double>(n))
        return formedOrder(diffs, levelZeroSum, lo, hi, groupLimit);

    const Staircase s(diffs);
    PairOrder result;
    result.atLo = lo >= 1 && lo <= n ? s.kth(lo) : 0.0;
    result.atHi = hi >= 1 && hi <= n ? s.kth(hi) : 0.0;

    const double mean0 = levelZeroSum / static_cast<double>(n);
    if (mean0 <= s.smallest() || mean0 > s.largest()) {
        groupLimit = 1;
        return result;
    }
    if (groupLimit <= 2) return result;
    LevelSimulation sim(diffs, s);
    groupLimit = sim.run(mean0, s.cut<true>(mean0), groupLimit);
    return result;
}

}  // namespace lumera
