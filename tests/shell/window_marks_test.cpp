// What the main window shows around a run: nothing of the last run of the
// same kind that would be wrong beside the new one, no busy message under a
// question, and where a sort's files went.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "app/commands.h"
#include "shell/dialog_texts.h"
#include "shell/program.h"
#include "shell/progress.h"
#include "support/program_fixture.h"
#include "support/scripted_dialogs.h"
#include "support/treatment_files.h"
#include "textio/user_error.h"

namespace lumera {
namespace {

namespace fs = std::filesystem;
using namespace dialog_texts;

constexpr const char* kSortBusy = "I am running sort and count.\nPlease wait!\nDon't touch me!";
constexpr const char* kNotFinished = "No data: the last sort did not finish.";

class WindowMarksTest : public test::ProgramTest {
protected:
    Form1& form() { return program.form1(); }

    std::string generalData(const std::string& name, const std::vector<double>& values) {
        std::ofstream out(folder.file(name), std::ios::binary);
        out << "\"Beans\",\"x\",\"Days\"\r\n";
        for (double v : values) out << writeForm(v) << "\r\n";
        out << "-1\r\n";
        return folder.file(name);
    }

    // A test of two treatments, every option No; `atCode` looks at the window
    // while the report's code is asked.
    void expectTest(const std::vector<std::string>& files, std::function<void()> atCode = {}) {
        dialogs.expectMessage(kDetailInfoTitle, std::nullopt, Answer::No);
        dialogs.expectMessage(kReversedTitle, std::nullopt, Answer::No);
        dialogs.expectInput(kTreatmentCountTitle, kTreatmentCountPrompt, "2");
        dialogs.expectInput(kTransformTitle, kTransformPrompt, "0");
        for (std::size_t t = 0; t < files.size(); ++t)
            dialogs.expectOpenFile(kTreatmentFileTitle + std::to_string(t + 1), files[t]);
        dialogs.expectInput(kCodeTitle, kCodePrompt, "1");
        if (atCode) dialogs.whileAsked(std::move(atCode));
        dialogs.expectMessage(kCompletedTitle, std::nullopt, Answer::Ok);
    }

    // A sort and count of general data at double precision; `atKind` looks
    // at the window while its first question is up.
    void expectSort(const std::string& file, Answer frequency, std::function<void()> atKind = {},
                    SortDataKind kind = SortDataKind::General) {
        dialogs.expectMessage(kSortKindTitle, std::nullopt,
                              kind == SortDataKind::General ? Answer::Yes
                              : kind == SortDataKind::Boot  ? Answer::No
                                                            : Answer::Cancel);
        if (atKind) dialogs.whileAsked(std::move(atKind));
        dialogs.expectMessage(kSerialTitle, kSerialText, Answer::No);
        dialogs.expectOpenFile(kind == SortDataKind::General ? kGeneralFileTitle : kBootFileTitle, file);
        dialogs.expectInput(kDecimalsTitle, kDecimalsPrompt, "-1");
        dialogs.expectMessage(kDecimalsTitle, kSortedReadyText, Answer::Ok);
        dialogs.expectMessage(kDecimalsTitle, kCountsReadyText, Answer::Ok);
        if (kind != SortDataKind::PairTestResults) dialogs.expectMessage(kFrequencyTitle, kFrequencyText, frequency);
    }

    Program::Outcome sortButton() { return program.click("cmdGeneralNormalTest"); }

    // A sort of the first file, its chart shown: the state each case starts from.
    void sortWithChart() {
        expectSort(generalData("first.txt", {3, 4, 4, 5, 6, 6, 6, 7}), Answer::Yes);
        ASSERT_EQ(sortButton(), Program::Outcome::Done);
        ASSERT_FALSE(form().MSChart1.bars.empty());
        ASSERT_FALSE(form().MSChart1.note.empty());
    }

