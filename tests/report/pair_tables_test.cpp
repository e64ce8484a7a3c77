#include "report/pair_tables.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "app/commands.h"
#include "shell/program.h"
#include "support/fake_services.h"
#include "support/scripted_dialogs.h"
#include "support/treatment_files.h"
#include "textio/text_file.h"

namespace lumera {
namespace {

using test::FakeClock;
using test::FakeRandom;
using test::ScriptedDialogs;
using test::TempFolder;

class PairTablesTest : public ::testing::Test {
protected:
    PairTablesTest() : folder("pair_tables"), program(dialogs, clock, random, folder.path().string()) {
        installCommands(program);
        RunState& s = program.state();
        s.FlowRecord = Flag::No;
        setCount(3);
        s.TreatName[1] = "Ctrl";
        s.TreatName[2] = "Low";
        s.TreatName[3] = "High";
        s.OriginalMean = {0, 1.5, 2.25, 3.125};
        s.BootSE = {0, 0.1, 0.2, 0.05};
        setPair(1, 2, 0.75, 0.1234, 0.0124);
        setPair(1, 3, 1.62346, -0.05, 0.05);
        setPair(2, 3, 0.87549, 0, 0.3);
    }

    void setCount(int n) {
        RunState& s = program.state();
        s.TreatmentCount = static_cast<std::int16_t>(n);
        s.TableRuleEqual = std::string(11 * n + 15, '=');
        s.TableRuleDash = std::string(11 * n + 15, '-');
    }
    void setPair(int i, int j, double diff, double lower, double p) {
        RunState& s = program.state();
        s.AbsMeanDiff[i][j] = s.AbsMeanDiff[j][i] = diff;
        s.TLower[i][j] = lower;
        s.PValueTable[i][j] = s.PValueTable[j][i] = p;
    }

    std::string run() {
        const std::string path = folder.file("report.txt");
        {
            TextFile report(path, "Report");
            PrintPairTestTable(program, report);
            report.close();
        }
        return test::readFile(path);
    }
    static std::vector<std::string> lines(const std::string& text) {
        std::vector<std::string> all;
        std::size_t at = 0;
        for (std::size_t end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2)
            all.push_back(text.substr(at, end - at));
        EXPECT_EQ(at, text.size()) << "text after the last CR LF";
        return all;
    }
    // The letter texts of the marking rows, read from column 65.
    std::vector<std::string> marking() {
        const auto all = lines(run());
        const std::string rule = " " + std::string(75, '-');
        std::vector<std::string> letters;
        std::size_t k = all.size() - 1;
        while (k-- > 0 && all[k] != rule) letters.insert(letters.begin(), all[k].substr(64));
        return letters;
    }
    std::vector<std::string> titles() {
        std::vector<std::string> found;
        for (const auto& l : lines(run()))
            if (l.rfind(" Table", 0) == 0) found.push_back(l);
        return found;
    }

