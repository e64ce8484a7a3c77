#include "sorting/quick_sort.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstddef>
#include <functional>
#include <memory>
#include <stdexcept>
#include <utility>
#include <vector>

#include "shell/program.h"
#include "textio/both_cores.h"

namespace lumera {
namespace {

constexpr int kMaxLevel = 10;
constexpr std::int16_t kFirstGroupLimit = 1024;
// Up to this many distinct values a group is ranked by binary search instead
// of a full sort, which keeps heavily tied data linear in practice.
constexpr std::size_t kFewDistinct = 64;

// Below this size a comparison sort beats up to eight counting passes.
constexpr std::size_t kRadixFrom = 2048;

using Keyed = std::pair<std::uint64_t, std::uint32_t>;  // order key, local position

struct Group {
    std::size_t start = 0;
    std::size_t count = 0;
    double sum = 0;
};

// Reused between calls: the sort runs thousands of times per analysis.
struct Workspace {
    std::vector<double> val;
    std::vector<std::int32_t> ser;
    std::vector<double> plainVal, plainOutVal;
    std::vector<std::int32_t> plainSer, plainOutSer;
    std::vector<std::size_t> plainSlot;
    std::vector<std::uint64_t> distinct, smallBits;
    std::vector<std::uint16_t> smallCounts;
    std::vector<Keyed> keyed, keyedSpare;
    std::vector<std::uint64_t> packed, packedSpare;
    std::vector<std::uint32_t> rank, order, less, classStart, fill, seen, slots, target;
    std::vector<Group> groups, next;
};

Workspace& workspace() {
    thread_local Workspace w;
    return w;
}

template <typename T>
T* atLeast(std::vector<T>& v, std::size_t n) {
    if (v.size() < n) v.resize(n);
    return v.data();
}

// An unsigned key ordered like the doubles (NaN excluded). Both zeros get one
// key because the exchange sort treats them as equal.
std::uint64_t orderKey(double v) {
    if (v == 0) v = 0.0;
    const auto bits = std::bit_cast<std::uint64_t>(v);
    return (bits >> 63) != 0 ? ~bits : bits | (std::uint64_t{1} << 63);
}

// Splits src[start, start+count) at mean as the routine does: the upper part
// is filled from its end downward. Sums accumulate in visiting order; adding
// +0.0 for the other side leaves a sum unchanged, since a sum starting at +0.0
// can never become -0.0.
std::pair<Group, Group> split(const double* srcVal, const std::int32_t* srcSer, std::size_t start, std::size_t count,
                              double mean, double* dstVal, std::int32_t* dstSer) {
    std::ptrdiff_t lo = static_cast<std::ptrdiff_t>(start);
    std::ptrdiff_t hi = static_cast<std::ptrdiff_t>(start + count) - 1;
    double sumLo = 0, sumHi = 0;
    // Masks rather than branches: on random data the side is unpredictable.
    for (std::size_t i = start; i < start + count; ++i) {
        const double v = srcVal[i];
        const std::ptrdiff_t up = v >= mean;
        const std::ptrdiff_t pos = lo ^ ((lo ^ hi) & -up);
        dstVal[pos] = v;
        dstSer[pos] = srcSer[i];
        hi -= up;
        lo += 1 - up;
        const auto bits = std::bit_cast<std::uint64_t>(v);
        const auto upMask = static_cast<std::uint64_t>(-up);
        sumHi += std::bit_cast<double>(bits & upMask);
        sumLo += std::bit_cast<double>(bits & ~upMask);
    }
    const std::size_t lower = static_cast<std::size_t>(lo) - start;
    return {Group{start, lower, sumLo}, Group{start + lower, count - lower, sumHi}};
}

struct Fenwick {
    std::uint32_t* t;
    std::size_t n;
    void add(std::size_t i) {  // 1-based
        for (; i <= n; i += i & (~i + 1)) ++t[i];
    }
    std::uint32_t prefix(std::size_t i) const {  // sum of 1..i
        std::uint32_t s = 0;
        for (; i > 0; i &= i - 1) s += t[i];
        return s;
    }
};

// Free slots 0..c-1 for undoing the rotations; padded to a power of two so
// the descent needs no bound test and no branch on the data.
struct FreeSlots {
    std::uint32_t* t;
    std::size_t size;  // power of two
    FreeSlots(std::vector<std::uint32_t>& store, std::size_t c) : size(std::bit_ceil(c)) {
        t = atLeast(store, size + 1);
        for (std::size_t i = 1; i <= size; ++i) t[i] = static_cast<std::uint32_t>(i & (~i + 1));
    }
    // Takes the free slot of 0-based rank k. The nodes passed on the left
    // during the descent are exactly those that count the slot.
    std::size_t take(std::uint32_t k) {
        std::size_t pos = 0;
        std::uint32_t rem = k + 1;
        for (std::size_t step = size / 2; step != 0; step >>= 1) {
            const std::uint32_t below = t[pos + step];
            const std::uint32_t right = below < rem;
            t[pos + step] = below - (1 - right);
            pos += step & (0 - static_cast<std::size_t>(right));
            rem -= below & (0 - right);
        }
        return pos;
    }
};

// Where the exchange sort leaves one class of equal values v. Seen only
// through the elements <= v, a pass either drops a leading smaller element or,
// when that view starts with v's, moves the first v onto the place of the
// first smaller element (the prefix-minimum chain passes through both). So,
// scanning the group in order, the class is a queue that each v joins at the
// back and that rotates by one at every smaller element met after its first v;
// once no smaller element is left, the passes take the v's in queue order.
// x holds the class's local positions ascending, less[k] the number of smaller
// elements before x[k], base the class's first output place (which is also
// its total of smaller elements). The rotations are undone backwards on a
// tree of free slots: O(c log c).
void placeClass(const std::uint32_t* x, const std::uint32_t* less, std::size_t c, std::uint32_t base,
                std::uint32_t* target, std::vector<std::uint32_t>& slotStore) {
    auto rotationAfter = [&](std::size_t k) -> std::uint32_t {  // k is the queue's size
        const std::uint32_t r = (k < c ? less[k] : base) - less[k - 1];
        return r < k ? r : static_cast<std::uint32_t>(r % k);
    };
    bool moves = false;
    for (std::size_t k = 2; k <= c && !moves; ++k) moves = rotationAfter(k) != 0;
    if (!moves) {
        for (std::size_t k = 0; k < c; ++k) target[x[k]] = base + static_cast<std::uint32_t>(k);
        return;
    }
    FreeSlots free(slotStore, c);
    std::uint32_t head = 0;  // rank of the queue's front among free slots
    for (std::size_t k = c; k >= 1; --k) {
        const auto size = static_cast<std::uint32_t>(k);
        const std::uint32_t rotation = rotationAfter(k);
        head = head >= rotation ? head - rotation : head + size - rotation;
        const std::uint32_t back = head == 0 ? size - 1 : head - 1;
        target[x[k - 1]] = base + static_cast<std::uint32_t>(free.take(back));
        head = back == size - 1 ? 0 : back;
    }
}

// Stable byte-wise sort of keys that start in position order, so equal keys
// stay in position order; bytes that are the same everywhere are skipped.
// key(element) gives an element's key, of `bytes` bytes.
template <typename T, typename Key>
void radixSortBy(T* data, T* spare, std::size_t g, int bytes, const Key& key) {
    std::array<std::array<std::uint32_t, 256>, 8> counts{};
    for (std::size_t p = 0; p < g; ++p) {
        const std::uint64_t k = key(data[p]);
        for (int b = 0; b < bytes; ++b) ++counts[b][(k >> (8 * b)) & 0xFF];
    }
    T* from = data;
    T* to = spare;
    for (int b = 0; b < bytes; ++b) {
        auto& c = counts[b];
        if (std::any_of(c.begin(), c.end(), [g](std::uint32_t n) { return n == g; })) continue;
        std::uint32_t sum = 0;
        for (std::uint32_t& n : c) sum += std::exchange(n, sum);
        for (std::size_t p = 0; p < g; ++p) to[c[(key(from[p]) >> (8 * b)) & 0xFF]++] = from[p];
        std::swap(from, to);
    }
    if (from != data) std::copy(from, from + g, data);
}

void radixSort(Keyed* data, Keyed* spare, std::size_t g) {
    radixSortBy(data, spare, g, 8, [](const Keyed& k) { return k.first; });
}

// Keys packed above their positions (`shift` bits): only the key's
// `keyBits` bits are sorted, half the bytes moved of a key and a position
// side by side.
void radixSortPacked(std::uint64_t* data, std::uint64_t* spare, std::size_t g, int shift, int keyBits) {
    radixSortBy(data, spare, g, (keyBits + 7) / 8, [shift](std::uint64_t w) { return w >> shift; });
}

// A sorted group's keys and positions, as pairs or packed in words.
struct PairView {
    const Keyed* keyed;
    std::uint64_t key(std::size_t t) const { return keyed[t].first; }
    std::uint32_t position(std::size_t t) const { return keyed[t].second; }
};

struct PackedView {
    const std::uint64_t* word;
    int shift;
    std::uint64_t key(std::size_t t) const { return word[t] >> shift; }
    std::uint32_t position(std::size_t t) const {
        return static_cast<std::uint32_t>(word[t] & ((std::uint64_t{1} << shift) - 1));
    }
};

// Reading in order and writing at random lets the loads run ahead.
void scatter(const double* val, const std::int32_t* ser, const std::uint32_t* target, double* outVal,
             std::int32_t* outSer, std::size_t g) {
    for (std::size_t p = 0; p < g; ++p) {
        outVal[target[p]] = val[p];
        outSer[target[p]] = ser[p];
    }
}

// Dense ranks by binary search when the group has few distinct values.
bool rankFewDistinct(Workspace& w, const double* val, std::size_t g, std::uint32_t* rank, std::size_t& d) {
    std::vector<std::uint64_t>& distinct = w.distinct;
    distinct.clear();
    std::uint64_t last = orderKey(val[0]);
    distinct.push_back(last);
    for (std::size_t p = 1; p < g; ++p) {
        const std::uint64_t key = orderKey(val[p]);
        if (key == last) continue;
        last = key;
        auto it = std::lower_bound(distinct.begin(), distinct.end(), key);
        if (it != distinct.end() && *it == key) continue;
        if (distinct.size() == kFewDistinct) return false;
        distinct.insert(it, key);
    }
    d = distinct.size();
    std::uint64_t lastKey = distinct[0];
    std::uint32_t lastRank = 0;
    for (std::size_t p = 0; p < g; ++p) {
        const std::uint64_t key = orderKey(val[p]);
        if (key != lastKey) {  // branch-free search: the next key is often unpredictable
            lastKey = key;
            const std::uint64_t* base = distinct.data();
            for (std::size_t len = d; len > 1; len -= len / 2) base = base[len / 2] <= key ? base + len / 2 : base;
            lastRank = static_cast<std::uint32_t>(base - distinct.data());
        }
        rank[p] = lastRank;
    }
    return true;
}

// Counts of positions taken, for groups of up to kMost: a bit a position,
// a count a 64 and a count a 1024 positions, so that taking one touches
// three counters (a tree touches fourteen, each waiting for the taking
// before to pass through it) and counting is two short sums.
struct SmallCounts {
    static constexpr std::size_t kMost = 16384;
    std::uint64_t* bits;
    std::uint16_t* word;
    std::uint16_t* kilo;
    static constexpr std::size_t kKilos = kMost / 1024;
    SmallCounts(std::vector<std::uint64_t>& bitStore, std::vector<std::uint16_t>& countStore, std::size_t g) {
        // Whole blocks of sixteen counts, so that each sum is one fixed,
        // masked sum of sixteen: no loop whose end the processor guesses.
        const std::size_t words = (g + 1023) / 1024 * 16;
        bits = atLeast(bitStore, words);
        word = atLeast(countStore, words + kKilos);
        kilo = word + words;
        std::fill(bits, bits + words, 0);
        std::fill(word, word + words + kKilos, 0);
    }
    void take(std::size_t p) {
        bits[p >> 6] |= std::uint64_t{1} << (p & 63);
        ++word[p >> 6];
        ++kilo[p >> 10];
    }
    // Positions taken below p.
    std::uint32_t below(std::size_t p) const {
        const std::size_t kilos = p >> 10, words = (p >> 6) & 15;
        const std::uint16_t* block = word + (kilos << 4);
        std::uint32_t n = 0;
        for (std::size_t k = 0; k < kKilos; ++k) n += k < kilos ? kilo[k] : 0u;
        for (std::size_t k = 0; k < 16; ++k) n += k < words ? block[k] : 0u;
        return n + static_cast<std::uint32_t>(std::popcount(bits[p >> 6] & ((std::uint64_t{1} << (p & 63)) - 1)));
    }
};

struct FenwickCounts {
    Fenwick tree;
    FenwickCounts(std::uint32_t* t, std::size_t g) : tree{t, g} { std::fill(t, t + g + 1, 0u); }
    void take(std::size_t p) { tree.add(p + 1); }
    std::uint32_t below(std::size_t p) const { return tree.prefix(p); }
};

// The classes are the runs of equal keys in sorted order, each run's
// positions ascending. Taken in that order, the values smaller than a class
// are those already met, so counts over positions give the smaller ones
// before each member; a value without equals needs no count, and nothing
// after the last run of equals is counted at all.
template <typename Counts, typename View>
void placeRuns(Counts seen, const View& keyed, std::size_t g, std::size_t lastTie, std::uint32_t* order,
               std::uint32_t* less, std::uint32_t* target, std::vector<std::uint32_t>& slots) {
    for (std::size_t t = 0; t < g;) {
        std::size_t end = t + 1;
        while (end < g && keyed.key(end) == keyed.key(t)) ++end;
        const auto base = static_cast<std::uint32_t>(t);
        if (end - t == 1) {
            target[keyed.position(t)] = base;
        } else {
            for (std::size_t u = t; u < end; ++u) {
                order[u] = keyed.position(u);
                less[u] = seen.below(keyed.position(u));
            }
            placeClass(order + t, less + t, end - t, base, target, slots);
        }
        if (end < lastTie)
            for (std::size_t u = t; u < end; ++u) seen.take(keyed.position(u));
        t = end;
    }
}

// Where the exchange sort leaves each value of a group, from its keys in
// sorted order.
template <typename View>
void placeKeyedClasses(Workspace& w, const View& keyed, std::size_t g) {
    std::uint32_t* order = atLeast(w.order, g);
    std::uint32_t* less = atLeast(w.less, g);
    std::uint32_t* target = atLeast(w.target, g);
    std::size_t lastTie = 0;  // one past the last run of equals
    for (std::size_t t = 1; t < g; ++t)
        if (keyed.key(t) == keyed.key(t - 1)) lastTie = t + 1;
    if (lastTie == 0) {  // nothing for the exchange sort to reorder
        for (std::size_t t = 0; t < g; ++t) target[keyed.position(t)] = static_cast<std::uint32_t>(t);
        return;
    }
    if (g <= SmallCounts::kMost)
        placeRuns(SmallCounts(w.smallBits, w.smallCounts, g), keyed, g, lastTie, order, less, target, w.slots);
    else
        placeRuns(FenwickCounts(atLeast(w.seen, g + 1), g), keyed, g, lastTie, order, less, target, w.slots);
}

// The exchange sort's outcome for a group without NaN.
inline void sortPlainGroupOn(Workspace& w, const double* val, const std::int32_t* ser, double* outVal,
                             std::int32_t* outSer, std::size_t g) {
    if (g == 0) return;
    std::uint32_t* rank = atLeast(w.rank, g);
    std::size_t d = 0;
    if (!rankFewDistinct(w, val, g, rank, d)) {
        // A group's values mostly lie close together: their keys' offsets
        // from the smallest, above the position, fit in one word.
        std::uint64_t* packed = atLeast(w.packed, g);
        std::uint64_t least = ~std::uint64_t{0}, most = 0;
        for (std::size_t p = 0; p < g; ++p) {
            packed[p] = orderKey(val[p]);
            least = std::min(least, packed[p]);
            most = std::max(most, packed[p]);
        }
        const int shift = std::bit_width(g - 1);
        const int keyBits = std::bit_width(most - least);
        if (keyBits + shift <= 64) {
            for (std::size_t p = 0; p < g; ++p) packed[p] = ((packed[p] - least) << shift) | p;
            if (g < kRadixFrom)
                std::sort(packed, packed + g);
            else
                radixSortPacked(packed, atLeast(w.packedSpare, g), g, shift, keyBits);
            placeKeyedClasses(w, PackedView{packed, shift}, g);
        } else {
            auto* keyed = atLeast(w.keyed, g);
            for (std::size_t p = 0; p < g; ++p) keyed[p] = {packed[p], static_cast<std::uint32_t>(p)};
            if (g < kRadixFrom)
                std::sort(keyed, keyed + g);
            else
                radixSort(keyed, atLeast(w.keyedSpare, g), g);
            placeKeyedClasses(w, PairView{keyed}, g);
        }
        scatter(val, ser, w.target.data(), outVal, outSer, g);
        return;
    }

    std::uint32_t* classStart = atLeast(w.classStart, d + 1);
    std::fill(classStart, classStart + d + 1, 0u);
    for (std::size_t p = 0; p < g; ++p) ++classStart[rank[p] + 1];
    for (std::size_t r = 0; r < d; ++r) classStart[r + 1] += classStart[r];
    std::uint32_t* fill = atLeast(w.fill, d);
    std::copy(classStart, classStart + d, fill);
    // Each class's positions in ascending order, with the count of smaller
    // values before each, kept in class order so the placement reads them in
    // sequence.
    std::uint32_t* order = atLeast(w.order, g);
    std::uint32_t* less = atLeast(w.less, g);
    Fenwick seen{atLeast(w.seen, d + 1), d};
    std::fill(seen.t, seen.t + d + 1, 0u);
    for (std::size_t p = 0; p < g; ++p) {
        const std::uint32_t r = rank[p];
        const std::uint32_t t = fill[r]++;
        order[t] = static_cast<std::uint32_t>(p);
        // A value without equals goes to its class's place whatever precedes it.
        if (classStart[r + 1] - classStart[r] > 1) less[t] = seen.prefix(r);
        seen.add(r + 1);
    }
    std::uint32_t* target = atLeast(w.target, g);
    for (std::size_t r = 0; r < d; ++r) {
        const std::uint32_t base = classStart[r];
        placeClass(order + base, less + base, classStart[r + 1] - base, base, target, w.slots);
    }
    scatter(val, ser, target, outVal, outSer, g);
}

#if defined(__x86_64__)
// The same built for processors with AVX2 and the bit-count instruction,
// which the counts of positions taken use at every tied value.
__attribute__((target("avx2,popcnt,bmi,bmi2"), flatten)) void sortPlainGroupAvx2(Workspace& w, const double* val,
                                                                                 const std::int32_t* ser,
                                                                                 double* outVal, std::int32_t* outSer,
                                                                                 std::size_t g) {
    sortPlainGroupOn(w, val, ser, outVal, outSer, g);
}
#endif

void sortPlainGroup(Workspace& w, const double* val, const std::int32_t* ser, double* outVal, std::int32_t* outSer,
                    std::size_t g) {
#if defined(__x86_64__)
    static const bool avx2 = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("popcnt") &&
                             __builtin_cpu_supports("bmi") && __builtin_cpu_supports("bmi2");
    if (avx2) return sortPlainGroupAvx2(w, val, ser, outVal, outSer, g);
#endif
    sortPlainGroupOn(w, val, ser, outVal, outSer, g);
}

// The exchange sort never moves a NaN (every comparison with it is false), and
// a pass starting at a NaN does nothing; the other values are sorted among the
// remaining places as if the NaNs were absent.
void sortGroup(Workspace& w, const double* val, const std::int32_t* ser, double* outVal, std::int32_t* outSer,
               std::size_t g) {
    const bool hasNaN = std::any_of(val, val + g, [](double v) { return std::isnan(v); });
    if (!hasNaN) {
        sortPlainGroup(w, val, ser, outVal, outSer, g);
        return;
    }
    double* pv = atLeast(w.plainVal, g);
    std::int32_t* ps = atLeast(w.plainSer, g);
    std::size_t* slot = atLeast(w.plainSlot, g);
    std::size_t m = 0;
    for (std::size_t p = 0; p < g; ++p) {
        if (std::isnan(val[p])) {
            outVal[p] = val[p];
            outSer[p] = ser[p];
        } else {
            pv[m] = val[p];
            ps[m] = ser[p];
            slot[m++] = p;
        }
    }
    double* ov = atLeast(w.plainOutVal, m);
    std::int32_t* os = atLeast(w.plainOutSer, m);
    sortPlainGroup(w, pv, ps, ov, os, m);
    for (std::size_t t = 0; t < m; ++t) {
        outVal[slot[t]] = ov[t];
        outSer[slot[t]] = os[t];
    }
}

// The first level's split of all n values, serials 1.. made from the
// positions when srcSer is null. On both cores one places the values while
// the other forms the two sums, each in input order as the routine does.
std::pair<Group, Group> splitFirst(const double* srcVal, const std::int32_t* srcSer, std::size_t n, double mean,
                                   double* dstVal, std::int32_t* dstSer, bool both) {
    if (!both && srcSer) return split(srcVal, srcSer, 0, n, mean, dstVal, dstSer);
    std::size_t lower = 0;
    auto place = [&] {
        std::ptrdiff_t lo = 0;
        std::ptrdiff_t hi = static_cast<std::ptrdiff_t>(n) - 1;
        for (std::size_t i = 0; i < n; ++i) {
            const double v = srcVal[i];
            const std::ptrdiff_t up = v >= mean;
            const std::ptrdiff_t pos = lo ^ ((lo ^ hi) & -up);
            dstVal[pos] = v;
            dstSer[pos] = srcSer ? srcSer[i] : static_cast<std::int32_t>(i + 1);
            hi -= up;
            lo += 1 - up;
        }
        lower = static_cast<std::size_t>(lo);
    };
    double sumLo = 0, sumHi = 0;
    auto sums = [&] {
        for (std::size_t i = 0; i < n; ++i) {
            const double v = srcVal[i];
            const auto bits = std::bit_cast<std::uint64_t>(v);
            const auto upMask = static_cast<std::uint64_t>(-static_cast<std::int64_t>(v >= mean));
            sumHi += std::bit_cast<double>(bits & upMask);
            sumLo += std::bit_cast<double>(bits & ~upMask);
        }
    };
    if (both) {
        onBothCores(sums, place);
    } else {
        place();
        sums();
    }
    return {Group{0, lower, sumLo}, Group{lower, n - lower, sumHi}};
}

// Runs work(k) for k = 0..count-1, on both cores when `both`; the items are
// taken in order from one counter, so a slow item holds up no other. Only
// this thread calls `between` (after each of its items), which may throw to
// stop both.
template <typename Work>
void forEachItem(std::size_t count, bool both, const Work& work, const std::function<void(std::size_t)>& between) {
    if (!both) {
        for (std::size_t k = 0; k < count; ++k) {
            work(k);
            if (between) between(k + 1);
        }
        return;
    }
    std::atomic<std::size_t> next{0};
    std::atomic<bool> stop{false};
    onBothCores(
        [&] {
            try {
                for (std::size_t k; (k = next.fetch_add(1)) < count;) {
                    work(k);
                    if (between) between(std::min(next.load(), count));
                }
            } catch (...) {
                stop = true;
                throw;
            }
        },
        [&] {
            for (std::size_t k; !stop && (k = next.fetch_add(1)) < count;) work(k);
        });
}

struct Arrays {
    const double* in;
    const std::int32_t* inSerial;  // null: 1..n
    double* spareVal;
    std::int32_t* spareSer;
    double* out;
    std::int32_t* outSer;
    std::size_t n;
};

void sortArrays(const Arrays& a, std::int16_t& groupLimit, const SortSteps& steps) {
    const std::size_t n = a.n;
    double total = 0;
    if (steps.total)
        total = *steps.total;
    else
        for (std::size_t i = 0; i < n; ++i) total = total + a.in[i];
    const double mean0 = total / static_cast<double>(n);
    if (groupLimit == 0) groupLimit = kFirstGroupLimit;
    const bool both = n >= steps.parallelFrom;
    // Levels and groups share the sort's progress about evenly.
    auto told = [&](double share) {
        if (steps.progress) steps.progress(share);
    };

    Workspace& w = workspace();
    double* bufVal[2] = {a.out, a.spareVal};
    std::int32_t* bufSer[2] = {a.outSer, a.spareSer};
    std::vector<Group>& groups = w.groups;
    std::vector<Group>& next = w.next;

    auto [lower, upper] = splitFirst(a.in, a.inSerial, n, mean0, bufVal[0], bufSer[0], both);
    groups.assign({lower, upper});
    told(0.05);
    int current = 0;  // buffer holding the last level kept
    if (lower.count == 0 || upper.count == 0) {
        groupLimit = 1;
    } else if (groupLimit > 2) {
        for (int k = 2; k <= kMaxLevel; ++k) {
            next.resize(2 * groups.size());
            const int from = current;
            forEachItem(groups.size(), both,
                        [&](std::size_t g) {
                            const Group& group = groups[g];
                            auto [lo, hi] =
                                split(bufVal[from], bufSer[from], group.start, group.count,
                                      group.sum / static_cast<double>(group.count), bufVal[1 - from], bufSer[1 - from]);
                            next[2 * g] = lo;
                            next[2 * g + 1] = hi;
                        },
                        {});
            const bool empty = std::any_of(next.begin(), next.end(), [](const Group& g) { return g.count == 0; });
            if (empty) {
                groupLimit = static_cast<std::int16_t>(1 << (k - 1));
                break;
            }
            current = 1 - current;
            groups.swap(next);
            told(0.05 + 0.05 * (k - 1));
            if (k == kMaxLevel || groupLimit <= (1 << k)) break;
        }
    }

    if (current == 0) {  // the last level sits in the output itself
        std::copy(a.out, a.out + n, bufVal[1]);
        std::copy(a.outSer, a.outSer + n, bufSer[1]);
    }
    told(0.5);
    const std::size_t count = groups.size();
    forEachItem(
        count, both,
        [&](std::size_t g) {
            const Group& group = groups[g];
            sortGroup(workspace(), bufVal[1] + group.start, bufSer[1] + group.start, a.out + group.start,
                      a.outSer + group.start, group.count);
        },
        [&](std::size_t done) { told(0.5 + 0.5 * static_cast<double>(done) / static_cast<double>(count)); });
}

}  // namespace

void sortWithSerials(std::span<const double> in, std::span<const std::int32_t> inSerial, std::span<double> out,
                     std::span<std::int32_t> outSerial, std::int16_t& groupLimit, const SortSteps& steps) {
    const std::size_t n = in.size();
    if (inSerial.size() < n || out.size() < n || outSerial.size() < n)
        throw std::invalid_argument("sortWithSerials: arrays shorter than the values");
    Workspace& w = workspace();
    sortArrays({in.data(), inSerial.data(), atLeast(w.val, n), atLeast(w.ser, n), out.data(), outSerial.data(), n},
               groupLimit, steps);
}

void sortSpendingInput(std::span<double> in, std::span<double> out, std::span<std::int32_t> outSerial,
                       std::int16_t& groupLimit, const SortSteps& steps) {
    const std::size_t n = in.size();
    if (out.size() < n || outSerial.size() < n)
        throw std::invalid_argument("sortSpendingInput: arrays shorter than the values");
    // Left unset: every element is written before it is read.
    const std::unique_ptr<std::int32_t[]> spareSer(new std::int32_t[n]);
    sortArrays({in.data(), nullptr, in.data(), spareSer.get(), out.data(), outSerial.data(), n}, groupLimit, steps);
}

void QuickSort(Program& program) {
    RunState& s = program.state();
    if (s.FlowRecord == Flag::Yes && s.SortAndCountUsed != Flag::Yes) program.writeFlowLine("Sub QuickSort");
    const std::size_t n = s.SortCount > 0 ? static_cast<std::size_t>(s.SortCount) : 0;
    if (n > 0 && s.SortInput.size() < n + 1) throw std::out_of_range("QuickSort: SortInput shorter than SortCount");
    if (s.SortOutput.size() < n + 1) s.SortOutput.resize(n + 1);
    if (s.SortOutputSerial.size() < n + 1) s.SortOutputSerial.resize(n + 1);
    auto positionsOneToN = [n]<typename T>(std::vector<T>& v) { return std::span<T>(v.data() + (n > 0), n); };

    std::span<const std::int32_t> serials;
    thread_local std::vector<std::int32_t> ascending;
    if (s.SortInputSerial.size() >= n + 1) {
        serials = positionsOneToN(s.SortInputSerial);
    } else {  // callers that ignore serials leave them out
        for (std::size_t i = ascending.size(); i < n; ++i) ascending.push_back(static_cast<std::int32_t>(i + 1));
        serials = std::span<const std::int32_t>(ascending.data(), n);
    }
    sortWithSerials(positionsOneToN(s.SortInput), serials, positionsOneToN(s.SortOutput),
                    positionsOneToN(s.SortOutputSerial), s.GroupLimit);
}

}  // namespace lumera
