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

// Insert-and-absorb can hold 2^(k/2) groups (k treatments each differing
// from one other). Past `groupBound` groups held at once the groups come
// from a greedy cover by cliques of the pairs that do not differ instead,
// in polynomial time: the same defining property, the same sweep and
// naming, ties broken by treatment position; possibly more letters.
enum class LettersMethod { InsertAbsorb, CliqueCover };
inline constexpr std::size_t kLetterGroupBound = 4096;
struct LetterDisplay {
    std::vector<std::string> letters;
    std::vector<std::vector<std::size_t>> groups;  // each name's members, in the order of the names
    LettersMethod method = LettersMethod::InsertAbsorb;
};
LetterDisplay letterDisplayWithMethod(const std::vector<std::vector<bool>>& differ,
                                      std::size_t groupBound = kLetterGroupBound);

}  // namespace lumera::analysis
