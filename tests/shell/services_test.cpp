#include "shell/services.h"

#include <gtest/gtest.h>

#include <vector>

namespace lumera {
namespace {

// Two program runs must not draw the same report numbers, or a second run
// with the same code would replace the first one's report.
TEST(SystemRandom, TwoRunsDrawDifferentNumbers) {
    SystemRandom first, second;
    std::vector<double> a, b;
    for (int k = 0; k < 4; ++k) {
        a.push_back(first.next());
        b.push_back(second.next());
    }
    EXPECT_NE(a, b);
}

}  // namespace
}  // namespace lumera
