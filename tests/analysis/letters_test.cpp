#include "analysis/letters.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <stdexcept>
#include <string_view>
#include <utility>

#include "reference/unbounded_letters.h"

namespace lumera::analysis {
namespace {

using Matrix = std::vector<std::vector<bool>>;
using Letters = std::vector<std::string>;

constexpr std::string_view kAlphabet = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";

// Pairs by 0-based position.
Matrix differing(std::size_t k, std::vector<std::pair<std::size_t, std::size_t>> pairs) {
    Matrix d(k, std::vector<bool>(k, false));
    for (auto [i, j] : pairs) d[i][j] = d[j][i] = true;
    return d;
}

Matrix allDiffer(std::size_t k) {
    Matrix d(k, std::vector<bool>(k, true));
    for (std::size_t i = 0; i < k; ++i) d[i][i] = false;
    return d;
}

// The checks below read single-character names, so a display needing more
// than 52 groups shows up as a repeated letter in (c).
bool share(const std::string& a, const std::string& b) { return a.find_first_of(b) != std::string::npos; }

::testing::AssertionResult sharesExactly(const Matrix& d, const Letters& s) {
    for (std::size_t i = 0; i < s.size(); ++i)
        if (s[i].empty()) return ::testing::AssertionFailure() << "treatment " << i << " has no letter";
    for (std::size_t i = 0; i < s.size(); ++i)
        for (std::size_t j = i + 1; j < s.size(); ++j)
            if (share(s[i], s[j]) == d[i][j])
                return ::testing::AssertionFailure()
                       << i << " \"" << s[i] << "\" and " << j << " \"" << s[j] << "\" differ: " << d[i][j];
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult noLetterSpare(const Matrix& d, const Letters& s) {
    for (char letter : kAlphabet) {
        Letters without = s;
        bool used = false;
        for (auto& t : without) used |= std::erase(t, letter) > 0;
        if (used && sharesExactly(d, without))
            return ::testing::AssertionFailure() << "letter " << letter << " can be dropped";
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult namedInOrder(const Letters& s) {
    std::vector<std::vector<std::size_t>> groups(kAlphabet.size());
    for (std::size_t t = 0; t < s.size(); ++t) {
        std::size_t previous = 0;
        for (std::size_t p = 0; p < s[t].size(); ++p) {
            const std::size_t n = kAlphabet.find(s[t][p]);
            if (n == std::string_view::npos || (p > 0 && n <= previous))
                return ::testing::AssertionFailure() << "treatment " << t << " letters \"" << s[t] << "\"";
            groups[n].push_back(t);
            previous = n;
        }
    }
    std::size_t used = 0;
    while (used < groups.size() && !groups[used].empty()) ++used;
    for (std::size_t n = used; n < groups.size(); ++n)
        if (!groups[n].empty()) return ::testing::AssertionFailure() << "letter " << kAlphabet[n] << " after a gap";
    for (std::size_t n = 1; n < used; ++n)
        if (!(groups[n - 1] < groups[n]))
            return ::testing::AssertionFailure() << "group " << kAlphabet[n - 1] << " not before " << kAlphabet[n];
    return ::testing::AssertionSuccess();
}

TEST(LetterDisplay, HoldsItsPropertiesOverRandomPatterns) {
    std::mt19937 rng(20040456);
    constexpr int kPatterns = 300;
    for (std::size_t k = 1; k <= 12; ++k) {
        for (int n = 0; n < kPatterns; ++n) {
            std::bernoulli_distribution differs(static_cast<double>(n) / (kPatterns - 1));
            Matrix d(k, std::vector<bool>(k, false));
            for (std::size_t i = 0; i < k; ++i)
                for (std::size_t j = i + 1; j < k; ++j) d[i][j] = d[j][i] = differs(rng);
            const Letters s = letterDisplay(d);
            ASSERT_EQ(s.size(), k);
            ASSERT_TRUE(sharesExactly(d, s)) << "k " << k << " pattern " << n;
            ASSERT_TRUE(noLetterSpare(d, s)) << "k " << k << " pattern " << n;
            ASSERT_TRUE(namedInOrder(s)) << "k " << k << " pattern " << n;
        }
    }
}

TEST(LetterDisplay, WorkedExamples) {
    EXPECT_EQ(letterDisplay({}), Letters{});
    EXPECT_EQ(letterDisplay(differing(1, {})), Letters{"a"});
    EXPECT_EQ(letterDisplay(differing(4, {})), (Letters{"a", "a", "a", "a"}));
    EXPECT_EQ(letterDisplay(allDiffer(5)), (Letters{"a", "b", "c", "d", "e"}));
    EXPECT_EQ(letterDisplay(differing(3, {{0, 2}})), (Letters{"a", "ab", "b"}));
    // Given one way round only, a pair still differs.
    Matrix oneSided = differing(3, {});
    oneSided[2][0] = true;
    EXPECT_EQ(letterDisplay(oneSided), (Letters{"a", "ab", "b"}));
}

// Expected strings from an independent check: R's
// multcompView::multcompLetters run on the same patterns gave these.
TEST(LetterDisplay, AgreesWithAnIndependentCheck) {
    EXPECT_EQ(letterDisplay(differing(5, {{0, 2}, {0, 3}, {0, 4}, {1, 4}, {2, 4}})),
              (Letters{"a", "ab", "b", "bc", "c"}));
    EXPECT_EQ(
        letterDisplay(differing(7, {{0, 3}, {0, 4}, {0, 5}, {0, 6}, {1, 4}, {1, 6}, {2, 5}, {2, 6}, {3, 6}, {1, 5}})),
        (Letters{"a", "ab", "abc", "bcd", "cde", "de", "e"}));
}

// Treatments 0, 1, 2 differ from none of each other, and each of their pairs
// also shares a group with one more treatment. R's multcompLetters keeps the
// group {0, 1, 2} as well ("abc" "abd" "acd" "b" "c" "d"); every pair in it
// shares another letter, so here it goes.
TEST(LetterDisplay, DropsAGroupWhosePairsAllShareOtherLetters) {
    const Matrix d = differing(6, {{0, 5}, {1, 4}, {2, 3}, {3, 4}, {3, 5}, {4, 5}});
    EXPECT_EQ(letterDisplay(d), (Letters{"ab", "ac", "bc", "a", "b", "c"}));
}

TEST(LetterDisplay, NamesPast52GoOnWithTwoCharacters) {
    const Letters s = letterDisplay(allDiffer(60));
    ASSERT_EQ(s.size(), 60u);
    EXPECT_EQ(s[0], "a");
    EXPECT_EQ(s[26], "A");
    EXPECT_EQ(s[51], "Z");
    EXPECT_EQ(s[52], "aa");
    EXPECT_EQ(s[53], "ab");
    EXPECT_EQ(s[59], "ah");
}

// The defining property read from the groups' member lists, whatever the
// length of their names; and each treatment's string is its groups' names.
::testing::AssertionResult sharesExactlyByGroups(const Matrix& d, const LetterDisplay& r) {
    const std::size_t k = d.size();
    std::vector<std::vector<char>> shared(k, std::vector<char>(k, 0));
    std::vector<std::string> names(k);
    for (std::size_t g = 0; g < r.groups.size(); ++g) {
        const std::string name =
            g < 52 ? std::string(1, kAlphabet[g]) : std::string{kAlphabet[(g - 52) / 52], kAlphabet[(g - 52) % 52]};
        for (std::size_t a : r.groups[g]) {
            names[a] += name;
            for (std::size_t b : r.groups[g]) shared[a][b] = 1;
        }
    }
    if (names != r.letters) return ::testing::AssertionFailure() << "the strings are not the groups' names";
    for (std::size_t i = 0; i < k; ++i) {
        if (!shared[i][i]) return ::testing::AssertionFailure() << "treatment " << i << " has no letter";
        for (std::size_t j = i + 1; j < k; ++j)
            if (static_cast<bool>(shared[i][j]) == (d[i][j] || d[j][i]))
                return ::testing::AssertionFailure()
                       << i << " \"" << r.letters[i] << "\" and " << j << " \"" << r.letters[j] << "\"";
    }
    return ::testing::AssertionSuccess();
}

Matrix perfectMatching(std::size_t m) {
    std::vector<std::pair<std::size_t, std::size_t>> pairs;
    for (std::size_t p = 0; p < m; ++p) pairs.emplace_back(2 * p, 2 * p + 1);
    return differing(2 * m, pairs);
}

// Random patterns up to 30 treatments, dense and sparse: the display keeps
// its defining property whichever method made it; under the bound the
// letters are those shown before the bound existed; the clique cover
// forced on the same pattern keeps the property too and gives the same
// letters twice.
TEST(LetterDisplay, BoundedAndFallbackHoldThePropertyUpTo30Treatments) {
    std::mt19937 rng(181818);
    int fallbacks = 0;
    for (std::size_t k = 1; k <= 30; ++k) {
        for (int n = 0; n < 12; ++n) {
            // Sparse patterns (few differences) keep insert-and-absorb small;
            // dense ones near a matching make it grow.
            const double p = n < 6 ? 0.02 * n : 1 - 0.1 * (n - 6);
            std::bernoulli_distribution differs(p);
            Matrix d(k, std::vector<bool>(k, false));
            for (std::size_t i = 0; i < k; ++i)
                for (std::size_t j = i + 1; j < k; ++j) d[i][j] = d[j][i] = differs(rng);
            const LetterDisplay bounded = letterDisplayWithMethod(d);
            ASSERT_TRUE(sharesExactlyByGroups(d, bounded)) << "k " << k << " pattern " << n;
            if (bounded.method == LettersMethod::InsertAbsorb) {
                EXPECT_EQ(bounded.letters, reference::unboundedLetters(d)) << "k " << k;
            } else {
                ++fallbacks;
            }
            const LetterDisplay cover = letterDisplayWithMethod(d, 0);
            EXPECT_EQ(cover.method, LettersMethod::CliqueCover);
            ASSERT_TRUE(sharesExactlyByGroups(d, cover)) << "k " << k << " pattern " << n;
            EXPECT_EQ(cover.letters, letterDisplayWithMethod(d, 0).letters);
        }
    }
    // The patterns above stay under the bound; matchings below pass it.
    EXPECT_EQ(fallbacks, 0);
}

// 2m treatments, each differing from its partner only: insert-and-absorb
// holds 2^m groups, 4096 at m = 12 (kept), 8192 at m = 13 (the clique cover).
TEST(LetterDisplay, PerfectMatchingSwitchesToTheCliqueCoverPast4096Groups) {
    for (std::size_t m : {3u, 12u, 13u, 15u, 50u}) {
        SCOPED_TRACE(m);
        const Matrix d = perfectMatching(m);
        const LetterDisplay r = letterDisplayWithMethod(d);
        EXPECT_EQ(r.method, m <= 12 ? LettersMethod::InsertAbsorb : LettersMethod::CliqueCover);
        EXPECT_TRUE(sharesExactlyByGroups(d, r));
    }
    // Small enough to read: of the 2^3 triangles of the octahedron, four
    // cover its twelve edges and the sweep drops the others.
    EXPECT_EQ(letterDisplay(perfectMatching(3)), (Letters{"ab", "cd", "ac", "bd", "bc", "ad"}));
    // Forced, the cover of the same pattern: deterministic, ties by position.
    EXPECT_EQ(letterDisplayWithMethod(perfectMatching(2), 0).letters, (Letters{"ab", "cd", "ac", "bd"}));
}

TEST(LetterDisplay, RejectsANonSquareMatrix) {
    EXPECT_THROW(letterDisplay(Matrix{{false, true}, {true}}), std::invalid_argument);
}

}  // namespace
}  // namespace lumera::analysis
