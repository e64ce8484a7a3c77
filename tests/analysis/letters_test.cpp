#include "analysis/letters.h"

#include <gtest/gtest.h>

#include <random>
#include <stdexcept>
#include <string_view>
#include <utility>

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

TEST(LetterDisplay, RejectsANonSquareMatrix) {
    EXPECT_THROW(letterDisplay(Matrix{{false, true}, {true}}), std::invalid_argument);
}

}  // namespace
}  // namespace lumera::analysis
