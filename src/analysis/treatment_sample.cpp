#include "analysis/treatment_sample.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>
#include <utility>

#include "analysis/large_pages.h"
#include "analysis/order_key.h"
#include "analysis/power_scale.h"

namespace lumera::analysis {

std::vector<double> ascending(std::span<const double> values) {
    const std::size_t n = values.size();
    if (n < (std::size_t{1} << 15)) {
        std::vector<double> out(values.begin(), values.end());
        std::sort(out.begin(), out.end());
        return out;
    }
    // Four stable passes of 16 bits each, least significant first; a digit
    // every key shares is skipped. The keys live in the result's own storage
    // (copied in and out as bytes), to touch as little new memory as possible.
    constexpr int kDigits = 4, kBits = 16;
    constexpr std::size_t kBuckets = std::size_t{1} << kBits;
    auto load = [](const double* at) {
        std::uint64_t k;
        std::memcpy(&k, at, sizeof k);
        return k;
    };
    auto store = [](double* at, std::uint64_t k) { std::memcpy(at, &k, sizeof k); };
    std::vector<double> out = largeVector<double>(n), other = largeVector<double>(n);
    std::vector<std::size_t> counts(kDigits * kBuckets, 0);
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint64_t k = orderKey(values[i]);
        store(&out[i], k);
        for (int d = 0; d < kDigits; ++d) ++counts[d * kBuckets + ((k >> (d * kBits)) & (kBuckets - 1))];
    }
    double* from = out.data();
    double* to = other.data();
    for (int d = 0; d < kDigits; ++d) {
        std::size_t* c = &counts[d * kBuckets];
        if (c[(load(from) >> (d * kBits)) & (kBuckets - 1)] == n) continue;
        std::size_t start = 0;
        for (std::size_t b = 0; b < kBuckets; ++b) {
            const std::size_t size = c[b];
            c[b] = start;
            start += size;
        }
        for (std::size_t i = 0; i < n; ++i) {
            const std::uint64_t k = load(from + i);
            store(to + c[(k >> (d * kBits)) & (kBuckets - 1)]++, k);
        }
        std::swap(from, to);
    }
    for (std::size_t i = 0; i < n; ++i) out[i] = fromKey(load(from + i));
    return out;
}

MeanAndSe meanAndSe(std::span<const double> replicates) {
    MeanAndSe m;
    const auto b = static_cast<double>(replicates.size());
    // Operation order of the engine's treatment statistics with weights 1:
    // its mean decides the test's order and direction, so it must agree to the bit.
    double sum = 0;
    for (double x : replicates) sum += 1 * x;
    m.mean = sum / b;
    // Deviations near the ends of the double range are scaled before they
    // are squared, so that their squares neither vanish nor overflow.
    double widest = 0;
    if (!replicates.empty()) {
        const auto [low, high] = std::minmax_element(replicates.begin(), replicates.end());
        widest = std::max(std::fabs(*low - m.mean), std::fabs(*high - m.mean));
    }
    const int e = scaleExponent(widest);
    const double up = std::ldexp(1.0, e);
    double deviations = 0;
    for (double x : replicates) {
        const double dev = (x - m.mean) * up;
        deviations += dev * dev;
    }
    m.se = std::ldexp(std::sqrt(deviations / (b - 1)), -e);
    return m;
}

TreatmentSample makeSample(std::string name, std::string file, std::vector<double> replicates) {
    TreatmentSample t;
    t.name = std::move(name);
    t.file = std::move(file);
    t.replicates = std::move(replicates);
    t.sorted = ascending(t.replicates);
    const MeanAndSe m = meanAndSe(t.replicates);
    t.mean = m.mean;
    t.se = m.se;
    return t;
}

std::vector<std::size_t> exchangeOrder(const std::vector<double>& means, bool reversed) {
    std::vector<std::size_t> order(means.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::vector<double> m = means;
    for (std::size_t p = 0; p + 1 < m.size(); ++p)
        for (std::size_t q = p + 1; q < m.size(); ++q)
            if (reversed ? m[p] > m[q] : m[p] < m[q]) {
                std::swap(m[p], m[q]);
                std::swap(order[p], order[q]);
            }
    return order;
}

}  // namespace lumera::analysis
