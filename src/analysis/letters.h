#pragma once
#include <string>
#include <vector>

namespace lumera::analysis {

// A compact letter display of k treatments by insert-and-absorb:
// differ[i][j] (symmetric, i != j) says treatments i and j differ
// significantly. Two treatments share a letter exactly when they do not
// differ, and no letter can be dropped. Letter groups are ordered by their
// lists of member positions compared as sequences and named a..z, A..Z,
// then on past 52 as documented with the implementation. Returns each
// treatment's letters in alphabetical order of the names given.
std::vector<std::string> letterDisplay(const std::vector<std::vector<bool>>& differ);

}  // namespace lumera::analysis
