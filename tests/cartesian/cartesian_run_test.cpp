#include <gtest/gtest.h>

#include <cmath>

#include "cartesian/difference_engine.h"
#include "cartesian/treatment_input.h"
#include "shell/program.h"
#include "shell/progress.h"
#include "support/fake_services.h"
#include "support/program_fixture.h"
#include "support/scripted_dialogs.h"
#include "support/treatment_files.h"

namespace lumera {
namespace {

using test::TreatmentSpec;

const char* const kDetailText =
    "Do you need the detailed info?\nIn general you can choose \"No\". If you choose \"Yes\", there will be many "
    "huge files.\n\nAttention: this is only for results of B =3000, and CPT =9000000";
const char* const kDifferencesText =
    "Do you need detailed differences between treatments and normal density curves?\n"
    "   This option is useful to teachers to show the normal curve.\n"
    "   If you are comparing more treatments, there will be many files.\n\n"
    "Yes: Write detailed differences between treatments and normal density curves.\n"
    "No: Don't write detailed differences between treatments.\n";
const char* const kCountTitle = "Read data file one by one for paired comparison using Cartesian Product";
const char* const kFlowName = "25A-Cartesian diff_0_Flow.txt";
const std::string kReportLines =
    "Sub PrintMultiCIofDifference\r\nSub PrintPairTestTable\r\nSub ShowMultiCIofDifference\r\n";

struct Options {
    bool detail = false;
    bool flow = false;
    bool differences = false;
    bool reversed = false;
};

class CartesianRunTest : public test::ProgramTest {
protected:
    void expectOptions(Options o) {
        // Enter must not lead to the detail files; the other questions keep the first button.
        dialogs
            .expectMessage("Do you need detailed info?", kDetailText, o.detail ? Answer::Yes : Answer::No,
                           Buttons::YesNo)
            .withDefault(Answer::No);
        if (o.detail) {
            dialogs
                .expectMessage("Do you need flow record?", "Do you need the record of program flow?",
                               o.flow ? Answer::Yes : Answer::No, Buttons::YesNo)
                .withDefault(std::nullopt);
            dialogs
                .expectMessage("Detailed differences", kDifferencesText, o.differences ? Answer::Yes : Answer::No,
                               Buttons::YesNo)
                .withDefault(Answer::No);
        }
        dialogs
            .expectMessage("Reversed sort", "Do you want to do reversed sort?", o.reversed ? Answer::Yes : Answer::No,
                           Buttons::YesNo)
            .withDefault(std::nullopt);
    }

    void expectInput(const std::string& count, const std::vector<std::string>& files,
                     const std::string& transform = "0") {
        dialogs.expectInput(kCountTitle, "Enter number of treatments", count);
        dialogs.expectInput("Transformation?", "No transformation (0), Arcsine (1), or logit (2) transformation?",
                            transform);
        for (std::size_t t = 0; t < files.size(); ++t)
            dialogs.expectOpenFile("Input treatment " + std::to_string(t + 1), files[t]);
    }

    // The report's two prompts after the engine.
    void expectReport() {
        dialogs.expectInput("Add a code to the output filename?", std::nullopt, "1");
        dialogs.expectMessage("Task completed", std::nullopt, Answer::Ok);
    }

    Program::Outcome run(Options o, const std::string& count, const std::vector<std::string>& files,
                         const std::string& transform = "0") {
        expectOptions(o);
        expectInput(count, files, transform);
        expectReport();
        return program.click("cmdCartesianDifference");
    }

    // The window after any run, finished or stopped: locked for the next test.
    void expectWindowLockedForNextTest() {
        Form1& f = program.form1();
        EXPECT_TRUE(f.cmdCartesianDifference.enabled);
        EXPECT_FALSE(f.Command1.enabled);
        EXPECT_FALSE(f.Image1.visible);
    }