    TempFolder folder;
    ScriptedDialogs dialogs;
    FakeClock clock;
    FakeRandom random;
    Program program;
};

TEST_F(PairTablesTest, ThreeTreatmentsGolden) {
    program.state().TableNumber = 3;
    const std::string kEq = " " + std::string(48, '=');
    const std::string kDash = " " + std::string(48, '-');
    const std::string kEq75 = " " + std::string(75, '=');
    const std::string kDash75 = " " + std::string(75, '-');
    const std::string kFoot = " *: Significant at 5% significance level. A P<=0.05 denotes significant difference.";
    const std::vector<std::string> expected{
        " Table 4. Differences between treatments and lower CI",
        "(This is the t confidence interval based on Cartesian product differences)",
        " [Upper right triangle: The difference between means (i,j)]",
        " [Lower left triangle: Lower CI of difference between means (i,j) based on t]",
        " ",
        kEq,
        "                Ctrl       Low        High",
        kDash,
        " Ctrl           ----       .75        1.6235 ",
        " Low            .1234 *    ----       .8755 ",
        " High          -.05        0          ----",
        kDash,
        kFoot,
        " The bootstrap t confidence interval might be different from the bootstrap percentile ",
        " confidence interval. ",
        "",
        " Table 5. Differences between treatments and P-value",
        " [Upper right triangle: The difference between means (i,j)]",
        " [Lower left triangle: P-value of the test between (i,j)]",
        " ",
        kEq,
        "                Ctrl       Low        High",
        kDash,
        " Ctrl           ----       .75 *      1.6235 *",
        " Low            .0124 *    ----       .8755 ",
        " High           .05 *      .3         ----",
        kDash,
        kFoot,
        "",
        " Table 6. Differences between treatments (Cartesian product test)",
        " [Upper right triangle: P-value of the test between (i,j)]",
        " [Lower left triangle: The difference between means (i,j)]",
        " ",
        kEq,
        "                Ctrl       Low        High",
        kDash,
        " Ctrl           ----       .0124 *    .05 *",
        " Low            .75 *      ----       .3 ",
        " High           1.6235 *   .8755      ----",
        kDash,
        kFoot,
        "",
        " Table 7. Differences between treatments (Cartesian product test)",
        " [Upper right triangle: P-value of the test between (i,j)]",
        " [Lower left triangle: The difference between means (i,j)]",
        " The original values are listed in the last column",
        kEq,
        "                Ctrl       Low        High         Original",
        kDash,
        " Ctrl          ------      .0124 *    .05 *        1.5 ",
        " Low            .75 *     ------      .3           2.25 ",
        " High           1.6235 *   .8755     ------        3.125 ",
        kDash,
        kFoot,
        "",
        " Table 8. Differences between treatments (Cartesian product test)",
        " [Upper right triangle: P-value of the test between (i,j)]",
        " [Lower left triangle: P-value of the test between (j,i)]",
        " ",
        kEq,
        "                Ctrl       Low        High",
        kDash,
        " Ctrl           ------     .0124 *    .05 *",
        " Low            .0124 *    ------     .3 ",
        " High           .05 *      .3         ------",
        kDash,
        kFoot,
        "",
        " Table 9. Preliminary table of differences between treatments.",
        " You can use the following table to mark the differences between treatments.",
        " Only the differences between the first few treatments are marked for you.",
        " Note well! If this table is not completed, you have to complete the rest \"_\" ",
        " yourself. Attention! Not every \"_\" needs to be filled with a letter. ",
        " This is a good practice of \"critical thinking\".",
        " Note well: \"Thinking is the most important thing in science\".",
        kEq75,
        " Treatment     Original                 SE                      Difference",
        kDash75,
        " Ctrl          1.5                      .1                       a",
        " Low           2.25                     .2                       b",
        " High          3.125                    .05                      b",
        kDash75,
    };
    std::string text;
    for (const auto& l : expected) text += l + "\r\n";
    EXPECT_EQ(run(), text);
    EXPECT_EQ(program.state().TableNumber, 9);
    EXPECT_EQ(program.state().CurrentProcedure, "Public Sub PrintPairTestTable()");
}

TEST_F(PairTablesTest, MarkingThreeTreatmentsAllPatterns) {
    struct Case {
        bool s21, s31, s32;
        std::vector<std::string> letters;
    };
    const std::vector<Case> cases{
        {true, true, true, {" a", " b", " c"}},    {true, true, false, {" a", " b", " b"}},
        {true, false, true, {" a", " b", " a"}},   {true, false, false, {" a", " b", " ab"}},
        {false, true, true, {" a", " a", " b"}},   {false, true, false, {" a", " ab", " b"}},
        {false, false, true, {" ab", " a", " b"}}, {false, false, false, {" a", " a", " a"}},
    };
    for (const auto& c : cases) {
        setPair(1, 2, 1, 1, c.s21 ? 0.01 : 0.5);
        setPair(1, 3, 1, 1, c.s31 ? 0.01 : 0.5);
        setPair(2, 3, 1, 1, c.s32 ? 0.01 : 0.5);
        EXPECT_EQ(marking(), c.letters) << c.s21 << c.s31 << c.s32;
    }
}

TEST_F(PairTablesTest, MarkingTwoTreatmentsAndThreshold) {
    setCount(2);
    setPair(1, 2, 1, 1, 0.01);
    EXPECT_EQ(marking(), (std::vector<std::string>{" a", " b"}));
    setPair(1, 2, 1, 1, 0.6);
    EXPECT_EQ(marking(), (std::vector<std::string>{" a", " a"}));

    // Exactly 0.05 is significant: starred and lettered apart.
    setPair(1, 2, 0.5, 1, 0.05);
    EXPECT_EQ(marking(), (std::vector<std::string>{" a", " b"}));
    std::string text = run();
    EXPECT_NE(text.find(" Low            .05 *"), std::string::npos);
    EXPECT_NE(text.find(" Ctrl           ----       .5 *\r\n"), std::string::npos);

    setPair(1, 2, 0.5, 1, 0.0500001);
    EXPECT_EQ(marking(), (std::vector<std::string>{" a", " a"}));
    text = run();
    EXPECT_NE(text.find(" Low            .05 " + std::string(6, ' ') + " ----\r\n"), std::string::npos);
    EXPECT_EQ(text.find('*' + std::string("\r\n")), std::string::npos) << "nothing may be starred";
}

TEST_F(PairTablesTest, LowerLimitStarsOnlyWhenPositive) {
    setCount(2);
    // A tiny positive limit rounds to 0 yet keeps its star.
    const std::vector<std::pair<double, std::string>> cases{{0.0, " 0 " + std::string(8, ' ') + " ----"},
                                                            {-0.25, "-.25 " + std::string(6, ' ') + " ----"},
                                                            {1e-9, " 0 *" + std::string(7, ' ') + " ----"}};
    for (const auto& [lower, cells] : cases) {
        setPair(1, 2, 0.5, lower, 0.01);
        const auto all = lines(run());
        ASSERT_GT(all.size(), 9u);
        EXPECT_EQ(all[9], " Low           " + cells) << lower;
    }
}

TEST_F(PairTablesTest, OneTreatmentHasDiagonalOnlyAndNoMarkingRows) {
    setCount(1);
    const auto all = lines(run());
    const std::string eq = " " + std::string(26, '='), dash = " " + std::string(26, '-');
    EXPECT_EQ(std::vector<std::string>(all.begin() + 5, all.begin() + 10),
              (std::vector<std::string>{eq, "                Ctrl", dash, " Ctrl           ----", dash}));
    const auto table4 = std::find(all.begin(), all.end(), " The original values are listed in the last column");
    ASSERT_NE(table4, all.end());
    EXPECT_EQ(*(table4 + 2), "                Ctrl         Original");
    EXPECT_EQ(*(table4 + 4), " Ctrl          ------        1.5 ");
    EXPECT_EQ(marking(), std::vector<std::string>{});
    EXPECT_EQ(all.back(), " " + std::string(75, '-'));
    EXPECT_EQ(all[all.size() - 2], all.back());
}

TEST_F(PairTablesTest, LongNameMovesNextItemToNewLine) {
    setCount(2);
    program.state().TreatName[1] = "AVeryLongTreatmentName";
    const std::string text = run();
    EXPECT_NE(text.find("\r\n AVeryLongTreatmentName\r\n" + std::string(15, ' ') + " ----" + std::string(6, ' ') +
                        " .75 \r\n"),
              std::string::npos);
    EXPECT_NE(text.find("\r\n AVeryLongTreatmentName\r\n" + std::string(14, ' ') + " 1.5 " + std::string(20, ' ') +
                        " .1 " + std::string(21, ' ') + " a\r\n"),
              std::string::npos);
}

TEST_F(PairTablesTest, TableNumbersContinueAcrossCalls) {
    program.state().TableNumber = 7;
    auto first = titles();
    ASSERT_EQ(first.size(), 6u);
    EXPECT_EQ(first.front(), " Table 8. Differences between treatments and lower CI");
    EXPECT_EQ(first.back(), " Table 13. Preliminary table of differences between treatments.");
    auto second = titles();
    ASSERT_EQ(second.size(), 6u);
    EXPECT_EQ(second.front(), " Table 14. Differences between treatments and lower CI");
    EXPECT_EQ(second[4], " Table 18. Differences between treatments (Cartesian product test)");
    EXPECT_EQ(program.state().TableNumber, 19);

    program.state().TableNumber = 32767;
    EXPECT_EQ(titles().front(), " Table 32768. Differences between treatments and lower CI");
}

TEST_F(PairTablesTest, FlowLineOnlyWhenRecordIsOn) {
    program.openFlowRecord(folder.file("flow.txt"));
    run();
    program.state().FlowRecord = Flag::Yes;
    run();
    program.closeAllFiles();
    EXPECT_EQ(test::readFile(folder.file("flow.txt")), "Sub PrintPairTestTable\r\n");
}

TEST(PairTableCell, DifferenceFormRangeAndRounding) {
    EXPECT_EQ(differenceCell(10000), " 10000 ");
    EXPECT_EQ(differenceCell(-10000), "-10000 ");
    EXPECT_EQ(differenceCell(9999.99996), " 10000 ");
    EXPECT_EQ(differenceCell(9999.12345678), " 9999.1235 ");
    EXPECT_EQ(differenceCell(10000.4), " 10000 ");
    EXPECT_EQ(differenceCell(10000.6), " 10001 ");
    EXPECT_EQ(differenceCell(-10000.5), "-10000 ");
    EXPECT_EQ(differenceCell(12345.5), " 12346 ");
    EXPECT_EQ(differenceCell(0.03125), " .0312 ");
    EXPECT_EQ(differenceCell(0.09375), " .0938 ");
    EXPECT_EQ(differenceCell(-0.75), "-.75 ");
    EXPECT_EQ(differenceCell(0.00005), " 0 ");
    EXPECT_EQ(differenceCell(5e12), " 5000000000000 ");
}

TEST(PairTableCell, PValueFormHasNoRangeTest) {
    EXPECT_EQ(pValueCell(0.03125), " .0312 ");
    EXPECT_EQ(pValueCell(0.09375), " .0938 ");
    EXPECT_EQ(pValueCell(0.00004), " 0 ");
    EXPECT_EQ(pValueCell(1), " 1 ");
    EXPECT_EQ(pValueCell(12345.678912), " 12345.6789 ");
}

}  // namespace
}  // namespace lumera
