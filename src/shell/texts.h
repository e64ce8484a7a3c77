#pragma once
#include <array>
#include <string>

namespace lumera {

// Texts of our own that the windows show.
inline constexpr int kQuotationCount = 28;
extern const std::array<const char*, kQuotationCount> kQuotations;
extern const std::array<const char*, 4> kFarewellQuotations;  // numbered 1 to 4 at [0..3]
extern const char* const kContactText;
extern const char* const kNoticeText;

}  // namespace lumera