    std::string bean() { return treatment("bean.txt", {.name = "Bean", .code = "B", .replicates = {4, 5, 6, 7}}); }
    std::string pea() { return treatment("pea.txt", {.name = "Pea", .code = "P", .replicates = {1, 2, 3, 4}}); }
};

TEST_F(WindowMarksTest, ATestClearsTheLastTestsEndAndReportAtItsStartAndHasNoBusyMessageUnderItsQuestion) {
    const std::string b = bean(), p = pea();
    expectTest({b, p});
    ASSERT_EQ(program.click("cmdCartesianDifference"), Program::Outcome::Done);
    const std::string firstEnd = form().lblBootEnd.caption;
    ASSERT_EQ(firstEnd, "Cartesian paired test ended at:2026-12-09 14:05:07");
    ASSERT_EQ(form().txtDatafile.caption.rfind("Output file is: 25A-Cartesian diff results-", 0), 0u);
    ASSERT_FALSE(form().OutputFolder.empty());

    clock.advance(95);
    expectTest({b, p}, [&] {
        EXPECT_EQ(form().lblBootBegin.caption, "Cartesian paired test began at:2026-12-09 14:06:42");
        EXPECT_EQ(form().lblBootEnd.caption, "");
        EXPECT_EQ(form().txtDatafile.caption, "");
        EXPECT_EQ(form().txtDatafile.toolTip, "The report file of the last test");
        EXPECT_EQ(form().OutputFolder, "");
        EXPECT_FALSE(form().Label2.visible) << "the busy message stands under the code question";
    });
    ASSERT_EQ(program.click("cmdCartesianDifference"), Program::Outcome::Done);
    EXPECT_EQ(form().lblBootEnd.caption, "Cartesian paired test ended at:2026-12-09 14:06:42");
    EXPECT_EQ(form().txtDatafile.caption.rfind("Output file is: 25A-Cartesian diff results-", 0), 0u);
    EXPECT_TRUE(form().MSFlexGrid1.visible);

    // A test that fails among its pairs leaves its own start, not the last
    // test's end and report beside it.
    const std::string high = treatment("high.txt", {.name = "High", .sampleSize = 2, .replicates = {6E+153, 5E+153}});
    const std::string low = treatment("low.txt", {.name = "Low", .sampleSize = 2, .replicates = {-6E+153, -5E+153}});
    clock.advance(60);
    dialogs.expectMessage(kDetailInfoTitle, std::nullopt, Answer::No);
    dialogs.expectMessage(kReversedTitle, std::nullopt, Answer::No);
    dialogs.expectInput(kTreatmentCountTitle, kTreatmentCountPrompt, "2");
    dialogs.expectInput(kTransformTitle, kTransformPrompt, "0");
    dialogs.expectOpenFile(kTreatmentFileTitle + std::string("1"), low);
    dialogs.expectOpenFile(kTreatmentFileTitle + std::string("2"), high);
    dialogs.expectMessage(kTooLargeTitle, std::nullopt, Answer::Ok).whileAsked([&] {
        EXPECT_FALSE(form().Label2.visible);
    });
    ASSERT_EQ(program.click("cmdCartesianDifference"), Program::Outcome::Failed);
    EXPECT_EQ(form().lblBootBegin.caption, "Cartesian paired test began at:2026-12-09 14:07:42");
    EXPECT_EQ(form().lblBootEnd.caption, "");
    EXPECT_EQ(form().txtDatafile.caption, "");
}

TEST_F(WindowMarksTest, ASortClearsTheLastSortsChartAtItsStartWhateverItsKind) {
    sortWithChart();
    std::ofstream(folder.file("pbt.txt"), std::ios::binary)
        << "\"T\",\"R0\",30,\"x\",3,\"C\",30,1.5,\"f9\",\"f10\"\r\n2\r\n1\r\n3\r\n";
    // A sort of results of the paired test shows no chart of its own: the
    // last file's chart must not stay in its place.
    expectSort(
        folder.file("pbt.txt"), Answer::No,
        [&] {
            const ChartControl& chart = form().MSChart1;
            EXPECT_FALSE(chart.visible);
            EXPECT_TRUE(chart.bars.empty());
            EXPECT_TRUE(chart.curve.empty());
            EXPECT_EQ(chart.note, "");
            EXPECT_EQ(chart.title, "");
            EXPECT_TRUE(chart.probabilityPoints.empty());
        },
        SortDataKind::PairTestResults);
    ASSERT_EQ(sortButton(), Program::Outcome::Done);
    EXPECT_FALSE(form().MSChart1.visible);
    EXPECT_TRUE(form().MSChart1.bars.empty());
    EXPECT_EQ(form().MSChart1.note, "");
}

TEST_F(WindowMarksTest, AFinishedSortNamesItsFolderAndThreeFilesOnTheOutputLine) {
    const std::string b = bean(), p = pea();
    expectTest({b, p});
    ASSERT_EQ(program.click("cmdCartesianDifference"), Program::Outcome::Done);
    const std::string report = form().txtDatafile.caption;

    const std::string days = generalData("days.txt", {2, 3, 3, 4});
    // The test's report stays named until a sort has files to name.
    expectSort(days, Answer::No, [&] { EXPECT_EQ(form().txtDatafile.caption, report); });
    ASSERT_EQ(sortButton(), Program::Outcome::Done);
    const std::string dir = folder.path().string();
    EXPECT_EQ(form().txtDatafile.caption, "Output files in " + dir +
                                              ": \"days-2_Sorted.txt\", \"days-1_0.025, 0.5 and 0.975 Days.txt\" and "
                                              "\"days-3_Sorted and counts.txt\"");
    const std::vector<std::string> paths = {dir + "/days-2_Sorted.txt", dir + "/days-1_0.025, 0.5 and 0.975 Days.txt",
                                            dir + "/days-3_Sorted and counts.txt"};
    EXPECT_EQ(form().txtDatafile.toolTip, paths[0] + "\n" + paths[1] + "\n" + paths[2]);
    for (const std::string& path : paths) EXPECT_TRUE(fs::exists(path)) << path;
    program.doubleClick("txtDatafile");
    EXPECT_EQ(form().FolderToOpen, dir);

    // The next sort's start takes the line away: it named the last sort's files.
    expectSort(days, Answer::No, [&] {
        EXPECT_EQ(form().txtDatafile.caption, "");
        EXPECT_EQ(form().OutputFolder, "");
    });
    ASSERT_EQ(sortButton(), Program::Outcome::Done);
    EXPECT_EQ(form().txtDatafile.toolTip, paths[0] + "\n" + paths[1] + "\n" + paths[2]);

    // A sort ended at its file dialogue names nothing.
    dialogs.expectMessage(kSortKindTitle, std::nullopt, Answer::Yes);
    dialogs.expectMessage(kSerialTitle, kSerialText, Answer::No);
    dialogs.expectOpenFile(kGeneralFileTitle, "");
    dialogs.expectMessage(kFrequencyTitle, kFrequencyText, Answer::No);
    ASSERT_EQ(sortButton(), Program::Outcome::Done);
    EXPECT_EQ(form().txtDatafile.caption, "");
}

// The core of the sort reports its work and may be stopped; it is played
// here by a stand-in that does what the real one does on the window's side.
struct FakeSortStep {
    enum Kind { Work, Ask, Cancel, Fail } kind;
    const char* stage = "";
    int percent = 0;
};

// Its file dialogue and the names of its outputs; empty when cancelled.
std::string fakeSortChoose(Program& program) {
    RunState& s = program.state();
    const std::string path = program.chooseFile(kGeneralFileTitle);
    if (path.empty()) return path;
    s.FileStem = path.substr(0, path.size() - 4);
    s.DataSetName = "Days";
    s.DecimalLimit = -1;
    return path;
}

void fakeSortSteps(Program& program, const std::vector<FakeSortStep>& steps) {
    for (const FakeSortStep& step : steps) switch (step.kind) {
            case FakeSortStep::Work:
                program.progress().sortWork(step.stage, step.percent);
                break;
            case FakeSortStep::Ask:
                program.dialogs().input(kDecimalsTitle, kDecimalsPrompt, "-1");
                break;
            case FakeSortStep::Cancel:
                throw RunCancelled{};
            case FakeSortStep::Fail:
                throw UserError(kSortErrorTitle, "The file holds no values.");
        }
}

TEST_F(WindowMarksTest, TheSortsBusyMessageShowsItsStageAndGoesBeforeEachQuestion) {
    const std::string b = bean(), p = pea();
    expectTest({b, p});
    ASSERT_EQ(program.click("cmdCartesianDifference"), Program::Outcome::Done);
    ASSERT_TRUE(form().MSFlexGrid1.visible);
    const std::string days = generalData("days.txt", {2, 3});

    dialogs.expectOpenFile(kGeneralFileTitle, days);
    dialogs.expectInput(kDecimalsTitle, kDecimalsPrompt, "-1").whileAsked([&] {
        EXPECT_FALSE(form().Label2.visible);
        EXPECT_TRUE(form().MSFlexGrid1.visible) << "what the message hid is back";
        EXPECT_TRUE(form().lblGridKey.visible);
    });
    bool sawReading = false, sawWriting = false;
    const Program::Outcome outcome = program.runCommand([&] {
        runSortAndCount(program, [&](Program& p) {
            fakeSortChoose(p);
            fakeSortSteps(p, {{FakeSortStep::Work, progress_texts::kSortReading, 5}});
            EXPECT_TRUE(form().Label2.visible);
            EXPECT_EQ(form().Label2.caption, std::string(kSortBusy) + "\n(Reading: 5 %)");
            EXPECT_EQ(form().Label2.fontSize, 36);
            // The grid stood in front of the message.
            EXPECT_FALSE(form().MSFlexGrid1.visible);
            EXPECT_FALSE(form().lblGridKey.visible);
            sawReading = true;
            fakeSortSteps(p, {{FakeSortStep::Ask},
                              {FakeSortStep::Work, progress_texts::kSortSorting, 40},
                              {FakeSortStep::Work, progress_texts::kSortWriting, 90}});
            EXPECT_EQ(form().Label2.caption, std::string(kSortBusy) + "\n(Writing: 90 %)");
            EXPECT_FALSE(form().MSFlexGrid1.visible);
            sawWriting = true;
        });
    });
    EXPECT_EQ(outcome, Program::Outcome::Done);
    EXPECT_TRUE(sawReading && sawWriting);
    // The command's end takes the message away, and what it hid comes back.
    EXPECT_FALSE(form().Label2.visible);
    EXPECT_TRUE(form().MSFlexGrid1.visible);
    EXPECT_NE(form().txtDatafile.caption.find("\"days-2_Sorted.txt\""), std::string::npos)
        << form().txtDatafile.caption;
}

TEST_F(WindowMarksTest, TheSortsBusyMessageTakesTheCoverAway) {
    ASSERT_TRUE(form().Image1.visible) << "the cover stands for fifteen seconds after the start";
    const std::string days = generalData("days.txt", {2, 3});
    dialogs.expectOpenFile(kGeneralFileTitle, days);
    dialogs.expectOpenFile(kGeneralFileTitle, days);
    auto work = [&](Program& p) {
        fakeSortChoose(p);
        fakeSortSteps(p, {{FakeSortStep::Work, progress_texts::kSortReading, 0}});
        EXPECT_FALSE(form().Image1.visible);
        EXPECT_TRUE(form().Label2.visible);
        EXPECT_TRUE(form().Label4.visible);
    };
    EXPECT_EQ(program.runCommand([&] { runSortAndCount(program, work); }), Program::Outcome::Done);
    // The timer's reveal later changes nothing visible; a second sort finds no cover.
    EXPECT_EQ(form().IntroPending, "Yes");
    EXPECT_EQ(program.runCommand([&] { runSortAndCount(program, work); }), Program::Outcome::Done);
}

TEST_F(WindowMarksTest, ASortThatDoesNotFinishLeavesAnEmptyChartSayingSo) {
    struct Case {
        const char* what;
        FakeSortStep::Kind end;
        Program::Outcome outcome;
        const char* messageTitle;
        const char* messageText;
    };
    const Case cases[] = {
        {"cancelled from its progress", FakeSortStep::Cancel, Program::Outcome::Cancelled, kRunCancelledTitle,
         kSortCancelledText},
        {"stopped by its input", FakeSortStep::Fail, Program::Outcome::Failed, kSortErrorTitle,
         "The file holds no values."},
    };
    const std::string days = generalData("days.txt", {2, 3});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sortWithChart();
        const std::string line = form().txtDatafile.caption;
        dialogs.expectOpenFile(kGeneralFileTitle, days);
        dialogs.expectMessage(c.messageTitle, c.messageText, Answer::Ok).whileAsked([&] {
            EXPECT_FALSE(form().Label2.visible) << "no busy message under the note";
            EXPECT_EQ(form().MSChart1.title, kNotFinished);
        });
        const Program::Outcome outcome = program.runCommand([&] {
            runSortAndCount(program, [&](Program& p) {
                fakeSortChoose(p);
                fakeSortSteps(p, {{FakeSortStep::Work, progress_texts::kSortSorting, 50}, {c.end}});
            });
        });
        EXPECT_EQ(outcome, c.outcome);
        const ChartControl& chart = form().MSChart1;
        EXPECT_TRUE(chart.visible);
        EXPECT_FALSE(form().Image1.visible);
        EXPECT_EQ(chart.title, kNotFinished);
        EXPECT_TRUE(chart.bars.empty());
        EXPECT_TRUE(chart.curve.empty());
        EXPECT_EQ(chart.note, "");
        EXPECT_FALSE(form().Label2.visible);
        // The line named the first sort's files; the stopped one has none.
        EXPECT_EQ(form().txtDatafile.caption, "") << line;
    }
}

TEST_F(WindowMarksTest, TheNumberOfTreatmentsCancelledEndsTheTestQuietlyAndFourOrMoreNameTheCommandLine) {
    struct Case {
        const char* answer;
        bool quiet;
        bool namesTheLimit;
    };
    const Case cases[] = {
        {"", true, false},   {"4", false, true},  {"3.5", false, true},
        {"12", false, true}, {"1", false, false}, {"many", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("answer \"") + c.answer + "\"");
        dialogs.expectMessage(kDetailInfoTitle, std::nullopt, Answer::No);
        dialogs.expectMessage(kReversedTitle, std::nullopt, Answer::No);
        dialogs.expectInput(kTreatmentCountTitle, kTreatmentCountPrompt, c.answer);
        // The edition's text stays whole; the limit follows it.
        if (!c.quiet) dialogs.expectMessage(kTreatmentCountErrorTitle, std::nullopt, Answer::Ok);
        const Program::Outcome outcome = program.click("cmdCartesianDifference");
        EXPECT_EQ(outcome, c.quiet ? Program::Outcome::Cancelled : Program::Outcome::Failed);
        EXPECT_TRUE(dialogs.done());
        if (!c.quiet) {
            const std::string& text = dialogs.lastText();
            EXPECT_EQ(text.rfind(std::string("The Cartesian paired test compares 2 or 3 treatments.\nThe answer \"") +
                                     c.answer + "\" gives ",
                                 0),
                      0u)
                << text;
            EXPECT_EQ(text.find("at most 3 treatments") != std::string::npos, c.namesTheLimit) << text;
            EXPECT_EQ(text.find("lumera-cli compare takes any number") != std::string::npos, c.namesTheLimit) << text;
        }
        // Either way the window is ready for the next test.
        EXPECT_TRUE(form().cmdCartesianDifference.enabled);
        EXPECT_FALSE(form().Label2.visible);
    }
}

}  // namespace
}  // namespace lumera
