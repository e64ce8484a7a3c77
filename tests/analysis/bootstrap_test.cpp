#include "analysis/bootstrap.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "textio/cohort_reader.h"

namespace lumera::analysis {
namespace {

// floor(u n / 2^64) from 32-bit halves, without a 128-bit type.
std::uint32_t highHalf(std::uint64_t u, std::uint32_t n) {
    const std::uint64_t low = (u & 0xffffffffu) * n, high = (u >> 32) * n;
    return static_cast<std::uint32_t>((high + (low >> 32)) >> 32);
}

Cohort parsed(const std::string& text) { return Cohort(parseCohort(text, "c.csv", "t")); }

const StatisticReplicates& named(const std::vector<StatisticReplicates>& all, const std::string& name) {
    for (const StatisticReplicates& s : all)
        if (s.name == name) return s;
    throw std::out_of_range(name);
}

// The standard fixes the whole sequence of the generator; this is the value
// it names for the 10,000th output of a default-constructed one.
TEST(BootstrapDraws, TheGeneratorIsTheStandardOne) {
    std::mt19937_64 generator;
    generator.discard(9999);
    EXPECT_EQ(generator(), 9981545732273789042ull);
    DrawGenerator draws(5489);
    for (int i = 1; i < 10000; ++i) draws();
    EXPECT_EQ(draws(), 9981545732273789042ull);
    // The draws' own generator gives the library's sequence, across many
    // refills of its state, for the seeds at the ends of the range too.
    for (const std::uint64_t seed : {std::uint64_t{0}, std::uint64_t{1}, std::uint64_t{42}, ~std::uint64_t{0}}) {
        std::mt19937_64 standard(seed);
        DrawGenerator mine(seed);
        int wrong = 0;
        for (int i = 0; i < 200000 && wrong < 3; ++i)
            if (mine() != standard()) ADD_FAILURE() << "seed " << seed << ", output " << i + 1 << (++wrong, "");
    }
}

// Made outside this program with an independent MT19937-64 in Python:
//   class MT64:
//       def __init__(self, seed):
//           self.mt = [0]*312; self.mt[0] = seed & (2**64-1)
//           for i in range(1, 312):
//               self.mt[i] = (6364136223846793005 * (self.mt[i-1] ^ (self.mt[i-1] >> 62)) + i) & (2**64-1)
//           self.i = 312
//       def next(self):
//           if self.i >= 312:
//               for k in range(312):
//                   y = (self.mt[k] & 0xFFFFFFFF80000000) | (self.mt[(k+1) % 312] & 0x7FFFFFFF)
//                   self.mt[k] = self.mt[(k+156) % 312] ^ (y >> 1) ^ (0xB5026F5AA96619E9 if y & 1 else 0)
//               self.i = 0
//           y = self.mt[self.i]; self.i += 1
//           y ^= (y >> 29) & 0x5555555555555555
//           y ^= (y << 17) & 0x71D67FFFEDA60000
//           y ^= (y << 37) & 0xFFF7EEE000000000
//           return y ^ (y >> 43)
//   g = MT64(3); print([g.next() * 7 >> 64 for _ in range(21)])
//   g = MT64(2**64-1); print([g.next() * 10 >> 64 for _ in range(10)])
// (it also gives 9981545732273789042 as the 10,000th output for seed 5489).
TEST(BootstrapDraws, FirstRowsForSmallSeedsAsComputedIndependently) {
    using Rows = std::vector<std::uint32_t>;
    // Seed 3, n = 7: replicates 1, 2 and 3 take the draws in turn.
    EXPECT_EQ(replicateRows(3, 7, 1), (Rows{3, 1, 4, 2, 3, 2, 5}));
    EXPECT_EQ(replicateRows(3, 7, 2), (Rows{2, 4, 1, 0, 4, 3, 6}));
    EXPECT_EQ(replicateRows(3, 7, 3), (Rows{1, 0, 1, 5, 6, 3, 2}));
    // The largest seed, n = 10.
    EXPECT_EQ(replicateRows(~std::uint64_t{0}, 10, 1), (Rows{0, 7, 0, 5, 9, 5, 2, 3, 0, 3}));
    // The row is the high half of u n: the extremes of u.
    EXPECT_EQ(drawnRow(0, 100), 0u);
    EXPECT_EQ(drawnRow(~std::uint64_t{0}, 100), 99u);
    EXPECT_EQ(drawnRow(std::uint64_t{1} << 63, 3), 1u);
    EXPECT_EQ(drawnRow((std::uint64_t{1} << 63) - 1, 2), 0u);
    EXPECT_EQ(cohortSeed(~std::uint64_t{0}, 2), 0u);
    EXPECT_EQ(cohortSeed(5, 3), 7u);
}

// Females laying different totals, a male, an N: R0 of a replicate is the
// eggs of the drawn rows over n.
const std::string kFive =
    "id,sex,egg,larva,adult,d1,d2,d3\n"
    "1,F,2,3,3,0,4,2\n"
    "2,F,2,2,2,3,1\n"
    "3,M,2,3,4\n"
    "4,N,2,1\n"
    "5,F,3,2,3,7,0,5\n";

TEST(Bootstrap, EveryReplicatesR0IsTheMeanEggsOfItsDrawnRows) {
    const Cohort cohort = parsed(kFive);
    const double eggs[] = {6, 4, 0, 0, 12};
    const double female[] = {1, 1, 0, 0, 1};
    BootstrapRequest request{.replicates = 20, .seed = 11, .threads = 1};
    const std::vector<StatisticReplicates> all = bootstrapCohort(cohort, request);
    const StatisticReplicates& R0 = named(all, "R0");
    const StatisticReplicates& females = named(all, "proportion_female");
    ASSERT_EQ(R0.values.size(), 20u);
    EXPECT_EQ(R0.leftOut, 0u);
    EXPECT_DOUBLE_EQ(*R0.estimate, 22.0 / 5);
    // The draws by hand: the generator's outputs taken in order, 5 a replicate.
    std::mt19937_64 generator(11);
    for (int b = 0; b < 20; ++b) {
        double sum = 0, f = 0;
        for (int i = 0; i < 5; ++i) {
            const auto row = highHalf(generator(), 5);
            sum += eggs[row];
            f += female[row];
        }
        EXPECT_NEAR(R0.values[b], sum / 5, 1e-12) << "replicate " << b + 1;
        EXPECT_NEAR(females.values[b], f / 5, 1e-12) << "replicate " << b + 1;
    }
}

// Counted by brute force over the same draws: a replicate with no male, or
// no eggs, lacks the statistics that need them.
TEST(Bootstrap, ReplicatesLackingAStatisticAreLeftOutAndCounted) {
    // One male in ten and one laying female in ten: many replicates draw neither.
    std::string text = "id,sex,egg,adult,d1,d2\n1,M,2,3\n2,F,2,2,0,5\n";
    for (int i = 3; i <= 10; ++i) text += std::to_string(i) + ",N,1\n";
    const Cohort cohort = parsed(text);
    const std::uint64_t B = 400;
    const std::vector<StatisticReplicates> all = bootstrapCohort(cohort, {.replicates = B, .seed = 5, .threads = 2});
    std::uint64_t noMale = 0, noFemale = 0;
    std::mt19937_64 generator(5);
    for (std::uint64_t b = 0; b < B; ++b) {
        bool male = false, female = false;
        for (int i = 0; i < 10; ++i) {
            const auto row = highHalf(generator(), 10);
            male |= row == 0;
            female |= row == 1;
        }
        noMale += !male;
        noFemale += !female;
    }
    ASSERT_GT(noMale, 0u);
    ASSERT_GT(noFemale, 0u);
    const struct {
        const char* name;
        std::uint64_t leftOut;
        const char* reason;
    } cases[] = {
        {"longevity_male", noMale, "no male"},
        {"adult_longevity_male", noMale, "no male"},
        {"r", noFemale, "no eggs (R0 = 0)"},
        {"T", noFemale, "no eggs (R0 = 0)"},
        {"APOP", noFemale, "no female with eggs"},
        {"fecundity", noFemale, "no female"},
        {"R0", 0, ""},
        {"lambda", 0, ""},
        {"longevity_all", 0, ""},
    };
    for (const auto& c : cases) {
        const StatisticReplicates& s = named(all, c.name);
        EXPECT_EQ(s.leftOut, c.leftOut) << c.name;
        EXPECT_EQ(s.values.size() + s.leftOut, B) << c.name;
        EXPECT_EQ(s.leftOutReason, c.reason) << c.name;
    }
    // The replicates kept are those with the value, in replicate order: R0
    // is 0 exactly where r is left out, so lambda's zeros count the same.
    const StatisticReplicates& lambda = named(all, "lambda");
    EXPECT_EQ(static_cast<std::uint64_t>(std::count(lambda.values.begin(), lambda.values.end(), 0.0)), noFemale);
}

TEST(Bootstrap, TheSameForEveryNumberOfThreadsAndOnlyTheStatisticsAsked) {
    const Cohort cohort = parsed(kFive);
    const std::vector<StatisticReplicates> one = bootstrapCohort(cohort, {.replicates = 1001, .seed = 9, .threads = 1});
    for (unsigned threads : {2u, 3u, 7u, 0u}) {
        const std::vector<StatisticReplicates> many =
            bootstrapCohort(cohort, {.replicates = 1001, .seed = 9, .threads = threads});
        ASSERT_EQ(many.size(), one.size());
        for (std::size_t s = 0; s < one.size(); ++s) {
            EXPECT_EQ(many[s].name, one[s].name);
            EXPECT_EQ(many[s].values, one[s].values) << one[s].name << " with " << threads << " threads";
            EXPECT_EQ(many[s].leftOut, one[s].leftOut);
        }
    }
    const std::vector<StatisticReplicates> few = bootstrapCohort(
        cohort, {.replicates = 1001, .seed = 9, .threads = 2, .statistics = {"T", "r", "duration-larva"}});
    ASSERT_EQ(few.size(), 3u);  // in the order of all statistics
    EXPECT_EQ(few[0].name, "r");
    EXPECT_EQ(few[1].name, "T");
    EXPECT_EQ(few[2].name, "duration-larva");
    EXPECT_EQ(few[0].values, named(one, "r").values);
    EXPECT_EQ(few[2].values, named(one, "duration-larva").values);
    // Another seed, other replicates.
    const std::vector<StatisticReplicates> other =
        bootstrapCohort(cohort, {.replicates = 1001, .seed = 10, .threads = 2});
    EXPECT_NE(named(other, "R0").values, named(one, "R0").values);
}

TEST(Bootstrap, ProgressCountsEveryReplicate) {
    std::atomic<std::uint64_t> done{0};
    bootstrapCohort(parsed(kFive), {.replicates = 777, .seed = 1, .threads = 2, .done = &done});
    EXPECT_EQ(done.load(), 777u);
}

}  // namespace
// Arrays past the arena's room come from the heap, and each goes back where
// it came from (the sanitizer build catches a wrong free).
TEST(ArenaAllocator, TakesWhileThereIsRoomThenTheHeap) {
    const auto arena = std::make_shared<LargePageArena>(10 * sizeof(double));
    using Values = std::vector<double, ArenaAllocator<double>>;
    Values a{ArenaAllocator<double>(arena)}, b{ArenaAllocator<double>(arena)};
    a.reserve(8);
    b.reserve(8);
    EXPECT_TRUE(arena->holds(a.data()));
    EXPECT_FALSE(arena->holds(b.data()));
    a.assign({1, 2, 3});
    b.assign({4, 5});
    Values copy = a;
    EXPECT_FALSE(arena->holds(copy.data()));
    EXPECT_EQ(copy, a);
    b = std::move(a);
    EXPECT_TRUE(arena->holds(b.data()));
    EXPECT_EQ(b, copy);
    b.resize(20);  // outgrows its place in the arena
    EXPECT_FALSE(arena->holds(b.data()));
    EXPECT_EQ(b[2], 3);
}

}  // namespace lumera::analysis
