#pragma once
#include <string>
#include <vector>

namespace lumera::reference {

// The letter display as it was before insert-and-absorb had a bound: every
// split absorbed against every column, no fallback. The yardstick for the
// letters shown under the bound, which must not change.
std::vector<std::string> unboundedLetters(const std::vector<std::vector<bool>>& differ);

}  // namespace lumera::reference
