#include "sorting/quick_sort.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <random>
#include <sstream>

#include "app/commands.h"
#include "reference/literal_quick_sort.h"
#include "shell/program.h"
#include "support/fake_services.h"
#include "support/scripted_dialogs.h"

namespace lumera {
namespace {

using Values = std::vector<double>;
using Serials = std::vector<std::int32_t>;

std::pair<Values, Serials> fastSort(const Values& values, const Serials& serials, std::int16_t& limit) {
    std::pair<Values, Serials> r{Values(values.size()), Serials(values.size())};
    sortWithSerials(values, serials, r.first, r.second, limit);
    return r;
}

// Same limit left behind, bit-equal values (NaN matching NaN), same serials.
::testing::AssertionResult sameAsLiteral(const Values& values, const Serials& serials, std::int16_t& fastLimit,
                                         std::int16_t& literalLimit) {
    Values in{0.0};
    Serials ser{0};
    in.insert(in.end(), values.begin(), values.end());
    ser.insert(ser.end(), serials.begin(), serials.end());
    const auto want = reference::literalQuickSort(in, ser, literalLimit);
    const auto [got, gotSerials] = fastSort(values, serials, fastLimit);
    if (fastLimit != literalLimit)
        return ::testing::AssertionFailure() << "limit " << fastLimit << " not " << literalLimit;
    for (std::size_t i = 0; i < values.size(); ++i) {
        const double a = got[i], b = want.values[i + 1];
        const bool same =
            std::isnan(a) ? std::isnan(b) : std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
        if (!same || gotSerials[i] != want.serials[i + 1])
            return ::testing::AssertionFailure() << "place " << i + 1 << ": " << a << " #" << gotSerials[i] << " not "
                                                 << b << " #" << want.serials[i + 1];
    }
    return ::testing::AssertionSuccess();
}

using Generator = std::function<double(std::mt19937_64&, int i, int n)>;

std::vector<std::pair<const char*, Generator>> generators() {
    auto below = [](std::mt19937_64& r, int k) { return static_cast<int>(r() % static_cast<unsigned>(k)); };
    constexpr double inf = std::numeric_limits<double>::infinity();
    return {
        {"four integers", [=](auto& r, int, int) { return 1.0 * below(r, 4); }},
        {"21 integers", [=](auto& r, int, int) { return 1.0 * below(r, 21); }},
        {"all equal", [](auto&, int, int) { return 2.5; }},
        {"ascending", [](auto&, int i, int) { return 1.0 * i; }},
        {"descending", [](auto&, int i, int n) { return 1.0 * (n - i); }},
        {"descending runs with ties", [=](auto& r, int i, int n) { return std::floor((n - i) / 7.0) + below(r, 2); }},
        {"uniform", [](auto& r, int, int) { return std::uniform_real_distribution<double>(-1, 1)(r); }},
        {"mixed magnitudes", [=](auto& r, int, int) { return std::ldexp(below(r, 5) - 2.0, below(r, 80) - 40); }},
        {"tenths", [=](auto& r, int, int) { return below(r, 30) * 0.1; }},
        {"1 and 1+2^-52", [=](auto& r, int, int) { return below(r, 2) ? 1.0 : 1.0 + std::ldexp(1.0, -52); }},
        {"signed zeros, infinities",
         [=](auto& r, int, int) { return Values{0.0, -0.0, 1, -1, inf, -inf}[below(r, 6)]; }},
        {"a NaN among integers",
         [=](auto& r, int, int) { return below(r, 50) == 0 ? std::nan("") : 1.0 * below(r, 3); }},
    };
}

// Checks one input of size n from each generator, starting from each limit.
void expectLiteralOutcome(std::mt19937_64& random, int n, std::initializer_list<std::int16_t> limits) {
    for (const auto& [name, next] : generators()) {
        for (std::int16_t start : limits) {
            Values values(n);
            Serials serials(n);
            for (int i = 0; i < n; ++i) {
                values[i] = next(random, i, n);
                serials[i] = 1000 + 3 * i;
            }
            std::int16_t fast = start, literal = start;
            EXPECT_TRUE(sameAsLiteral(values, serials, fast, literal)) << name << ", n " << n << ", from " << start;
        }
    }
}

TEST(QuickSortTest, MatchesTheLiteralStepsOnManyInputs) {
    std::mt19937_64 random(20240611);
    for (int n : {1, 2, 3, 4, 7, 31, 200, 1500})
        expectLiteralOutcome(random, n, {0, 1024, 512, 256, 128, 64, 32, 16, 8, 4, 2, 1});
}

TEST(QuickSortTest, MatchesTheLiteralInLargeGroups) {
    // Low limits keep thousands of values per group: ties travel furthest.
    std::mt19937_64 random(77);
    expectLiteralOutcome(random, 6500, {1, 2});
}

// On both cores (every size), and with the input spent as work space and
// the serials made from positions, the outcome is the single-core one.
TEST(QuickSortTest, BothCoresAndTheSpentInputGiveTheSameOutcome) {
    std::mt19937_64 random(404);
    SortSteps both;
    both.parallelFrom = 0;
    int told = 0;
    both.progress = [&](double share) {
        EXPECT_GE(share, 0.0);
        EXPECT_LE(share, 1.0);
        ++told;
    };
    for (const auto& [name, next] : generators()) {
        for (int n : {1, 2, 9, 300, 5000}) {
            for (std::int16_t start : {0, 1024, 16, 2}) {
                Values values(n);
                Serials positions(n);
                for (int i = 0; i < n; ++i) values[i] = next(random, i, n), positions[i] = i + 1;
                std::int16_t oneLimit = start, bothLimit = start, spentLimit = start;
                const auto one = fastSort(values, positions, oneLimit);
                std::pair<Values, Serials> onBoth{Values(n), Serials(n)}, spent{Values(n), Serials(n)};
                sortWithSerials(values, positions, onBoth.first, onBoth.second, bothLimit, both);
                Values input = values;
                sortSpendingInput(input, spent.first, spent.second, spentLimit, both);
                const std::string where = std::string(name) + ", n " + std::to_string(n);
                EXPECT_EQ(onBoth.second, one.second) << where;
                EXPECT_EQ(spent.second, one.second) << where;
                EXPECT_EQ(bothLimit, oneLimit) << where;
                EXPECT_EQ(spentLimit, oneLimit) << where;
                for (int i = 0; i < n; ++i) {
                    const auto bits = std::bit_cast<std::uint64_t>(one.first[i]);
                    ASSERT_EQ(std::bit_cast<std::uint64_t>(onBoth.first[i]), bits) << where << " at " << i;
                    ASSERT_EQ(std::bit_cast<std::uint64_t>(spent.first[i]), bits) << where << " at " << i;
                }
            }
        }
    }
    EXPECT_GT(told, 0);
}

// Large enough for both cores by default, with the ties of a pair's
// differences, against the literal steps.
TEST(QuickSortTest, MatchesTheLiteralOnBothCores) {
    std::mt19937_64 random(3000);
    const int n = 200000;
    Values values(n);
    Serials serials(n);
    std::normal_distribution<double> x(45.2, 3.1), y(44.1, 2.8);
    for (int i = 0; i < n; ++i)
        values[i] = std::round(x(random) * 1e3) / 1e3 - std::round(y(random) * 1e3) / 1e3, serials[i] = i + 1;
    std::int16_t fast = 0, literal = 0;
    EXPECT_TRUE(sameAsLiteral(values, serials, fast, literal));
    EXPECT_EQ(fast, 1024);
}

// Groups past the size counted a bit a position: a tree counts there.
TEST(QuickSortTest, MatchesTheLiteralInGroupsOfOverSixteenThousand) {
    std::mt19937_64 random(17);
    const int n = 36000;
    Values values(n);
    Serials serials(n);
    for (int i = 0; i < n; ++i) values[i] = static_cast<double>(random() % 5000), serials[i] = i + 1;
    std::int16_t fast = 2, literal = 2;
    EXPECT_TRUE(sameAsLiteral(values, serials, fast, literal));
}

// A progress that stops the sort stops it on both cores.
TEST(QuickSortTest, AProgressThatThrowsStopsTheSort) {
    const int n = 100000;
    Values values(n), out(n);
    Serials positions(n), outSerials(n);
    for (int i = 0; i < n; ++i) values[i] = (i * 7919) % 1000, positions[i] = i + 1;
    SortSteps steps;
    steps.parallelFrom = 0;
    struct Stop {};
    steps.progress = [](double share) {
        if (share > 0.5) throw Stop{};
    };
    std::int16_t limit = 0;
    EXPECT_THROW(sortWithSerials(values, positions, out, outSerials, limit, steps), Stop);
}

TEST(QuickSortTest, CallsShareOneLimitThatOnlyFalls) {
    std::mt19937_64 random(5);
    const auto all = generators();
    std::int16_t fast = 0, literal = 0, previous = 1024;
    for (int call = 0; call < 40; ++call) {
        const auto& [name, next] = all[random() % all.size()];
        const int n = 1 + static_cast<int>(random() % 600);
        Values values(n);
        Serials serials(n);
        for (int i = 0; i < n; ++i) values[i] = next(random, i, n), serials[i] = n - i;
        ASSERT_TRUE(sameAsLiteral(values, serials, fast, literal)) << "call " << call << ": " << name;
        EXPECT_LE(fast, previous);
        previous = fast;
    }
}

TEST(QuickSortTest, SmallExactCases) {
    std::int16_t limit = 0;
    EXPECT_EQ(fastSort({4.25}, {9}, limit), std::make_pair(Values{4.25}, Serials{9}));
    EXPECT_EQ(limit, 1);
    limit = 1024;
    EXPECT_EQ(fastSort({2, 1}, {1, 2}, limit), std::make_pair(Values{1, 2}, Serials{2, 1}));
    EXPECT_EQ(limit, 2);
    // Equal values average to themselves: all go up, filled from the end.
    limit = 1024;
    EXPECT_EQ(fastSort({0.5, 0.5, 0.5}, {1, 2, 3}, limit), std::make_pair(Values{0.5, 0.5, 0.5}, Serials{3, 2, 1}));
    EXPECT_EQ(limit, 1);
}

class QuickSortProgramTest : public ::testing::Test {
protected:
    QuickSortProgramTest() : program(dialogs, clock, random, std::filesystem::temp_directory_path().string()) {
        installCommands(program);
    }

