#include "textio/line_blocks.h"

#include <gtest/gtest.h>

#include <charconv>
#include <chrono>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "support/treatment_files.h"

namespace lumera {
namespace {

// Line i of the first file is "i", and the second file takes a line "i;"
// only for every third i: what the text is, whichever thread formatted a
// slice and however far ahead.
void formatLines(std::int64_t first, std::int64_t last, std::array<char*, 2>& outs) {
    for (std::int64_t i = first; i < last; ++i) {
        outs[0] = std::to_chars(outs[0], outs[0] + 20, i).ptr;
        *outs[0]++ = '\n';
        if (i % 3 != 0) continue;
        outs[1] = std::to_chars(outs[1], outs[1] + 20, i).ptr;
        *outs[1]++ = ';';
        *outs[1]++ = '\n';
    }
}

TEST(LineBlocks, BothFilesHoldEveryLineInOrderForAnyCount) {
    test::TempFolder folder("line_blocks");
    // One line, one slice exactly, and more slices than the ring has slots.
    for (const std::int64_t count : {std::int64_t{1}, kLineSlice, 40 * kLineSlice + 123}) {
        TextFile a(folder.file("a.txt"), "Save"), b(folder.file("b.txt"), "Save");
        std::vector<std::int64_t> told;
        // A slow progress lets the other thread fill every free slot ahead.
        writeLinesInBlocks<2>({&a, &b}, count, {std::size_t{21}, std::size_t{22}}, formatLines,
                              [&](std::int64_t lines) {
                                  told.push_back(lines);
                                  std::this_thread::sleep_for(std::chrono::milliseconds(2));
                              });
        a.close();
        b.close();
        std::string wantA, wantB;
        for (std::int64_t i = 0; i < count; ++i) {
            wantA += std::to_string(i) + "\n";
            if (i % 3 == 0) wantB += std::to_string(i) + ";\n";
        }
        EXPECT_TRUE(test::readFile(folder.file("a.txt")) == wantA) << count;
        EXPECT_TRUE(test::readFile(folder.file("b.txt")) == wantB) << count;
        std::vector<std::int64_t> wantTold;
        for (std::int64_t lines = kLineRound; lines < count; lines += kLineRound) wantTold.push_back(lines);
        wantTold.push_back(count);
        EXPECT_EQ(told, wantTold) << count;
    }
}

// A stop told from the progress ends the writing at once, with the other
// thread still formatting ahead: nothing hangs and the stop comes through.
TEST(LineBlocks, AStopFromTheProgressEndsTheWriting) {
    test::TempFolder folder("line_blocks_stop");
    for (const int stopAt : {1, 3}) {
        TextFile a(folder.file("a.txt"), "Save"), b(folder.file("b.txt"), "Save");
        int calls = 0;
        EXPECT_THROW(writeLinesInBlocks<2>({&a, &b}, 60 * kLineSlice, {std::size_t{21}, std::size_t{22}}, formatLines,
                                           [&](std::int64_t) {
                                               if (++calls == stopAt) throw std::runtime_error("stop");
                                           }),
                     std::runtime_error);
        EXPECT_EQ(calls, stopAt);
    }
}

}  // namespace
}  // namespace lumera