    RunState& s() { return program.state(); }
};

TEST_F(CartesianRunTest, NoToDetailSkipsTwoQuestionsAndFlagsFollowEachRun) {
    std::string a = treatment("a.txt", {.name = "Low", .code = "A", .replicates = {1, 2, 3}});
    std::string b = treatment("b.txt", {.name = "High", .code = "B", .replicates = {3, 4, 5}});

    ASSERT_EQ(run({.detail = true, .flow = false, .differences = false, .reversed = true}, "2", {a, b}),
              Program::Outcome::Done);
    EXPECT_EQ(s().DetailedInfo, Flag::Yes);
    EXPECT_EQ(s().FlowRecord, Flag::No);
    EXPECT_EQ(s().DetailedDifferences, Flag::No);
    EXPECT_EQ(s().ReversedSort, Flag::Yes);

    ASSERT_EQ(run({.detail = false, .reversed = false}, "2", {a, b}), Program::Outcome::Done);
    EXPECT_EQ(s().DetailedInfo, Flag::No);
    EXPECT_EQ(s().FlowRecord, Flag::No);
    EXPECT_EQ(s().DetailedDifferences, Flag::No);
    EXPECT_EQ(s().ReversedSort, Flag::No);
    EXPECT_FALSE(program.flowRecordOpen());
    expectWindowLockedForNextTest();
}

TEST_F(CartesianRunTest, FlowRecordNamesTheTestAndCountsItsProcedures) {
    std::string a = treatment("a.txt", {.replicates = {1, 2, 3}});
    std::string b = treatment("b.txt", {.replicates = {3, 4, 5}});
    std::string c = treatment("c.txt", {.replicates = {2, 2.5, 4}});
    ASSERT_EQ(run({.detail = true, .flow = true}, "3", {a, b, c}), Program::Outcome::Done);
    EXPECT_EQ(s().FlowFileName, kFlowName);
    program.closeAllFiles();
    EXPECT_EQ(test::readFile(folder.file(kFlowName)),
              "Sub CartesianDifference2\r\nSub QuickSort\r\nSub QuickSort\r\nSub QuickSort\r\n" + kReportLines);

    // Asked again, the record starts anew; with it off, nothing is added.
    ASSERT_EQ(run({.detail = true, .flow = true}, "2", {a, b}), Program::Outcome::Done);
    ASSERT_EQ(run({.detail = true, .flow = false}, "2", {a, b}), Program::Outcome::Done);
    program.closeAllFiles();
    EXPECT_EQ(test::readFile(folder.file(kFlowName)), "Sub CartesianDifference2\r\nSub QuickSort\r\n" + kReportLines);
}

TEST_F(CartesianRunTest, TreatmentsAreOrderedByBootstrapMean) {
    std::string first = treatment("first.txt", {.name = "First", .code = "F", .replicates = {5.1, 5.3}});
    std::string second = treatment("second.txt", {.name = "Second", .code = "S", .replicates = {7.8, 8.0}});
    ASSERT_EQ(run({}, "2", {first, second}), Program::Outcome::Done);
    EXPECT_EQ(s().TreatName[1], "Second");
    EXPECT_EQ(s().TreatName[2], "First");
    EXPECT_EQ(s().TreatFileName[1], first);  // file names stay in the order of choosing
    EXPECT_EQ(s().LastTreatCode, "S");
    ASSERT_EQ(run({.reversed = true}, "2", {first, second}), Program::Outcome::Done);
    EXPECT_EQ(s().TreatName[1], "First");
    EXPECT_EQ(s().TreatName[2], "Second");

    // Means 2, 2, 3: the exchanges bring the equal pair out in reverse.
    std::string p = treatment("p.txt", {.name = "P", .replicates = {1, 3}});
    std::string q = treatment("q.txt", {.name = "Q", .replicates = {2, 2}});
    std::string r = treatment("r.txt", {.name = "R", .replicates = {2, 4}});
    ASSERT_EQ(run({}, "3", {p, q, r}), Program::Outcome::Done);
    EXPECT_EQ(s().TreatName[1] + s().TreatName[2] + s().TreatName[3], "RQP");
    EXPECT_EQ(s().TableRuleEqual, std::string(48, '='));
    ASSERT_EQ(run({.reversed = true}, "3", {p, q, r}), Program::Outcome::Done);
    EXPECT_EQ(s().TreatName[1] + s().TreatName[2] + s().TreatName[3], "PQR");
}

TEST_F(CartesianRunTest, MarkerAndExtraReplicatesReadTheSameReplicates) {
    std::string plain = treatment("plain.txt", {.replicates = {1, 2, 3}});
    std::string marked = treatment("marked.txt", {.replicates = {4, 5, 6}, .endMarker = true});
    std::string extra = treatment("extra.txt", {.replicates = {4, 5, 6, 100, 200}, .announcedB = 3});
    ASSERT_EQ(run({}, "2.5", {plain, marked}), Program::Outcome::Done);  // 2.5 rounds to 2
    EXPECT_EQ(s().TreatmentCount, 2);
    EXPECT_EQ(s().BootMean[1], 5);
    std::vector<double> first = s().BootData[1];
    ASSERT_EQ(run({}, "2", {plain, extra}), Program::Outcome::Done);
    EXPECT_EQ(s().BootData[1], first);
    EXPECT_EQ(s().BootMean[1], 5);
    EXPECT_EQ(s().BootCount[1], 3);
}

TEST_F(CartesianRunTest, StatisticsAndTheFRatio) {
    std::string a = treatment("a.txt", {.sampleSize = 10, .replicates = {3, 4, 5}});
    std::string b = treatment("b.txt", {.sampleSize = 10, .replicates = {1, 2, 3}});
    ASSERT_EQ(run({}, "2", {a, b}), Program::Outcome::Done);
    EXPECT_EQ(s().EffectiveBootCount[2], 3);
    EXPECT_EQ(s().BootMean[2], 2);
    EXPECT_EQ(s().BootVariance[2], 1);
    EXPECT_EQ(s().BootSE[2], 1);
    EXPECT_EQ(s().DfBetween, 1);
    EXPECT_EQ(s().DfWithin, 18);
    EXPECT_EQ(s().FValue, 20);
    EXPECT_NEAR(s().SidakAlpha, 0.05, 1e-15);

    // No spread within the treatments: the F ratio of this run is 0, not the last one.
    std::string c = treatment("c.txt", {.sampleSize = 10, .replicates = {2, 2, 2}});
    std::string d = treatment("d.txt", {.sampleSize = 10, .replicates = {1, 1, 1}});
    ASSERT_EQ(run({}, "2", {c, d}), Program::Outcome::Done);
    EXPECT_EQ(s().FValue, 0);
}

TEST_F(CartesianRunTest, PairResultsAtTheirBoundaries) {
    // All differences 1, strictly between 0 and 2D = 2: P = 0, no spread.
    std::string two = treatment("two.txt", {.replicates = {2, 2, 2}});
    std::string one = treatment("one.txt", {.replicates = {1, 1, 1}});
    ASSERT_EQ(run({}, "2", {one, two}), Program::Outcome::Done);
    EXPECT_EQ(s().MeanDiff[1][2], 1);
    EXPECT_EQ(s().DiffSE[1][2], 0);
    EXPECT_EQ(s().TLower[1][2], 1);
    EXPECT_EQ(s().TUpper[1][2], 1);
    EXPECT_EQ(s().PValue[1][2], 0);
    EXPECT_EQ(s().CountSignificant[1][2], 9);
    EXPECT_EQ(s().PctLower[1][2], 1);

    // Identical treatments: every difference lies in a tail, P = 1.
    std::string same1 = treatment("same1.txt", {.replicates = {1.5, 2.5, 4}});
    std::string same2 = treatment("same2.txt", {.replicates = {1.5, 2.5, 4}});
    ASSERT_EQ(run({}, "2", {same1, same2}), Program::Outcome::Done);
    EXPECT_EQ(s().CountSignificant[1][2], 0);
    EXPECT_EQ(s().PValue[1][2], 1);
    EXPECT_EQ(s().PValueTable[2][1], 1);

    // A difference of exactly 0 and one of exactly 2D are both insignificant.
    // Means 3 and 2 (D = 1): the differences are -1, 0, 1, 2, 1, 2, 3 ... of {2,3,4} - {1,2,3}.
    std::string hi = treatment("hi.txt", {.replicates = {2, 3, 4}});
    std::string lo = treatment("lo.txt", {.replicates = {1, 2, 3}});
    ASSERT_EQ(run({.reversed = true}, "2", {hi, lo}), Program::Outcome::Done);
    // Reversed: position 1 has the smaller mean, so the pair runs the other way.
    EXPECT_EQ(s().TreatName[1], "Control");
    EXPECT_EQ(s().BootMean[1], 2);
    EXPECT_EQ(s().CountAtMostZero[1][2], 3);    // -1, 0, 0
    EXPECT_EQ(s().CountAtLeastTwice[1][2], 3);  // 2, 2, 3
    EXPECT_EQ(s().CountSignificant[1][2], 3);   // 1, 1, 1
    EXPECT_EQ(s().CountSignificant[1][2] + s().CountInsignificant[1][2], 9);
    EXPECT_EQ(s().MeanDiff[1][2], 1);
    EXPECT_EQ(s().PValue[1][2], 6.0 / 9.0);
    EXPECT_EQ(s().PValue[2][1], s().PValue[1][2]);
}

TEST_F(CartesianRunTest, PercentilePositionsRoundHalfToEven) {
    EXPECT_EQ(percentilePositions(9'000'000).lo, 225'000);
    EXPECT_EQ(percentilePositions(9'000'000).hi, 8'775'000);
    EXPECT_EQ(percentilePositions(9).lo, 1);
    EXPECT_EQ(percentilePositions(9).hi, 9);
    EXPECT_EQ(percentilePositions(40).lo, 2);   // 1.5 goes to the even 2
    EXPECT_EQ(percentilePositions(80).lo, 2);   // 2.5 goes to 2
    EXPECT_EQ(percentilePositions(120).lo, 4);  // 3.5 goes to 4
}

TEST_F(CartesianRunTest, ProgressLabelsTakeTheirCaptionsAndColours) {
    std::string a = treatment("a.txt", {.replicates = {1, 2, 3}});
    std::string b = treatment("b.txt", {.replicates = {3, 4, 5}});
    std::string c = treatment("c.txt", {.replicates = {2, 2.5, 4}});
    Form1& f = program.form1();
    f.MSChart1.visible = true;  // left by an earlier sort and count
    ASSERT_EQ(run({}, "3", {a, b, c}), Program::Outcome::Done);
    EXPECT_EQ(f.Label2.caption,
              "I am running Cartesian paired test.\nPlease wait!\nDon't touch me!\n(Comparing 2 with 3)\n(Sorting...)");
    EXPECT_EQ(f.Label2.foreColor, (Color{255, 0, 0}));  // red, blue, red over three pairs
    EXPECT_EQ(f.Label2.fontSize, 36);
    EXPECT_EQ(f.lblBootBegin.caption, "Cartesian paired test began at:2026-12-09 14:05:07");
    EXPECT_EQ(s().BeganText, f.lblBootBegin.caption);
    EXPECT_EQ(f.Label6.caption, "2026-12-09 14:05:07\nTreat 2 to treat 3");
    EXPECT_EQ(f.Label6.height, 615);
    EXPECT_EQ(f.Label6.backColor, (Color{255, 0, 0}));  // yellow -> red -> yellow -> red
    EXPECT_FALSE(f.Label14.visible);
    // The report then takes the graph frame over: grid shown, busy message gone.
    EXPECT_TRUE(f.MSFlexGrid1.visible);
    EXPECT_FALSE(f.Label2.visible);
    EXPECT_FALSE(f.MSChart1.visible);
}

// Another Progress installed in the program (as the command line does) sees
// each step, and passing them on leaves the window as it always is.
TEST_F(CartesianRunTest, AnInstalledProgressSeesEachStepInOrder) {
    struct Recorder : Progress {
        Progress& window;
        std::vector<std::string> seen;
        explicit Recorder(Progress& window) : window(window) {}
        void runStarted(const std::string& busy) override {
            seen.push_back("started " + busy.substr(busy.rfind('\n') + 1));
            window.runStarted(busy);
        }
        void runBegan(const std::string& began) override {
            seen.push_back(began);
            window.runBegan(began);
        }
        void pairStarted(int i, int j) override {
            seen.push_back(progress_texts::comparing(i, j));
            window.pairStarted(i, j);
        }
        void detailFiles(int i, int j, int percent) override {
            seen.push_back(progress_texts::detailFiles(percent));
            window.detailFiles(i, j, percent);
        }
        void sorting(int i, int j) override {
            seen.push_back(progress_texts::kSorting);
            window.sorting(i, j);
        }
        void pairDone(int i, int j, const DateTime& now) override {
            seen.push_back("done " + std::to_string(i) + " " + std::to_string(j) + " " + now.text());
            window.pairDone(i, j, now);
        }
    } recorder(program.form1());
    program.setProgress(&recorder);
    std::string a = treatment("a.txt", {.replicates = {1, 2, 3}});
    std::string b = treatment("b.txt", {.replicates = {3, 4, 5}});
    std::string c = treatment("c.txt", {.replicates = {2, 2.5, 4}});
    const Program::Outcome outcome = run({}, "3", {a, b, c});
    program.setProgress(nullptr);
    ASSERT_EQ(outcome, Program::Outcome::Done);
    EXPECT_EQ(&program.progress(), static_cast<Progress*>(&program.form1()));
    const std::vector<std::string> want = {
        "started Don't touch me!",
        "Cartesian paired test began at:2026-12-09 14:05:07",
        "(Comparing 1 with 2)",
        "(Sorting...)",
        "done 1 2 2026-12-09 14:05:07",
        "(Comparing 1 with 3)",
        "(Sorting...)",
        "done 1 3 2026-12-09 14:05:07",
        "(Comparing 2 with 3)",
        "(Sorting...)",
        "done 2 3 2026-12-09 14:05:07",
    };
    EXPECT_EQ(recorder.seen, want);
    Form1& f = program.form1();
    EXPECT_EQ(f.Label2.foreColor, (Color{255, 0, 0}));
    EXPECT_EQ(f.Label6.caption, "2026-12-09 14:05:07\nTreat 2 to treat 3");
    EXPECT_EQ(f.Label6.backColor, (Color{255, 0, 0}));
    EXPECT_FALSE(f.Label2.visible);
}

// Each input the analysis cannot process: its message, the run ends, the
// window goes back to its state after a run, and nothing is written.
TEST_F(CartesianRunTest, BadInputIsStoppedWithItsMessage) {
    std::string good = treatment("good.txt", {.replicates = {1, 2, 3}});
    std::string good2 = treatment("good2.txt", {.replicates = {2, 3, 4}});
    std::string shortFile = treatment("short.txt", {.replicates = {1, 2}, .announcedB = 3});
    std::string marked = treatment("marked.txt", {.replicates = {1, 2}, .announcedB = 3, .endMarker = true});
    std::string oneB = treatment("one.txt", {.replicates = {1}});
    std::string fraction = treatment("fraction.txt", {.replicates = {0.2, 1.5, 0.4}});
    std::string zero = treatment("zero.txt", {.replicates = {0.2, 0, 0.4}});
    std::string unit = treatment("unit.txt", {.replicates = {0.1, 0.5, 0.9}});
    std::string text = folder.file("word.txt");
    {
        std::ofstream out(text, std::ios::binary);
        out << "\"T\",\"R0\",30,\"x\",3,\"C\",30,1.5\r\n1\r\ntwo\r\n3\r\n";
    }
    // Squares beyond double precision: of one file's replicates, or only of
    // the pair's differences.
    std::string huge = treatment("huge.txt", {.name = "Huge", .replicates = {1, 1E+308, 2}});
    std::string high = treatment("high.txt", {.name = "High", .sampleSize = 2, .replicates = {6E+153, 5E+153}});
    std::string low = treatment("low.txt", {.name = "Low", .sampleSize = 2, .replicates = {-6E+153, -5E+153}});
    // Squares below double precision: of one file's deviations from its
    // mean, or only of the pair's differences.
    std::string tiny = treatment("tiny.txt", {.name = "Tiny", .replicates = {1E-200, 1.2E-200, 0.9E-200}});
    std::string zeroOne = treatment("zero_one.txt", {.name = "ZeroOne", .replicates = {0, 1}});
    std::string nearZeroOne = treatment("near.txt", {.name = "NearZeroOne", .replicates = {1E-170, 1}});
    std::string slashCode = treatment("slash.txt", {.code = "A/B", .replicates = {1, 2, 3}});
    std::string header = folder.file("header.txt");
    {
        std::ofstream out(header, std::ios::binary);
        out << "\"T\",\"R0\",30,\"x\",3\r\n";
    }
    const std::vector<std::string> inputs = folder.names();

    struct Case {
        std::string count;
        std::vector<std::string> files;
        std::string transform;
        std::string title;
        std::string textPart;
    };
    const std::vector<Case> cases = {
        {"1", {}, "0", "Number of treatments", "2 or 3"},
        {"3.5", {}, "0", "Number of treatments", "gives 4"},
        {"many", {}, "0", "Number of treatments", "\"many\""},
        {"2", {good, folder.file("missing.txt")}, "0", "Reading a treatment file", "Cannot open the file"},
        {"2", {good, shortFile}, "0", "Reading a treatment file", "announces B = 3 bootstrap replicates but holds 2"},
        {"2", {good, marked}, "0", "Reading a treatment file", "holds 2"},
        {"2",
         {good, oneB},
         "0",
         "Reading a treatment file",
         oneB + ", line 1, field 5: the number of bootstrap replicates B must lie between 2 and 9000005; the field "
                "holds 1."},
        {"2", {good, text}, "0", "Reading a treatment file", text + ", line 3, field 10: \"two\" is not a number."},
        {"2",
         {good, header},
         "0",
         "Reading a treatment file",
         header + ": the file ends after line 1, before field 6."},
        {"2",
         {unit, fraction},
         "1",
         "Transformation",
         fraction + ", line 3, field 10: replicate 2 is 1.5.\nThe arcsine transformation needs"},
        {"2",
         {unit, zero},
         "2",
         "Transformation",
         zero + ", line 3, field 10: replicate 2 is 0.\nThe logit transformation needs 0 < x < 1"},
        {"2", {good, huge}, "0", "Values too large", "Treatment Huge, file: " + huge + "\nValues too large: "},
        {"2", {low, high}, "0", "Values too large", "Treatments High and Low\nValues too large: "},
        {"2", {good, tiny}, "0", "Values too small", "Treatment Tiny, file: " + tiny + "\nValues too small: "},
        {"2",
         {zeroOne, nearZeroOne},
         "0",
         "Values too small",
         "Treatments ZeroOne and NearZeroOne\nValues too small: "},
        {"2",
         {good, slashCode},
         "0",
         "Reading a treatment file",
         slashCode + ", line 1, field 6: the treatment code cannot be part of a file name: it holds a \"/\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title + ": " + c.textPart);
        expectOptions({});
        dialogs.expectInput(kCountTitle, std::nullopt, c.count);
        if (!c.files.empty()) {
            dialogs.expectInput("Transformation?", std::nullopt, c.transform);
            for (std::size_t t = 0; t < c.files.size(); ++t)
                dialogs.expectOpenFile("Input treatment " + std::to_string(t + 1), c.files[t]);
        }
        dialogs.expectMessage(c.title, std::nullopt, Answer::Ok);
        EXPECT_EQ(program.click("cmdCartesianDifference"), Program::Outcome::Failed);
        EXPECT_TRUE(dialogs.done());
        EXPECT_NE(dialogs.lastText().find(c.textPart), std::string::npos) << dialogs.lastText();
        expectWindowLockedForNextTest();
        EXPECT_FALSE(program.form1().Label2.visible);
        EXPECT_TRUE(program.form1().Label14.visible);
    }
    EXPECT_EQ(folder.names(), inputs);
}

TEST_F(CartesianRunTest, CancelAndRepeatedQuestionsEndOrGoOnQuietly) {
    std::string a = treatment("a.txt", {.replicates = {0.2, 0.5, 0.7}});
    std::string b = treatment("b.txt", {.replicates = {0.1, 0.3, 1}});
    // A transformation answer that is no number is asked again.
    expectOptions({});
    dialogs.expectInput(kCountTitle, std::nullopt, "2");
    dialogs.expectInput("Transformation?", std::nullopt, "arcsine");
    dialogs.expectInput("Transformation?", std::nullopt, " 1 ");
    dialogs.expectOpenFile("Input treatment 1", a);
    dialogs.expectOpenFile("Input treatment 2", b);
    expectReport();
    ASSERT_EQ(program.click("cmdCartesianDifference"), Program::Outcome::Done);
    // The second file has the larger transformed mean and comes first.
    EXPECT_EQ(s().TreatFileName[2], b);
    EXPECT_DOUBLE_EQ(s().BootData[1][3], std::asin(1.0));  // x = 1 gives pi/2
    EXPECT_DOUBLE_EQ(s().BootData[2][2], std::asin(std::sqrt(0.5)));

    expectOptions({});
    dialogs.expectInput(kCountTitle, std::nullopt, "2");
    dialogs.expectInput("Transformation?", std::nullopt, "");
    EXPECT_EQ(program.click("cmdCartesianDifference"), Program::Outcome::Cancelled);

    expectOptions({});
    dialogs.expectInput(kCountTitle, std::nullopt, "2");
    dialogs.expectInput("Transformation?", std::nullopt, "0");
    dialogs.expectOpenFile("Input treatment 1", a);
    dialogs.expectOpenFile("Input treatment 2", "");
    EXPECT_EQ(program.click("cmdCartesianDifference"), Program::Outcome::Cancelled);
    expectWindowLockedForNextTest();
}

TEST(Transformations, LimitsOfArcsineAndLogit) {
    EXPECT_TRUE(std::isnan(transformReplicate(1.0000001, Transformation::Arcsine)));
    EXPECT_TRUE(std::isnan(transformReplicate(-0.1, Transformation::Arcsine)));
    EXPECT_EQ(transformReplicate(0, Transformation::Arcsine), 0);
    EXPECT_TRUE(std::isnan(transformReplicate(1, Transformation::Logit)));
    EXPECT_TRUE(std::isnan(transformReplicate(0, Transformation::Logit)));
    EXPECT_EQ(transformReplicate(0.5, Transformation::Logit), 0);
    EXPECT_EQ(transformReplicate(-7.25, Transformation::None), -7.25);
}

}  // namespace
}  // namespace lumera

namespace lumera {
namespace {

class PairChartClickTest : public CartesianRunTest {};

TEST_F(PairChartClickTest, AGridCellShowsItsPairUntilALaterTestReplacesTheTreatments) {
    const std::vector<double> low = {1, 2, 3, 4}, high = {3, 4, 5, 7.5};
    std::string a = treatment("a.txt", {.name = "Low", .code = "A", .replicates = low});
    std::string b = treatment("b.txt", {.name = "High", .code = "B", .replicates = high});
    ASSERT_EQ(run({.detail = false}, "2", {a, b}), Program::Outcome::Done);
    Form1& f = program.form1();
    ASSERT_TRUE(f.MSFlexGrid1.visible);

    f.MSFlexGrid1.row = 2;  // the pair's P cell
    f.MSFlexGrid1.col = 1;
    ASSERT_EQ(program.click("MSFlexGrid1"), Program::Outcome::Done);
    EXPECT_FALSE(f.MSFlexGrid1.visible);
    ASSERT_TRUE(f.MSChart2.visible);
    const ChartControl& chart = f.MSChart2;
    EXPECT_EQ(chart.title.rfind("High - Low: mean difference ", 0), 0u) << chart.title;
    // Every High - Low difference in exactly one bar.
    std::vector<double> d;
    for (double x : high)
        for (double y : low) d.push_back(x - y);
    double counted = 0;
    for (const ChartBar& bar : chart.bars) {
        const bool last = &bar == &chart.bars.back();
        counted += bar.count;
        EXPECT_EQ(bar.count, std::count_if(d.begin(), d.end(), [&](double v) {
                      return bar.lower <= v && (v < bar.upper || (last && v == bar.upper));
                  }));
    }
    EXPECT_EQ(counted, 16);
    // The four limits the report states.
    std::vector<double> marks;
    for (const ChartMark& m : chart.marks) marks.push_back(m.x);
    EXPECT_EQ(marks, (std::vector<double>{s().TLower[1][2], s().TUpper[1][2], s().PctLower[1][2], s().PctUpper[1][2]}));
    EXPECT_EQ(chart.marks[0].style, LineStyle::Dashed);
    EXPECT_EQ(chart.marks[2].style, LineStyle::Solid);

    ASSERT_EQ(program.click("MSChart2"), Program::Outcome::Done);
    EXPECT_FALSE(f.MSChart2.visible);
    EXPECT_TRUE(f.MSFlexGrid1.visible);
    f.MSFlexGrid1.row = 0;  // a name, not a pair
    program.click("MSFlexGrid1");
    EXPECT_FALSE(f.MSChart2.visible);

    // A new test stopped in its file dialogue has replaced part of the
    // treatments: the old grid's chart would no longer be its own.
    expectOptions({.detail = false});
    dialogs.expectInput(kCountTitle, "Enter number of treatments", "2");
    dialogs.expectInput("Transformation?", std::nullopt, "0");
    dialogs.expectOpenFile("Input treatment 1", b);
    dialogs.expectOpenFile("Input treatment 2", "");
    program.click("cmdCartesianDifference");
    ASSERT_TRUE(f.MSFlexGrid1.visible) << "the stopped test leaves the old grid in view";
    dialogs.expectMessage("Pair chart", std::nullopt, Answer::Ok, Buttons::Ok);
    f.MSFlexGrid1.row = 1;
    f.MSFlexGrid1.col = 2;
    program.click("MSFlexGrid1");
    EXPECT_FALSE(f.MSChart2.visible);
}

}  // namespace
}  // namespace lumera
