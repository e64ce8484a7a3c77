#pragma once
#include <string>
#include <vector>

namespace lumera::analysis {

// A compact letter display of k treatments by insert-and-absorb:
// differ[i][j] (symmetric, i != j) says treatments i and j differ
// significantly. Two treatments share a letter exactly when they do not
// differ, and no letter can be dropped. Letter groups are ordered by their
// lists of member positions compared as sequences and named a..z, A..Z;
// past 52 the names go on with two characters "aa", "ab", .., "aZ", "ba",
// .., "ZZ", then three, so that any number of groups gets names. Such
// names run together in a treatment's string; the list of names in order
// splits it. Returns each treatment's letters in the order of the names.
std::vector<std::string> letterDisplay(const std::vector<std::vector<bool>>& differ);

}  // namespace lumera::analysis