    std::string flowAfterSort(Flag flowRecord, Flag sortAndCountUsed) {
        const auto path = std::filesystem::temp_directory_path() / "lumera_quick_sort_flow.txt";
        program.openFlowRecord(path.string());
        RunState& s = program.state();
        s.FlowRecord = flowRecord;
        s.SortAndCountUsed = sortAndCountUsed;
        s.SortCount = 2;
        s.SortInput = {0, 2, 1};
        QuickSort(program);
        program.closeAllFiles();
        std::stringstream text;
        text << std::ifstream(path, std::ios::binary).rdbuf();
        std::filesystem::remove(path);
        return text.str();
    }

    test::ScriptedDialogs dialogs;
    test::FakeClock clock;
    test::FakeRandom random;
    Program program;
};

TEST_F(QuickSortProgramTest, FlowLineOnlyWhenRecordingOutsideSortAndCount) {
    EXPECT_EQ(flowAfterSort(Flag::Yes, Flag::Unset), "Sub QuickSort\r\n");
    EXPECT_EQ(flowAfterSort(Flag::Yes, Flag::No), "Sub QuickSort\r\n");
    EXPECT_EQ(flowAfterSort(Flag::Yes, Flag::Yes), "");
    EXPECT_EQ(flowAfterSort(Flag::No, Flag::Unset), "");
}

TEST_F(QuickSortProgramTest, SortsTheRunStateArraysWithItsLimit) {
    RunState& s = program.state();
    s.SortCount = 4;
    s.SortInput = {0, 3, 1, 3, 2, 99};  // the last is beyond SortCount
    s.SortInputSerial = {0, 11, 12, 13, 14, 15};
    QuickSort(program);
    ASSERT_GE(s.SortOutput.size(), 5u);
    EXPECT_EQ(Values(s.SortOutput.begin() + 1, s.SortOutput.begin() + 5), (Values{1, 2, 3, 3}));
    // The 3s stay in reverse visiting order; their split finds nothing below
    // 3, so the limit falls to 2.
    EXPECT_EQ(Serials(s.SortOutputSerial.begin() + 1, s.SortOutputSerial.begin() + 5), (Serials{12, 14, 13, 11}));
    EXPECT_EQ(s.GroupLimit, 2);

    // Without serials from the caller, positions stand in for them.
    s.SortInputSerial.clear();
    s.SortCount = 2;
    s.SortInput = {0, 2, 1};
    QuickSort(program);
    EXPECT_EQ(s.SortOutputSerial[1], 2);
    EXPECT_EQ(s.SortOutputSerial[2], 1);
}

}  // namespace
}  // namespace lumera
