#include "report/comparison_report.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "report/on_screen_summary.h"
#include "shell/program.h"
#include "support/fake_services.h"
#include "support/file_size_limit.h"
#include "support/program_fixture.h"
#include "support/scripted_dialogs.h"
#include "support/treatment_files.h"

namespace lumera {
namespace {

using test::TreatmentSpec;

const char* const kCountTitle = "Read data file one by one for paired comparison using Cartesian Product";
const char* const kCodeTitle = "Add a code to the output filename?";
const char* const kCodePrompt =
    "If you want to add a specific code for this analysis, please enter the code and press OK. If not, just click "
    "on OK.";

class ReportTest : public test::ProgramTest {
protected:
    // One whole test with no detail files; returns the report's file name.
    std::string run(const std::vector<std::string>& files, const std::string& code = "1", bool flow = false) {
        expectUpToTheCode(files, flow);
        dialogs.expectInput(kCodeTitle, kCodePrompt, code);
        dialogs.expectMessage("Task completed", std::nullopt, Answer::Ok, Buttons::OkCancel);
        EXPECT_EQ(program.click("cmdCartesianDifference"), Program::Outcome::Done);
        EXPECT_EQ(dialogs.lastText(),
                  "Analysis completed! Congratulation!\n\nThe output file is: " + program.state().OutputFileName);
        return program.state().OutputFileName;
    }

    // The questions of a test up to the report's code.
    void expectUpToTheCode(const std::vector<std::string>& files, bool flow = false) {
        dialogs.expectMessage("Do you need detailed info?", std::nullopt, flow ? Answer::Yes : Answer::No);
        if (flow) {
            dialogs.expectMessage("Do you need flow record?", std::nullopt, Answer::Yes);
            dialogs.expectMessage("Detailed differences", std::nullopt, Answer::No);
        }
        dialogs.expectMessage("Reversed sort", std::nullopt, Answer::No);
        dialogs.expectInput(kCountTitle, std::nullopt, std::to_string(files.size()));
        dialogs.expectInput("Transformation?", std::nullopt, "0");
        for (std::size_t t = 0; t < files.size(); ++t)
            dialogs.expectOpenFile("Input treatment " + std::to_string(t + 1), files[t]);
    }

