#pragma once
#include <cstdint>
#include <vector>

namespace lumera::reference {

// The sort routine transcribed step by step, slow on purpose: the yardstick
// that every fast path is compared with. Arrays are 1-based (index 0 unused).
// groupLimit is the program-wide limit; 0 means "first call since start".
struct LiteralSortResult {
    std::vector<double> values;         // SortOutput[1..N]
    std::vector<std::int32_t> serials;  // SortOutputSerial[1..N]
};

LiteralSortResult literalQuickSort(const std::vector<double>& input, const std::vector<std::int32_t>& serials,
                                   std::int16_t& groupLimit);

}  // namespace lumera::reference
