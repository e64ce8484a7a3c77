#include "sorting/sort_and_count.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <random>
#include <sstream>

#include "cli/cli_app.h"
#include "reference/literal_quick_sort.h"
#include "shell/program.h"
#include "sorting/normality_test.h"
#include "support/fake_services.h"
#include "support/program_fixture.h"
#include "support/scripted_dialogs.h"
#include "support/sort_progress.h"
#include "support/treatment_files.h"
#include "textio/number_forms.h"

namespace lumera {
namespace {

const char* const kKindTitle = "Sort and count general data or bootstrap results";
const char* const kKindText =
    "You can use this button to sort a data file.\nChoose a general data file or a bootstrap resampling file to "
    "sort.Don't choose a \"sorted\" file. It is already sorted. You don't need to sort it again.  You can use it to "
    "prepare figures.\n\nYes: General integer data (Individual developmental duration, longevity, fecundity, etc). "
    "You will get the sorted and counted files. You will see the frequency distribution. No bootstrap technique "
    "will be used. The output files are not for paired test.\n\nNo: Bootstrap results (e.g., Effec Boot-A1a). Your "
    "bootstrap results will be sorted and counted.\n\nCancel: PBT or CPT results (e.g., file no. 24 or 25). \n\n";
const char* const kSerialText =
    "Are there serial numbers in your data file (Yes: i and x(i), No: x(i) only.\nMost bootstrap results are "
    "without serial numbers.\nBootstrap results of population parameters are offered in both formats.";
const char* const kDecimalsTitle = "Limit the decimal points?";
const char* const kDecimalsPrompt =
    "Limit of decimal points (0, 1, 2, 3, 4, 5 and -1).\n[Enter -1 (minus 1) to use double precision.]";
const char* const kSortedHeader = "\"Sorted serial no.\",\"Original serial no.\",\"Sorted data\"\r\n";

enum class Kind { General, Boot, Pbt };

void writeText(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

class SortAndCountTest : public test::ProgramTest {
protected:
    void expectQuestions(Kind kind, bool serials, const std::string& file) {
        dialogs
            .expectMessage(kKindTitle, kKindText,
                           kind == Kind::General ? Answer::Yes
                           : kind == Kind::Boot  ? Answer::No
                                                 : Answer::Cancel,
                           Buttons::YesNoCancel)
            .withDefault(std::nullopt);
        // Most files have no serial numbers: Enter must say so.
        dialogs.expectMessage("Data formate", kSerialText, serials ? Answer::Yes : Answer::No, Buttons::YesNo)
            .withDefault(Answer::No);
        dialogs.expectOpenFile(
            kind == Kind::General ? "Open a general data file to sort" : "Open a bootstrap file to sort", file);
    }
    void expectClosing() {
        dialogs.expectMessage(kDecimalsTitle, "Bootstrap results sorted and data file ready!", Answer::Cancel,
                              Buttons::OkCancel);
        dialogs.expectMessage(kDecimalsTitle, "File of data counts is ready!", Answer::Ok, Buttons::OkCancel);
    }
    void expectSort(Kind kind, bool serials, const std::string& file, const std::string& decimals = "-1") {
        expectQuestions(kind, serials, file);
        dialogs.expectInput(kDecimalsTitle, kDecimalsPrompt, decimals);
        expectClosing();
    }
    // A whole run of the sort and count with one decimals answer.
    Program::Outcome sort(Kind kind, bool serials, const std::string& file, const std::string& decimals = "-1") {
        expectSort(kind, serials, file, decimals);
        return program.runCommand([&] { SortForBootstrapResults(program); });
    }
    std::string read(const std::string& name) { return test::readFile(folder.file(name)); }
    std::string version() { return program.state().VersionText; }

    RunState& s() { return program.state(); }
};

TEST_F(SortAndCountTest, GeneralDataWithSerialsStopsAtTheEndRecord) {
    const std::string in = folder.file("dur.txt");
    writeText(in, "\"Pest study\",\"x\",\"Duration\"\r\n101,5\r\n102,3\r\n103,4\r\n104,2\r\n-1,0\r\n105,9\r\n");
    ASSERT_EQ(sort(Kind::General, true, in), Program::Outcome::Done);

    EXPECT_EQ(read("dur-2_Sorted.txt"),
              std::string("\"Project: Pest study\"\r\n\"Sample size =\",4\r\n\"Sample mean = \",3.5\r\n") +
                  kSortedHeader + "1,4,2\r\n2,2,3\r\n3,3,4\r\n4,1,5\r\n");
    // N = 4: only the median position (2) exists.
    EXPECT_EQ(read("dur-1_0.025, 0.5 and 0.975 Duration.txt"),
              "\"The 0.5 percentile life table of Duration is 2\"\r\n");
    EXPECT_EQ(read("dur-3_Sorted and counts.txt"),
              "\"Project: Pest study\"\r\n\"Sample size =\",4\r\n\"Sample mean = \",3.5\r\n\"Total classes =\",4\r\n"
              "\"Group serial no.\",\"Value\",\"Count\"\r\n1,2,1\r\n2,3,1\r\n3,4,1\r\n4,5,1\r\n");
    EXPECT_EQ(s().DataKind, SortDataKind::General);
    EXPECT_EQ(s().WithSerialNumbers, Flag::Yes);
    EXPECT_EQ(s().SortAndCountUsed, Flag::Yes);
    EXPECT_EQ(s().ProjectName, "Pest study");
    EXPECT_EQ(s().DataSetName, "Duration");
    EXPECT_EQ(s().ClassCount, 4);
    EXPECT_EQ(s().FileStem, folder.file("dur"));
}

TEST_F(SortAndCountTest, GeneralDataWithoutSerialsRoundsHalvesUpAtZeroDecimals) {
    const std::string in = folder.file("v.txt");
    writeText(in, "\"P\",\"x\",\"Vals\"\r\n2.5\r\n-2.5\r\n2.4\r\n4\r\n7\r\n-1\r\n8\r\n");
    ASSERT_EQ(sort(Kind::General, false, in, "0"), Program::Outcome::Done);
    // The mean is of the values as read, before rounding.
    EXPECT_EQ(read("v-2_Sorted-0 decimals.txt"),
              std::string("\"Project: P\"\r\n\"Sample size =\",5\r\n\"Sample mean = \",2.68\r\n") + kSortedHeader +
                  "1,2,-2\r\n2,3,2\r\n3,1,3\r\n4,4,4\r\n5,5,7\r\n");
    // N = 5 is odd and not a multiple of 40: the file exists and is empty.
    EXPECT_EQ(read("v-1_0.025, 0.5 and 0.975 Vals0 decimals.txt"), "");
    EXPECT_EQ(read("v-3_Sorted and counts-0 decimals.txt"),
              "\"Project: P\"\r\n\"Sample size =\",5\r\n\"Sample mean = \",2.68\r\n\"Total classes =\",5\r\n"
              "\"Group serial no.\",\"Value\",\"Count\"\r\n1,-2,1\r\n2,2,1\r\n3,3,1\r\n4,4,1\r\n5,7,1\r\n");
    EXPECT_EQ(s().DecimalLimit, 0);
}

TEST_F(SortAndCountTest, BootstrapResultsAtTwoDecimalsReadOnlyBValues) {
    // -1 is an ordinary value here; the sixth value lies past B.
    const std::string in =
        test::writeTreatment(folder.file("Boot-A.txt"), {.name = "Control",
                                                         .code = "R0",
                                                         .sampleSize = 30,
                                                         .original = 1.5,
                                                         .replicates = {1.234, 1.236, 0.5, 2, -1, 99},
                                                         .announcedB = 5});
    ASSERT_EQ(sort(Kind::Boot, false, in, "2"), Program::Outcome::Done);
    EXPECT_EQ(read("Boot-A-2_Sorted-2 decimals.txt"),
              "\"Project:  " + version() +
                  "\"\r\n\"Original mean =\",1.5\r\n\"Bootstrap sample size (n) = \",30\r\n"
                  "\"Total effective bootstrap number (B) = \",5\r\n\"Sample size or mean (A)= 30, (B)=0.794\"\r\n"
                  "\"Variable: Control\"\r\n" +
                  kSortedHeader + "1,5,-1\r\n2,3,.5\r\n3,1,1.23\r\n4,2,1.24\r\n5,4,2\r\n");
    EXPECT_EQ(read("Boot-A-1_0.025, 0.5 and 0.975 R02 decimals.txt"), "");
    EXPECT_EQ(read("Boot-A-3_Sorted and counts-2 decimals.txt"),
              "\"Project:  " + version() +
                  "\"\r\n\"Sample size or Original mean (A) =30, (B)=\",1.5\r\n\"Next line is sample size\"\r\n30\r\n"
                  "\"Total effective bootstrap number (B) = \",5,\"Total classes =\",5\r\n"
                  "\"Group serial no.\",\"Value\",\"Count\"\r\n1,-1,1\r\n2,.5,1\r\n3,1.23,1\r\n4,1.24,1\r\n5,2,1\r\n");
    EXPECT_EQ(s().DataKind, SortDataKind::Boot);
    EXPECT_EQ(folder.names().size(), 4u);
}

TEST_F(SortAndCountTest, AHeaderAnnouncingMoreValuesThanTheFileHoldsSortsThoseItHolds) {
    // The output is made ready for the announced count while the file is
    // read; only the values read are sorted and written.
    const std::string in = test::writeTreatment(folder.file("Boot-B.txt"), {.name = "Control",
                                                                            .code = "R0",
                                                                            .sampleSize = 30,
                                                                            .original = 1.5,
                                                                            .replicates = {2.5, -0.25, 2.5},
                                                                            .announcedB = 100000});
    ASSERT_EQ(sort(Kind::Boot, false, in), Program::Outcome::Done);
    // The order of the two equal values is the literal sort's.
    std::int16_t limit = 0;
    const auto want = reference::literalQuickSort({0, 2.5, -0.25, 2.5}, {0, 1, 2, 3}, limit);
    ASSERT_EQ(want.serials[1], 2);
    const std::string tied = "1,2,-.25\r\n2," + std::to_string(want.serials[2]) + ",2.5\r\n3," +
                             std::to_string(want.serials[3]) + ",2.5\r\n";
    EXPECT_EQ(
        read("Boot-B-2_Sorted.txt"),
        "\"Project:  " + version() +
            "\"\r\n\"Original mean =\",1.5\r\n\"Bootstrap sample size (n) = \",30\r\n"
            "\"Total effective bootstrap number (B) = \",3\r\n\"Sample size or mean (A)= 30, (B)=1.58333333333333\"\r\n"
            "\"Variable: Control\"\r\n" +
            kSortedHeader + tied);
    EXPECT_EQ(read("Boot-B-3_Sorted and counts.txt"),
              "\"Project:  " + version() +
                  "\"\r\n\"Sample size or Original mean (A) =30, (B)=\",1.5\r\n\"Next line is sample size\"\r\n30\r\n"
                  "\"Total effective bootstrap number (B) = \",3,\"Total classes =\",2\r\n"
                  "\"Group serial no.\",\"Value\",\"Count\"\r\n1,-.25,1\r\n2,2.5,2\r\n");
    EXPECT_EQ(s().ClassCount, 2);
}

TEST_F(SortAndCountTest, PbtResultsSkipTwoFieldsCarryTheProjectAndEndAfterTheClosingMessages) {
    const std::string general = folder.file("g.txt");
    writeText(general, "\"Field trial\",\"x\",\"V\"\r\n1\r\n");
    ASSERT_EQ(sort(Kind::General, false, general), Program::Outcome::Done);

    const std::string in = folder.file("pbt.txt");
    writeText(in, "\"Trt\",\"R0\",12,\"x\",3,\"C\",12,0.25,\"p\",\"q\"\r\n10,0.3\r\n20,0.1\r\n30,0.2\r\n40,9\r\n");
    expectQuestions(Kind::Pbt, true, in);
    dialogs.expectInput(kDecimalsTitle, kDecimalsPrompt, "-1");
    expectClosing();
    program.form1().MSChart2.visible = true;
    // No chart question follows for this kind.
    ASSERT_EQ(program.click("cmdGeneralNormalTest"), Program::Outcome::Done);
    EXPECT_FALSE(program.form1().MSChart1.visible);
    EXPECT_TRUE(program.form1().MSChart2.visible);

    EXPECT_EQ(read("pbt-2_Sorted.txt"),
              "\"Project: Field trial " + version() +
                  "\"\r\n\"Original mean =\",.25\r\n\"Bootstrap sample size (n) = \",12\r\n"
                  "\"Total effective bootstrap number (B) = \",3\r\n\"Sample size or mean (A)= 12, (B)=0.2\"\r\n"
                  "\"Variable: Trt\"\r\n" +
                  kSortedHeader + "1,2,.1\r\n2,3,.2\r\n3,1,.3\r\n");
    EXPECT_EQ(read("pbt-3_Sorted and counts.txt"),
              "\"Project: Field trial " + version() +
                  "\"\r\n\"Sample size or Original mean (A) =12, (B)=\",.25\r\n\"Next line is sample size\"\r\n12\r\n"
                  "\"Total effective bootstrap number (B) = \",3,\"Total classes =\",3\r\n"
                  "\"Group serial no.\",\"Value\",\"Count\"\r\n1,.1,1\r\n2,.2,1\r\n3,.3,1\r\n");
    EXPECT_EQ(s().DataKind, SortDataKind::PairTestResults);
    EXPECT_EQ(s().ClassCount, 3);
}

TEST_F(SortAndCountTest, PercentileLinesOfThreeThousandValuesNameTheInputPositions) {
    // A permutation of 0..2999: position p of the sorted file holds p - 1.
    std::vector<double> values;
    for (int i = 1; i <= 3000; ++i) values.push_back((i * 7919) % 3000);
    const std::string in = test::writeTreatment(folder.file("b.txt"), {.code = "T1", .replicates = values});
    ASSERT_EQ(sort(Kind::Boot, false, in), Program::Outcome::Done);
    auto inputPosition = [&](double v) {
        for (std::size_t i = 0; i < values.size(); ++i)
            if (values[i] == v) return std::to_string(i + 1);
        return std::string("none");
    };
    EXPECT_EQ(read("b-1_0.025, 0.5 and 0.975 T1.txt"),
              "\"The 0.025 percentile life table of T1 is " + inputPosition(74) +
                  "\"\r\n\"The 0.5 percentile life table of T1 is " + inputPosition(1499) +
                  "\"\r\n\"The 0.975 percentile life table of T1 is " + inputPosition(2924) + "\"\r\n");
    EXPECT_NE(read("b-2_Sorted.txt").find("\r\n75," + inputPosition(74) + ",74\r\n"), std::string::npos);
}

TEST_F(SortAndCountTest, ClassesJoinValuesWithinATrillionthOfTheirFirstValue) {
    const std::string near = folder.file("near.txt");
    writeText(near, "\"P\",\"x\",\"V\"\r\n2\r\n1\r\n1.0000000000001\r\n1\r\n");
    ASSERT_EQ(sort(Kind::General, false, near), Program::Outcome::Done);
    const std::string counts = read("near-3_Sorted and counts.txt");
    EXPECT_NE(counts.find("\"Total classes =\",2\r\n\"Group serial no.\",\"Value\",\"Count\"\r\n1,1,3\r\n2,2,1\r\n"),
              std::string::npos)
        << counts;

    // Against the class's first value, not the neighbour.
    const double a = 5;
    const double b = a + 0.6e-12, c = a + 1.2e-12;
    char text[128];
    std::snprintf(text, sizeof text, "\"P\",\"x\",\"V\"\r\n%.17g\r\n%.17g\r\n%.17g\r\n", c, a, b);
    const std::string chain = folder.file("chain.txt");
    writeText(chain, text);
    ASSERT_EQ(sort(Kind::General, false, chain), Program::Outcome::Done);
    ASSERT_EQ(s().ClassCount, 2);
    EXPECT_EQ(s().ClassValue[1], a);
    EXPECT_EQ(s().ClassFrequency[1], 2);
    EXPECT_EQ(s().ClassValue[2], c);
    EXPECT_EQ(s().ClassFrequency[2], 1);
}

TEST_F(SortAndCountTest, DecimalsBoxIsAskedAgainUntilTheNumberLiesInRange) {
    const std::string in = folder.file("d.txt");
    writeText(in, "\"P\",\"x\",\"V\"\r\n1.23456\r\n");
    expectQuestions(Kind::General, false, in);
    dialogs.expectInput(kDecimalsTitle, kDecimalsPrompt, "6");
    dialogs.expectInput(kDecimalsTitle, kDecimalsPrompt, "-1.5");
    dialogs.expectInput(kDecimalsTitle, kDecimalsPrompt, "2.5 places");
    expectClosing();
    ASSERT_EQ(program.runCommand([&] { SortForBootstrapResults(program); }), Program::Outcome::Done);
    EXPECT_EQ(s().DecimalLimit, 2.5);
    EXPECT_EQ(folder.names(),
              (std::vector<std::string>{"d-1_0.025, 0.5 and 0.975 V2.5 decimals.txt", "d-2_Sorted-2.5 decimals.txt",
                                        "d-3_Sorted and counts-2.5 decimals.txt", "d.txt"}));
    // Text that is no number, and Cancel, read as 0.
    writeText(in, "\"P\",\"x\",\"V\"\r\n1.5\r\n");
    ASSERT_EQ(sort(Kind::General, false, in, "none"), Program::Outcome::Done);
    EXPECT_EQ(s().DecimalLimit, 0);
    EXPECT_NE(read("d-2_Sorted-0 decimals.txt").find("\r\n1,1,2\r\n"), std::string::npos);
    ASSERT_EQ(sort(Kind::General, false, in, ""), Program::Outcome::Done);
    EXPECT_EQ(s().DecimalLimit, 0);
}

TEST_F(SortAndCountTest, HugeScaledValuesKeepTheirValue) {
    const std::string in = folder.file("h.txt");
    // 1e15 x 100 lies beyond 2^53 and keeps its value; 123456789.125 x 100
    // lies beyond a 32-bit integer, not beyond 2^53, and rounds up.
    writeText(in, "\"P\",\"x\",\"V\"\r\n1000000000000000.3\r\n123456789.125\r\n");
    ASSERT_EQ(sort(Kind::General, false, in, "2"), Program::Outcome::Done);
    ASSERT_EQ(s().ClassCount, 2);
    EXPECT_EQ(s().ClassValue[2], 1000000000000000.3);
    EXPECT_EQ(s().ClassValue[1], 123456789.13);
}

TEST_F(SortAndCountTest, EmptyFilesAndBadFieldsAreReportedWithoutOutput) {
    const std::string none = folder.file("none.txt");
    writeText(none, "\"P\",\"x\",\"V\"\r\n-1\r\n");
    expectQuestions(Kind::General, false, none);
    dialogs.expectMessage("Sort and count", "The file holds no values.", Answer::Ok);
    EXPECT_EQ(program.click("cmdGeneralNormalTest"), Program::Outcome::Failed);

    const std::string zeroB = test::writeTreatment(folder.file("zero.txt"), {.replicates = {}});
    expectQuestions(Kind::Boot, false, zeroB);
    dialogs.expectMessage("Sort and count", "The file holds no values.", Answer::Ok);
    EXPECT_EQ(program.click("cmdGeneralNormalTest"), Program::Outcome::Failed);

    const std::string bad = folder.file("bad.txt");
    writeText(bad, "\"P\",\"x\",\"V\"\r\n1\r\n2\r\nabc\r\n");
    expectQuestions(Kind::General, false, bad);
    dialogs.expectMessage("Sort and count", bad + ", line 4, field 6: \"abc\" is not a number.", Answer::Ok);
    EXPECT_EQ(program.click("cmdGeneralNormalTest"), Program::Outcome::Failed);

    const std::string missing = folder.file("missing.txt");
    expectQuestions(Kind::General, false, missing);
    dialogs.expectMessage("Sort and count", std::nullopt, Answer::Ok);
    EXPECT_EQ(program.click("cmdGeneralNormalTest"), Program::Outcome::Failed);
    EXPECT_NE(dialogs.lastText().find("Cannot open the file:\n" + missing), std::string::npos);

    EXPECT_EQ(folder.names(), (std::vector<std::string>{"bad.txt", "none.txt", "zero.txt"}));
}

// Inputs the run cannot stand for are refused before any file is written:
// more values than a run holds (general data too), a variable's name that
// cannot be part of a file name, values whose sum is beyond double precision.
TEST_F(SortAndCountTest, LimitsNamesAndHugeValuesAreRefusedBeforeAnyOutput) {
    const std::string many = folder.file("many.txt");
    {
        std::string text = "\"P\",\"x\",\"V\"\r\n";
        text.reserve(text.size() + 2 * (kMaxValues + 1));
        for (std::int32_t k = 0; k <= kMaxValues; ++k) text += "1\n";
        writeText(many, text);
    }
    expectQuestions(Kind::General, false, many);
    dialogs.expectMessage("Sort and count",
                          many + ", line 9000007, field 9000009: the file holds more than 9000005 values.", Answer::Ok);
    EXPECT_EQ(program.click("cmdGeneralNormalTest"), Program::Outcome::Failed);

    const std::string slash = folder.file("slash.txt");
    writeText(slash, "\"P\",\"x\",\"R0/day\"\r\n1\r\n2\r\n");
    expectQuestions(Kind::General, false, slash);
    dialogs.expectMessage("Sort and count",
                          slash +
                              ", line 1, field 3: the variable's name cannot be part of a file name: it holds a "
                              "\"/\", which separates folders.",
                          Answer::Ok);
    EXPECT_EQ(program.click("cmdGeneralNormalTest"), Program::Outcome::Failed);

    const std::string huge = folder.file("huge.txt");
    writeText(huge, "\"P\",\"x\",\"V\"\r\n1E+308\r\n1.5E+308\r\n");
    expectQuestions(Kind::General, false, huge);
    dialogs.expectMessage("Values too large", std::nullopt, Answer::Ok);
    EXPECT_EQ(program.click("cmdGeneralNormalTest"), Program::Outcome::Failed);
    EXPECT_EQ(dialogs.lastText().rfind("File: " + huge + "\nValues too large: ", 0), 0u) << dialogs.lastText();

    EXPECT_EQ(folder.names(), (std::vector<std::string>{"huge.txt", "many.txt", "slash.txt"}));
}

// The three files belong together: when the last cannot be written, the two
// already in place go as well, and what stood in the way stays.
// A file large enough for blocks read, groups sorted and lines written on
// both cores, and line numbers of one to six digits: the sorted and counts
// lines are those of the literal steps, written one by one.
TEST_F(SortAndCountTest, ALargeFileGivesTheLinesOfTheLiteralSortWrittenOneByOne) {
    const int n = 200000;
    std::mt19937_64 random(23);
    std::normal_distribution<double> normal(1.5, 2.0);
    std::string text = "\"A vs B\",\"x\",40,\"x\",200000,\"AB\",40,1.1,\"x\",\"x\"\r\n";
    std::vector<double> input{0};
    std::vector<std::int32_t> positions{0};
    for (int i = 1; i <= n; ++i) {
        const double v = std::round(normal(random) * 1000) / 1000;
        input.push_back(v);
        positions.push_back(i);
        text.append(std::to_string(i)).append(",").append(writeForm(v)).append("\r\n");
    }
    const std::string data = folder.file("big.txt");
    writeText(data, text);
    ASSERT_EQ(sort(Kind::Pbt, true, data), Program::Outcome::Done);

    std::int16_t limit = 0;
    const auto want = reference::literalQuickSort(input, positions, limit);
    EXPECT_EQ(s().GroupLimit, limit);
    std::string sorted, counts;
    std::size_t classes = 0;
    for (int i = 1; i <= n; ++i) {
        sorted.append(std::to_string(i)).append(",").append(std::to_string(want.serials[i])).append(",");
        sorted.append(writeForm(want.values[i])).append("\r\n");
    }
    for (int i = 1; i <= n;) {
        int j = i;
        while (j <= n && std::fabs(want.values[j] - want.values[i]) < 1e-12) ++j;
        counts.append(std::to_string(++classes)).append(",").append(writeForm(want.values[i])).append(",");
        counts.append(writeForm(j - i)).append("\r\n");
        i = j;
    }
    auto afterHeader = [](const std::string& file, const std::string& lastHeader) {
        const std::size_t at = file.find(lastHeader);
        return at == std::string::npos ? std::string() : file.substr(at + lastHeader.size());
    };
    EXPECT_TRUE(afterHeader(read("big-2_Sorted.txt"), kSortedHeader) == sorted);
    EXPECT_TRUE(afterHeader(read("big-3_Sorted and counts.txt"), "\"Group serial no.\",\"Value\",\"Count\"\r\n") ==
                counts);
    EXPECT_EQ(s().ClassCount, static_cast<std::int32_t>(classes));
}

// The counts lines are formed beside the sorted lines, a slice of lines at
// a time: classes longer than a slice, one filling the first slice
// exactly, and chains of values each within a trillionth of the one before
// but not of the class's first, checked against classes counted over the
// values as the file gives them, sorted.
TEST_F(SortAndCountTest, CountsLinesFollowTheClassesAcrossSlicesOfLines) {
    std::vector<double> values(16384, -100.0);
    values.insert(values.end(), 20000, 1.0);
    values.insert(values.end(), 17000, 3.25);
    for (int i = 0; i < 9000; ++i) values.push_back(2.0 + i * 0.4e-12);
    std::mt19937_64 random(5);
    std::normal_distribution<double> normal(0, 3);
    while (values.size() < 150000) values.push_back(std::round(normal(random) * 1000) / 1000);
    std::shuffle(values.begin(), values.end(), random);
    std::string text = "\"A vs B\",\"x\",40,\"x\"," + std::to_string(values.size()) + ",\"AB\",40,1.1,\"x\",\"x\"\r\n";
    std::vector<double> read_back;
    for (std::size_t i = 0; i < values.size(); ++i) {
        const std::string form = writeForm(values[i]);
        text.append(std::to_string(i + 1)).append(",").append(form).append("\r\n");
        read_back.push_back(std::strtod(form.c_str(), nullptr));
    }
    const std::string data = folder.file("slices.txt");
    writeText(data, text);
    ASSERT_EQ(sort(Kind::Pbt, true, data), Program::Outcome::Done);

    std::sort(read_back.begin(), read_back.end());
    std::string counts;
    int classes = 0;
    for (std::size_t i = 0; i < read_back.size();) {
        std::size_t j = i;
        while (j < read_back.size() && std::fabs(read_back[j] - read_back[i]) < 1e-12) ++j;
        counts.append(std::to_string(++classes)).append(",").append(writeForm(read_back[i]));
        counts.append(",").append(std::to_string(j - i)).append("\r\n");
        i = j;
    }
    const std::string file = read("slices-3_Sorted and counts.txt");
    const std::string header = "\"Group serial no.\",\"Value\",\"Count\"\r\n";
    ASSERT_NE(file.find(header), std::string::npos);
    EXPECT_TRUE(file.substr(file.find(header) + header.size()) == counts);
    EXPECT_EQ(s().ClassCount, classes);
    EXPECT_GT(classes, 4000);
}

TEST_F(SortAndCountTest, ProgressGoesThroughTheThreeStagesToAHundred) {
    const std::string data = folder.file("d.txt");
    writeText(data, "\"P\",\"x\",\"V\"\r\n1,3\r\n2,1\r\n3,2\r\n-1,0\r\n");
    test::SortProgress progress;
    program.setProgress(&progress);
    EXPECT_EQ(sort(Kind::General, true, data), Program::Outcome::Done);
    program.setProgress(nullptr);
    ASSERT_FALSE(progress.told.empty());
    std::vector<std::string> stages;
    for (const auto& [stage, percent] : progress.told)
        if (stages.empty() || stages.back() != stage) stages.push_back(stage);
    EXPECT_EQ(stages, (std::vector<std::string>{"Reading", "Sorting", "Writing"}));
    EXPECT_EQ(progress.told.front().second, 0);
    EXPECT_EQ(progress.told.back().second, 100);
    for (std::size_t k = 1; k < progress.told.size(); ++k)
        EXPECT_LE(progress.told[k - 1].second, progress.told[k].second) << k;
    EXPECT_GE(progress.asks, 6);  // at least one between blocks of each stage
}

// Cancel at each stage, before and after files of the run are written:
// none of the run's files stays, and the files of an earlier run of another
// data file in the folder are untouched.
TEST_F(SortAndCountTest, CancelAtAnyStageLeavesNoFileOfTheRun) {
    const std::string earlier = folder.file("e.txt");
    writeText(earlier, "\"P\",\"x\",\"E\"\r\n5\r\n4\r\n-1\r\n");
    ASSERT_EQ(sort(Kind::General, false, earlier), Program::Outcome::Done);
    const std::vector<std::string> before = folder.names();
    std::vector<std::string> earlierTexts;
    for (const std::string& name : before) earlierTexts.push_back(read(name));

    const std::string data = folder.file("d.txt");
    std::string text = "\"A vs B\",\"x\",40,\"x\",4000,\"AB\",40,1.1,\"x\",\"x\"\r\n";
    for (int i = 1; i <= 4000; ++i)
        text.append(std::to_string(i)).append(",").append(std::to_string(i % 37)).append("\r\n");
    writeText(data, text);
    struct Case {
        const char* stage;
        int asksAfter;
        bool sortedShown;  // the message that the sorted file is ready came first
    };
    for (const Case& c :
         {Case{"Reading", 0, false}, Case{"Sorting", 0, false}, Case{"Writing", 0, false}, Case{"Writing", 1, true}}) {
        test::SortProgress progress(c.stage, c.asksAfter);
        program.setProgress(&progress);
        expectQuestions(Kind::Pbt, true, data);
        // The decimals are asked once the file is read.
        if (std::string(c.stage) != "Reading") dialogs.expectInput(kDecimalsTitle, kDecimalsPrompt, "-1");
        if (c.sortedShown)
            dialogs.expectMessage(kDecimalsTitle, "Bootstrap results sorted and data file ready!", Answer::Ok,
                                  Buttons::OkCancel);
        dialogs.expectMessage("Run cancelled", std::nullopt, Answer::Ok);
        EXPECT_EQ(program.runCommand([&] { SortForBootstrapResults(program); }), Program::Outcome::Cancelled)
            << c.stage << " " << c.asksAfter;
        program.setProgress(nullptr);
        std::vector<std::string> want = before;
        want.push_back("d.txt");
        std::sort(want.begin(), want.end());
        EXPECT_EQ(folder.names(), want) << c.stage << " " << c.asksAfter;
        for (std::size_t k = 0; k < before.size(); ++k) EXPECT_EQ(read(before[k]), earlierTexts[k]) << before[k];
    }
}

TEST_F(SortAndCountTest, AFailureTakesAwayTheRunsOtherFiles) {
    const std::string data = folder.file("d.txt");
    writeText(data, "\"P\",\"x\",\"V\"\r\n3\r\n1\r\n2\r\n");
    const std::string counts = folder.file("d-3_Sorted and counts.txt");
    std::filesystem::create_directory(counts);
    expectQuestions(Kind::General, false, data);
    dialogs.expectInput(kDecimalsTitle, kDecimalsPrompt, "-1");
    dialogs.expectMessage(kDecimalsTitle, "Bootstrap results sorted and data file ready!", Answer::Ok);
    dialogs.expectMessage("Sort and count", std::nullopt, Answer::Ok);
    EXPECT_EQ(program.runCommand([&] { SortForBootstrapResults(program); }), Program::Outcome::Failed);
    EXPECT_EQ(dialogs.lastText().rfind("Cannot create the file:\n" + counts, 0), 0u) << dialogs.lastText();
    EXPECT_EQ(folder.names(), (std::vector<std::string>{"d-3_Sorted and counts.txt", "d.txt"}));
}

// The counts file is written while the sorted file is: a stop or failure of
// either, with both files several blocks long, still leaves no file of the
// run, no temporary, and tells a counts failure only after the sorted file's
// message.
TEST_F(SortAndCountTest, AStopOrFailureDuringBothFilesLeavesNothingOfTheRun) {
    const std::string data = folder.file("d.txt");
    constexpr int kValues = 300000;  // over two blocks of lines in each file
    std::string text = "\"A vs B\",\"x\",40,\"x\"," + std::to_string(kValues) + ",\"AB\",40,1.1,\"x\",\"x\"\r\n";
    for (int i = 1; i <= kValues; ++i)
        text.append(std::to_string(i)).append(",").append(std::to_string(kValues - i)).append(".25\r\n");
    writeText(data, text);
    struct Case {
        const char* what;
        const char* directoryAt;  // a folder standing where this output goes
        int asksAfter;            // Cancel at this ask of the writing stage; -1: never
        bool sortedShown;
    };
    for (const Case& c :
         {Case{"cancel among the sorted lines", nullptr, 1, false}, Case{"no sorted file", "d-2_Sorted.txt", -1, false},
          Case{"no counts file", "d-3_Sorted and counts.txt", -1, true}}) {
        if (c.directoryAt) std::filesystem::create_directory(folder.file(c.directoryAt));
        test::SortProgress progress(c.asksAfter >= 0 ? "Writing" : "", c.asksAfter);
        program.setProgress(&progress);
        expectQuestions(Kind::Pbt, true, data);
        dialogs.expectInput(kDecimalsTitle, kDecimalsPrompt, "-1");
        if (c.sortedShown)
            dialogs.expectMessage(kDecimalsTitle, "Bootstrap results sorted and data file ready!", Answer::Ok,
                                  Buttons::OkCancel);
        if (c.directoryAt)
            dialogs.expectMessage("Sort and count", std::nullopt, Answer::Ok);
        else
            dialogs.expectMessage("Run cancelled", std::nullopt, Answer::Ok);
        EXPECT_EQ(program.runCommand([&] { SortForBootstrapResults(program); }),
                  c.directoryAt ? Program::Outcome::Failed : Program::Outcome::Cancelled)
            << c.what;
        program.setProgress(nullptr);
        if (c.directoryAt) {
            EXPECT_EQ(dialogs.lastText().rfind("Cannot create the file:\n" + folder.file(c.directoryAt), 0), 0u)
                << c.what << ": " << dialogs.lastText();
        }
        std::vector<std::string> want{"d.txt"};
        if (c.directoryAt) want.push_back(c.directoryAt);
        std::sort(want.begin(), want.end());
        EXPECT_EQ(folder.names(), want) << c.what;
        if (c.directoryAt) std::filesystem::remove(folder.file(c.directoryAt));
    }
}

class NormalTestButtonTest : public SortAndCountTest {
protected:
    std::string generalFile(const std::string& name, const std::vector<double>& values) {
        std::string text = "\"P\",\"x\",\"V\"\r\n";
        for (double v : values) text += writeForm(v) + "\r\n";
        writeText(folder.file(name), text);
        return folder.file(name);
    }
    void expectChartQuestion(Answer answer) {
        dialogs.expectMessage("Frequency distribution", "Do you want to see the frequency distribution?", answer,
                              Buttons::YesNo);
    }
    Program::Outcome click(const std::string& file, Answer chart) {
        expectSort(Kind::General, false, file);
        expectChartQuestion(chart);
        return program.click("cmdGeneralNormalTest");
    }
    ChartControl& chart1() { return program.form1().MSChart1; }
};

TEST_F(NormalTestButtonTest, ChartIsOfferedUpToThirtyThousandClasses) {
    std::vector<double> values;
    for (int i = 1; i <= 30000; ++i) values.push_back(i);
    program.form1().MSChart2.visible = true;
    ASSERT_EQ(click(generalFile("a.txt", values), Answer::No), Program::Outcome::Done);
    EXPECT_EQ(s().ClassCount, 30000);
    EXPECT_TRUE(chart1().visible);
    EXPECT_FALSE(program.form1().MSChart2.visible);
    EXPECT_TRUE(chart1().bars.empty());

    chart1().visible = false;
    values.push_back(30001);
    expectSort(Kind::General, false, generalFile("b.txt", values));
    ASSERT_EQ(program.click("cmdGeneralNormalTest"), Program::Outcome::Done);
    EXPECT_EQ(s().ClassCount, 30001);
    EXPECT_FALSE(chart1().visible);
}

TEST_F(NormalTestButtonTest, YesShowsABarPerValueWithTheNormalCurveOfTheirMeanAndSd) {
    ASSERT_TRUE(program.form1().Image1.visible);  // a sort within the cover's first seconds
    ASSERT_EQ(click(generalFile("a.txt", {3, 1, 4, 2, 3, 5, 3, 2, 4}), Answer::Yes), Program::Outcome::Done);
    EXPECT_FALSE(program.form1().Image1.visible);
    const ChartControl& c = chart1();
    EXPECT_EQ(c.title, "V in a.txt: N = 9, mean = 3, SD = 1.225");
    EXPECT_EQ(c.xTitle, "Value");
    EXPECT_EQ(c.yTitle, "Count");
    // Each bar centred on its value, one step wide.
    EXPECT_EQ(c.bars,
              (std::vector<ChartBar>{{0.5, 1.5, 1}, {1.5, 2.5, 2}, {2.5, 3.5, 3}, {3.5, 4.5, 2}, {4.5, 5.5, 1}}));
    EXPECT_EQ(c.xTickAnchor, 1);
    EXPECT_EQ(c.xTickInterval, 1);
    // Mean 3, sample variance 12 / 8, 9 values, bar width 1.
    ASSERT_GE(c.curve.size(), 50u);
    EXPECT_EQ(c.curve.front().first, 0.5);
    EXPECT_EQ(c.curve.back().first, 5.5);
    for (const auto& [x, y] : c.curve) {
        const double want = 9 * std::exp(-(x - 3) * (x - 3) / 3) / std::sqrt(2 * std::numbers::pi * 1.5);
        EXPECT_NEAR(y, want, 1e-9) << x;
    }

    // Values on a lattice of 0.5 with gaps: bars 0.5 wide, only where values are.
    ASSERT_EQ(click(generalFile("b.txt", {1, 1.5, 3}), Answer::Yes), Program::Outcome::Done);
    EXPECT_EQ(c.title, "V in b.txt: N = 3, mean = 1.833, SD = 1.041");
    EXPECT_EQ(c.bars, (std::vector<ChartBar>{{0.75, 1.25, 1}, {1.25, 1.75, 1}, {2.75, 3.25, 1}}));
    EXPECT_EQ(c.xTickInterval, 0.5);
    const double mean = 5.5 / 3,
                 var = ((1 - mean) * (1 - mean) + (1.5 - mean) * (1.5 - mean) + (3 - mean) * (3 - mean)) / 2;
    for (const auto& [x, y] : c.curve)
        EXPECT_NEAR(y, 3 * 0.5 * std::exp(-(x - mean) * (x - mean) / (2 * var)) / std::sqrt(2 * std::numbers::pi * var),
                    1e-9);
}

TEST_F(NormalTestButtonTest, ManyDistinctValuesGiveContiguousBinsUnderACurveOfTheSameArea) {
    // 3000 bell-shaped values with four decimals, nearly all distinct, as
    // bootstrap results are.
    std::vector<double> values;
    std::uint32_t seed = 12345;
    for (int i = 0; i < 3000; ++i) {
        double sum = 0;
        for (int k = 0; k < 12; ++k) {
            seed = seed * 1664525u + 1013904223u;
            sum += seed / 4294967296.0;
        }
        values.push_back(std::round((80 + 6 * (sum - 6)) * 1e4) / 1e4);
    }
    ASSERT_EQ(click(generalFile("boot.txt", values), Answer::Yes), Program::Outcome::Done);
    ASSERT_GT(s().ClassCount, 2000);
    const ChartControl& c = chart1();
    EXPECT_EQ(c.title.rfind("V in boot.txt: N = 3000, mean = ", 0), 0u) << c.title;
    ASSERT_GE(c.bars.size(), 20u);
    ASSERT_LE(c.bars.size(), 200u);
    const double width = c.bars.front().upper - c.bars.front().lower;
    double total = 0;
    for (std::size_t i = 0; i < c.bars.size(); ++i) {
        EXPECT_NEAR(c.bars[i].upper - c.bars[i].lower, width, 1e-9 * width) << i;
        if (i > 0) {
            EXPECT_EQ(c.bars[i].lower, c.bars[i - 1].upper) << "a gap before bar " << i;
        }
        total += c.bars[i].count;
    }
    EXPECT_EQ(total, 3000);
    const auto [lo, hi] = std::minmax_element(values.begin(), values.end());
    EXPECT_LE(c.bars.front().lower, *lo);
    EXPECT_GE(c.bars.back().upper, *hi);
    EXPECT_EQ(c.xTickInterval, 0) << "bins: ticks are the view's";
    double area = 0;
    for (std::size_t i = 1; i < c.curve.size(); ++i)
        area += (c.curve[i].first - c.curve[i - 1].first) * (c.curve[i].second + c.curve[i - 1].second) / 2;
    EXPECT_NEAR(area, total * width, 0.01 * total * width);
}

TEST_F(NormalTestButtonTest, NoAfterAnEarlierChartLeavesNothingOfTheEarlierFile) {
    ASSERT_EQ(click(generalFile("a.txt", {1, 2, 2, 3}), Answer::Yes), Program::Outcome::Done);
    ASSERT_FALSE(chart1().bars.empty());
    ASSERT_EQ(click(generalFile("b.txt", {7, 8, 8, 9}), Answer::No), Program::Outcome::Done);
    EXPECT_TRUE(chart1().visible);
    EXPECT_TRUE(chart1().bars.empty());
    EXPECT_TRUE(chart1().curve.empty());
    EXPECT_EQ(chart1().title, "");
}

TEST_F(NormalTestButtonTest, CancelledFileDialogueStillAsksAndShowsAnEmptyChart) {
    dialogs.expectMessage(kKindTitle, kKindText, Answer::No);
    dialogs.expectMessage("Data formate", kSerialText, Answer::No);
    dialogs.expectOpenFile("Open a bootstrap file to sort", "");
    expectChartQuestion(Answer::Yes);
    chart1().bars = {{0.5, 1.5, 1}};
    ASSERT_EQ(program.click("cmdGeneralNormalTest"), Program::Outcome::Done);
    EXPECT_EQ(s().DataKind, SortDataKind::Boot);
    EXPECT_EQ(s().SortAndCountUsed, Flag::Yes);
    EXPECT_TRUE(chart1().visible);
    EXPECT_EQ(chart1().title, "No data");
    EXPECT_TRUE(chart1().bars.empty());
    EXPECT_TRUE(chart1().curve.empty());
    EXPECT_TRUE(folder.names().empty());
}

// The serial column of a sorted file.
std::vector<std::int32_t> serialColumn(const std::string& sorted) {
    std::vector<std::int32_t> serials{0};
    std::istringstream in(sorted);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '"') continue;
        const std::size_t comma = line.find(',');
        serials.push_back(std::stoi(line.substr(comma + 1)));
    }
    return serials;
}

TEST(SortCli, GroupLimitLoweredByOneSortChangesTheTieOrderOfTheNext) {
    test::TempFolder folder("sort_cli_group_limit");
    // All values but one equal: the sort lowers the program-wide group limit.
    writeText(folder.file("first.txt"), "\"P\",\"x\",\"V\"\r\n0\r\n1\r\n1\r\n1\r\n1\r\n");
    std::vector<double> ties{0};
    std::vector<std::int32_t> serials{0};
    std::string text = "\"P\",\"x\",\"V\"\r\n";
    for (int i = 1; i <= 40; ++i) {
        ties.push_back((i * 7) % 5);
        serials.push_back(i);
        text += std::to_string((i * 7) % 5) + "\r\n";
    }
    writeText(folder.file("ties.txt"), text);
    writeText(folder.file("script.txt"),
              "sort --kind general \"" + folder.file("first.txt") + "\"\nsort \"" + folder.file("ties.txt") + "\"\n");

    std::ostringstream out, err;
    ASSERT_EQ(cli::runCli({"script", folder.file("script.txt")}, out, err), 0) << err.str();
    EXPECT_EQ(out.str(), folder.file("first-2_Sorted.txt") + "\n" + folder.file("first-1_0.025, 0.5 and 0.975 V.txt") +
                             "\n" + folder.file("first-3_Sorted and counts.txt") + "\n" +
                             folder.file("ties-2_Sorted.txt") + "\n" +
                             folder.file("ties-1_0.025, 0.5 and 0.975 V.txt") + "\n" +
                             folder.file("ties-3_Sorted and counts.txt") + "\n");
    const auto afterFirst = serialColumn(test::readFile(folder.file("ties-2_Sorted.txt")));

    std::ostringstream out2, err2;
    ASSERT_EQ(cli::runCli({"sort", folder.file("ties.txt")}, out2, err2), 0) << err2.str();
    const auto fresh = serialColumn(test::readFile(folder.file("ties-2_Sorted.txt")));

    std::int16_t limit = 0;
    reference::literalQuickSort({0, 0, 1, 1, 1, 1}, {0, 1, 2, 3, 4, 5}, limit);
    std::int16_t freshLimit = 0;
    EXPECT_EQ(afterFirst, reference::literalQuickSort(ties, serials, limit).serials);
    EXPECT_EQ(fresh, reference::literalQuickSort(ties, serials, freshLimit).serials);
    EXPECT_NE(afterFirst, fresh);
}

TEST(SortCli, BadInputExitsOne) {
    test::TempFolder folder("sort_cli_bad");
    writeText(folder.file("none.txt"), "\"P\",\"x\",\"V\"\r\n-1\r\n");
    writeText(folder.file("one.txt"), "\"P\",\"x\",\"V\"\r\n1\r\n");
    for (const std::vector<std::string>& words :
         {std::vector<std::string>{"sort", folder.file("none.txt")},
          std::vector<std::string>{"sort", folder.file("missing.txt")},
          std::vector<std::string>{"sort", "--decimals", "6", folder.file("one.txt")}}) {
        std::ostringstream out, err;
        // Decimals out of range are a wrong command line: exit 2.
        EXPECT_EQ(cli::runCli(words, out, err), words[1] == "--decimals" ? 2 : 1) << words[1];
        EXPECT_TRUE(out.str().empty());
        EXPECT_FALSE(err.str().empty());
    }
    EXPECT_EQ(folder.names(), (std::vector<std::string>{"none.txt", "one.txt"}));
}

}  // namespace
}  // namespace lumera