    // Compares with the checked file under tests/data/report; with
    // LUMERA_UPDATE_GOLDEN set it writes the file instead (to be checked by hand).
    void expectGolden(const std::string& reportName, const std::string& golden) {
        std::string actual = test::readFile(folder.file(reportName));
        std::string path = std::string(LUMERA_TEST_DATA) + "/report/" + golden;
        if (std::getenv("LUMERA_UPDATE_GOLDEN") != nullptr) {
            std::ofstream(path, std::ios::binary) << actual;
            return;
        }
        std::string expected = test::readFile(path);
        ASSERT_FALSE(expected.empty()) << path;
        EXPECT_EQ(actual, expected) << golden;
    }
};

TEST_F(ReportTest, TwoTreatments) {
    std::string a = treatment(
        "a.txt", {.name = "Field", .code = "R0a", .sampleSize = 25, .original = 4.4, .replicates = {3, 4, 5, 6}});
    std::string b = treatment(
        "b.txt", {.name = "Lab", .code = "R0b", .sampleSize = 20, .original = 2.1, .replicates = {1, 2, 3, 2.5}});
    std::string name = run({a, b});
    EXPECT_EQ(name, "25A-Cartesian diff results-R0b_2026129-1457.txt");
    expectGolden(name, "two_treatments.txt");
    EXPECT_EQ(program.form1().txtDatafile.caption, "Output file is: " + name);
    EXPECT_TRUE(program.form1().MSFlexGrid1.visible);
    EXPECT_FALSE(program.form1().Label2.visible);
    EXPECT_EQ(program.form1().lblBootEnd.caption, "Cartesian paired test ended at:2026-12-09 14:05:07");
}

TEST_F(ReportTest, TheGridComesWithItsKeyAndTheOutputLineKnowsItsFolder) {
    Form1& form = program.form1();
    program.doubleClick("txtDatafile");
    EXPECT_EQ(form.FolderToOpen, "") << "no report, no folder";
    std::string a = treatment("a.txt", {.name = "A", .code = "A", .replicates = {3, 4, 5, 6}});
    std::string b = treatment("b.txt", {.name = "B", .code = "B", .replicates = {1, 2, 3, 2.5}});
    std::string name = run({a, b});
    EXPECT_TRUE(form.MSFlexGrid1.visible);
    EXPECT_TRUE(form.lblGridKey.visible);
    EXPECT_EQ(form.txtDatafile.toolTip, folder.file(name));
    program.doubleClick("txtDatafile");
    EXPECT_EQ(std::filesystem::path(form.FolderToOpen), std::filesystem::path(folder.file(name)).parent_path());
    // The next run's start takes both away.
    form.runStarted("busy");
    EXPECT_FALSE(form.MSFlexGrid1.visible);
    EXPECT_FALSE(form.lblGridKey.visible);
}

TEST_F(ReportTest, ThreeTreatmentsAndTheGrid) {
    std::string a =
        treatment("a.txt", {.name = "Cold", .code = "A", .original = 1.2, .replicates = {1.1, 1.3, 1.2, 1.0, 1.4}});
    std::string b =
        treatment("b.txt", {.name = "Mild", .code = "B", .original = 1.5, .replicates = {1.4, 1.6, 1.5, 1.7, 1.3}});
    std::string c =
        treatment("c.txt", {.name = "Warm", .code = "C", .original = 1.6, .replicates = {1.2, 1.9, 1.5, 1.8, 1.6}});
    std::string name = run({a, b, c}, "1", true);
    expectGolden(name, "three_treatments.txt");
    const GridControl& g = program.form1().MSFlexGrid1;
    EXPECT_EQ(g.rows(), 4);
    EXPECT_EQ(g.cols(), 4);
    EXPECT_EQ(g.textAt(0, 1), program.state().TreatName[1]);
    EXPECT_EQ(g.textAt(2, 2), " ----");
    EXPECT_EQ(g.colWidth(3), 500);
    EXPECT_EQ(g.alignmentAt(3, 1), Align::Center);
    program.closeAllFiles();
    EXPECT_EQ(test::readFile(folder.file("25A-Cartesian diff_0_Flow.txt")),
              "Sub CartesianDifference2\r\nSub QuickSort\r\nSub QuickSort\r\nSub QuickSort\r\n"
              "Sub PrintMultiCIofDifference\r\nSub PrintPairTestTable\r\nSub ShowMultiCIofDifference\r\n");
}

TEST_F(ReportTest, EqualMeansEndTheirBlockEarly) {
    std::string a = treatment("a.txt", {.name = "One", .code = "A", .replicates = {2, 4}});
    std::string b = treatment("b.txt", {.name = "Two", .code = "B", .replicates = {1, 5}});
    std::string c = treatment("c.txt", {.name = "Three", .code = "C", .replicates = {7, 8}});
    expectGolden(run({a, b, c}), "equal_means.txt");
}

TEST_F(ReportTest, PercentilesAgainstTheTInterval) {
    std::vector<double> skewed(9, 1.0);
    skewed.push_back(100);
    std::string a = treatment("a.txt", {.name = "Skewed", .code = "S", .replicates = skewed});
    std::string b = treatment("b.txt", {.name = "Zero", .code = "Z", .replicates = std::vector<double>(10, 0.0)});
    random.queue(0.4567);
    std::string name = run({a, b}, "trial");
    EXPECT_EQ(name, "25A-Cartesian diff results-Z_trial 457.txt");
    expectGolden(name, "discrepancy.txt");
}

TEST_F(ReportTest, TableNumbersGoOnInTheNextRun) {
    std::string a = treatment("a.txt", {.code = "A", .replicates = {3, 4, 5}});
    std::string b = treatment("b.txt", {.code = "B", .replicates = {1, 2, 3}});
    random.queue(0.0);
    std::string first = test::readFile(folder.file(run({a, b}, "")));
    EXPECT_EQ(program.state().OutputFileName, "25A-Cartesian diff results-B_ 0.txt");
    clock.advance(130);
    std::string second = test::readFile(folder.file(run({a, b})));
    EXPECT_NE(first.find("\r\nTable 1. Cartesian product paired difference"), std::string::npos);
    EXPECT_NE(first.find(" Table 7. Preliminary table"), std::string::npos);
    EXPECT_NE(second.find("\r\nTable 8. Cartesian product paired difference"), std::string::npos);
    EXPECT_NE(second.find(" Table 9. Differences between treatments and lower CI"), std::string::npos);
    EXPECT_NE(second.find(" Table 14. Preliminary table"), std::string::npos);
    EXPECT_EQ(program.state().TableNumber, 14);
}

// Two runs in one second with one code: the second report takes a number
// instead of replacing the first; a third that fails part-way (a full disk)
// leaves both as they were and no file of its own.
TEST_F(ReportTest, ReportsNeverReplaceOneAnother) {
    std::string a = treatment("a.txt", {.code = "A", .replicates = {3, 4, 5}});
    std::string b = treatment("b.txt", {.code = "B", .replicates = {1, 2, 3}});
    const std::string first = run({a, b});
    const std::string firstText = test::readFile(folder.file(first));
    const std::string second = run({a, b});
    EXPECT_EQ(second, "25A-Cartesian diff results-B_2026129-1457 (2).txt");
    EXPECT_EQ(program.form1().txtDatafile.caption, "Output file is: " + second);
    const std::string secondText = test::readFile(folder.file(second));
    EXPECT_NE(secondText.find("Table 8. Cartesian product paired difference"), std::string::npos);

    expectUpToTheCode({a, b});
    dialogs.expectInput(kCodeTitle, kCodePrompt, "1");
    dialogs.expectMessage("Comparison report", std::nullopt, Answer::Ok);
    {
        test::FileSizeLimit full(2048);
        EXPECT_EQ(program.click("cmdCartesianDifference"), Program::Outcome::Failed);
    }
    EXPECT_EQ(dialogs.lastText().rfind("Cannot write the file:\n" + folder.file(first), 0), 0u) << dialogs.lastText();
    EXPECT_EQ(test::readFile(folder.file(first)), firstText);
    EXPECT_EQ(test::readFile(folder.file(second)), secondText);
    EXPECT_EQ(folder.names(), (std::vector<std::string>{second, first, "a.txt", "b.txt"}));  // " (" sorts before "."
}

// The code becomes part of the report's name; one that cannot is asked
// again, and the work already done is not lost.
TEST_F(ReportTest, ACodeThatCannotBePartOfTheNameIsAskedAgain) {
    std::string a = treatment("a.txt", {.code = "A", .replicates = {3, 4, 5}});
    std::string b = treatment("b.txt", {.code = "B", .replicates = {1, 2, 3}});
    expectUpToTheCode({a, b});
    dialogs.expectInput(kCodeTitle, kCodePrompt, "22/7");
    dialogs.expectMessage("Comparison report",
                          "The code cannot be part of the report's file name: it holds a \"/\", which separates "
                          "folders.\nPlease enter another code.",
                          Answer::Ok, Buttons::Ok);
    dialogs.expectInput(kCodeTitle, kCodePrompt, "22 C");
    dialogs.expectMessage("Task completed", std::nullopt, Answer::Ok);
    random.queue(0.5);
    EXPECT_EQ(program.click("cmdCartesianDifference"), Program::Outcome::Done);
    EXPECT_EQ(program.state().OutputFileName, "25A-Cartesian diff results-B_22 C 500.txt");
}

// A run state filled by hand: one pair per boundary under test.
class ReportBoundaryTest : public ReportTest {
protected:
    void fill(int n) {
        RunState& s = program.state();
        s.FileStem = "25A-Cartesian diff";
        s.LastTreatCode = "X";
        s.TreatmentCount = static_cast<std::int16_t>(n);
        s.SidakAlpha = 0.0169524275084415;
        for (int k = 1; k <= n; ++k) {
            s.TreatName[k] = {'T', static_cast<char>('0' + k)};
            s.BootCountValue[k] = 10;
            s.BootCount[k] = 10;
            s.BootMean[k] = 10 - k;
        }
    }
    std::string report() {
        dialogs.expectInput("Add a code to the output filename?", std::nullopt, "1");
        dialogs.expectMessage("Task completed", std::nullopt, Answer::Ok);
        EXPECT_EQ(program.runCommand([&] { PrintMultiCIofDifference(program); }), Program::Outcome::Done);
        return test::readFile(folder.file(program.state().OutputFileName));
    }
    // The text of one pair's block.
    static std::string block(const std::string& all, const std::string& title) {
        std::size_t from = all.find("Comparison between " + title);
        return all.substr(from, all.find("\r\n\r\n", from) - from);
    }
};

TEST_F(ReportBoundaryTest, ThresholdsReadAsTheReportStatesThem) {
    fill(3);
    RunState& s = program.state();
    // (1,2): P = 0.05 with a significant percentile box: consistent; TLower 0
    // and PctLower 0: t not significant, percentiles significant, no note.
    s.PValueTable[1][2] = 0.05;
    s.TLower[1][2] = 0;
    s.PctLower[1][2] = 0;
    // (1,3): P = 0.05 with a non-significant box: inconsistent; P = 0 with B = 1000.
    s.PValueTable[1][3] = 0.05;
    s.TLower[1][3] = 0.5;
    s.PctLower[1][3] = -0.1;
    // (2,3): P equal to the Sidak level is inconsistent with either box.
    s.PValueTable[2][3] = s.SidakAlpha;
    s.TLower[2][3] = -1;
    s.PctLower[2][3] = 0.2;
    std::string all = report();
    std::string b12 = block(all, "T1 vs T2"), b13 = block(all, "T1 vs T3"), b23 = block(all, "T2 vs T3");
    EXPECT_NE(b12.find("* No signif. diff. btw. T1 and T2."), std::string::npos);
    EXPECT_NE(b12.find("# Signif. diff. btw. T1 and T2."), std::string::npos);
    EXPECT_EQ(b12.find("inconsistent with the results of CI"), std::string::npos);
    EXPECT_EQ(b12.find("Note well"), std::string::npos);
    EXPECT_NE(b13.find("# This P-value is inconsistent with the results of CI."), std::string::npos);
    EXPECT_NE(b13.find("* The P-value is calculated based on the bootstrap samples."), std::string::npos);
    EXPECT_NE(b23.find("* Result with Sidak correction is inconsistent with CI of diff."), std::string::npos);
    EXPECT_NE(b23.find("* The P-value is calculated based on the finite bootstrap samples."), std::string::npos);
    EXPECT_NE(all.find("Alpha(Sidak) = .0169524275084415 \r\n"), std::string::npos);
}

TEST_F(ReportBoundaryTest, AdviceForPZeroAndALongNamePastTheFrame) {
    fill(2);
    RunState& s = program.state();
    s.BootCount[1] = 1000;
    s.PValueTable[1][2] = 0;
    s.TLower[1][2] = 1;
    s.PctLower[1][2] = 1;
    s.TreatName[1] = std::string(60, 'L');
    std::string all = report();
    std::string advice = "# Because B is limited, if P = 0, you can report P < 0.001.";
    EXPECT_NE(all.find(advice + std::string(71 - advice.size(), ' ') + "#\r\n"), std::string::npos);
    // The frame character goes to column 72 of a new line.
    EXPECT_NE(
        all.find("* Signif. diff. btw. " + std::string(60, 'L') + " and T2.\r\n" + std::string(71, ' ') + "*\r\n"),
        std::string::npos);
    EXPECT_EQ(all.find("Alpha(Sidak)"), std::string::npos);  // two treatments: no Sidak lines
}

TEST_F(ReportBoundaryTest, AReportThatCannotBeCreatedIsNamed) {
    fill(2);
    program.pinWorkingFolder(folder.file("no such folder"));
    dialogs.expectInput("Add a code to the output filename?", std::nullopt, "1");
    dialogs.expectMessage("Comparison report", std::nullopt, Answer::Ok);
    EXPECT_EQ(program.runCommand([&] { PrintMultiCIofDifference(program); }), Program::Outcome::Failed);
    EXPECT_NE(dialogs.lastText().find("no such folder"), std::string::npos) << dialogs.lastText();
    EXPECT_EQ(program.form1().txtDatafile.caption, "");
}

TEST(ReportLines, ElapsedTimeInSecondsMinutesAndHours) {
    EXPECT_EQ(totalTimeText(0), "Total time = 0 sec.");
    EXPECT_EQ(totalTimeText(119), "Total time = 119 sec.");
    EXPECT_EQ(totalTimeText(120), "Total time = 2 min.");
    EXPECT_EQ(totalTimeText(150), "Total time = 2.5 min.");
    EXPECT_EQ(totalTimeText(3599), "Total time = 59.98 min.");
    EXPECT_EQ(totalTimeText(3600), "Total time = 1 hr.");
    EXPECT_EQ(totalTimeText(5427), "Total time = 1.51 hr.");
}

TEST(GridCells, RoundingRulesOfTheSummary) {
    EXPECT_EQ(differenceGridText(250.6), " 251");
    EXPECT_EQ(differenceGridText(0.25), " .25");
    EXPECT_EQ(differenceGridText(12.345678), " 12.35");
    EXPECT_EQ(differenceGridText(1), " 1");
    EXPECT_EQ(differenceGridText(0.12345), " .123");
    EXPECT_EQ(differenceGridText(100.004), " 100");
    EXPECT_EQ(pValueGridText(0.00004, false), " 0");
    EXPECT_EQ(pValueGridText(0, true), " 0*");
    EXPECT_EQ(pValueGridText(0.03125, false), " .0312");
    EXPECT_EQ(pValueGridText(1, false), " 1");
}

}  // namespace
}  // namespace lumera
