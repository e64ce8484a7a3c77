#include "textio/print_line.h"

#include <gtest/gtest.h>

#include <string>

#include "textio/write_record.h"

namespace lumera {
namespace {

TEST(PrintLine, TabMovesToColumn) {
    EXPECT_EQ(PrintLine().text("ab").tab(5).text("x").finish(), "ab  x\r\n");
    EXPECT_EQ(PrintLine().text("abcd").tab(5).text("x").finish(), "abcdx\r\n");
    EXPECT_EQ(PrintLine().number(3000).number(-0.5).finish(), " 3000 -.5 \r\n");
    EXPECT_EQ(PrintLine().finish(), "\r\n");
}

TEST(PrintLine, TabPastColumnStartsNewLine) {
    PrintLine line;
    line.text(std::string(72, 'a'));
    ASSERT_EQ(line.column(), 73);
    line.tab(72).text("x");
    EXPECT_EQ(line.finish(), std::string(72, 'a') + "\r\n" + std::string(71, ' ') + "x\r\n");
    // Columns now count from the new line.
    EXPECT_EQ(line.column(), 73);
    line.tab(80).number(1);
    EXPECT_EQ(line.column(), 83);
}

TEST(WriteRecord, QuotesTextAndSeparatesWithCommas) {
    EXPECT_EQ(WriteRecord().text("Cart. number").text("Cart. Difference").finish(),
              "\"Cart. number\",\"Cart. Difference\"\r\n");
    EXPECT_EQ(WriteRecord().number(3).number(-0.5).finish(), "3,-.5\r\n");
    EXPECT_EQ(WriteRecord().text("").number(0.05).text("a,b").finish(), "\"\",.05,\"a,b\"\r\n");
}

}  // namespace
}  // namespace lumera
