#include "analysis/treatment_sample.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <utility>

namespace lumera::analysis {

TreatmentSample makeSample(std::string name, std::string file, std::vector<double> replicates) {
    TreatmentSample t;
    t.name = std::move(name);
    t.file = std::move(file);
    t.replicates = std::move(replicates);
    t.sorted = t.replicates;
    std::sort(t.sorted.begin(), t.sorted.end());
    const auto b = static_cast<double>(t.replicates.size());
    // Operation order of the engine's treatment statistics with weights 1:
    // its mean decides the test's order and direction, so it must agree to the bit.
    double sum = 0;
    for (double x : t.replicates) sum += 1 * x;
    t.mean = sum / b;
    double deviations = 0;
    for (double x : t.replicates) {
        const double dev = x - t.mean;
        deviations += dev * dev;
    }
    t.se = std::sqrt(deviations / (b - 1));
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
