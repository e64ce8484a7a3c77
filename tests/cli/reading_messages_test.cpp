// What compare and cartesian say about a file's content: the file, the
// line, then the field; and what each does with more numbers than B.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "analysis/comparison.h"
#include "app/commands.h"
#include "cli/cli_app.h"
#include "cli/cli_dialogs.h"
#include "cli/compare_input.h"
#include "shell/dialog_texts.h"
#include "shell/program.h"
#include "support/cli_run.h"
#include "support/fake_services.h"
#include "support/treatment_files.h"

namespace lumera::cli {
namespace {

using test::TempFolder;

const std::string kSample = LUMERA_EXAMPLES_DIR "/r0-18C.txt";

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> all;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        all.push_back(line);
    }
    return all;
}

std::string joined(const std::vector<std::string>& all) {
    std::string text;
    for (const std::string& line : all) text += line + "\r\n";
    return text;
}

std::string write(const TempFolder& folder, const std::string& name, const std::string& text) {
    std::ofstream(folder.file(name), std::ios::binary) << text;
    return folder.file(name);
}

using test::cli;
using test::CliRun;

class ReadingMessages : public testing::Test {
protected:
    TempFolder folder{"reading_messages"};
    const std::vector<std::string> sample = lines(test::readFile(kSample));
    const std::string other = test::writeTreatment(folder.file("other.txt"), {.replicates = {10, 12, 14, 16}});

    CliRun cartesian(const std::string& file) {
        return cli({"cartesian", "--dir", folder.path().string(), file, other});
    }
};

// The sample file with a typo, decimal commas or numbers beyond B: compare
// names where, cartesian names the typo the same way and reads the rest.
TEST_F(ReadingMessages, EachBadFileIsNamedByLineAndField) {
    std::vector<std::string> typo = sample;
    typo[499] = "12.5O";
    std::vector<std::string> commas = sample;
    long numbers = 0;  // the numbers a reader of fields finds after the header
    std::size_t beyondLine = 0;
    long beyondField = 0;            // where number 3001 stands
    ASSERT_EQ(sample.back(), "-1");  // the end marker, not a number of the count
    for (std::size_t i = 1; i + 1 < commas.size(); ++i) {
        for (char& c : commas[i])
            if (c == '.') c = ',';
        const long here = 1 + std::count(commas[i].begin(), commas[i].end(), ',');
        if (numbers < 3001 && numbers + here >= 3001) beyondLine = i + 1, beyondField = 8 + 3001;
        numbers += here;
    }
    std::vector<std::string> extra = sample;
    extra.insert(extra.end() - 1, {"1.5", "2.5", "3.5"});
    std::vector<std::string> plain;
    for (int i = 1; i <= 11; ++i) plain.push_back(std::to_string(39 + i));
    plain.push_back("40,1");

    const std::string typoFile = write(folder, "typo.txt", joined(typo));
    const std::string commaFile = write(folder, "commas.txt", joined(commas));
    const std::string extraFile = write(folder, "extra.txt", joined(extra));
    const std::string plainFile = write(folder, "plain.col", joined(plain));
    const std::string allCommas = write(folder, "all.col", "14,7\n15,2\n16,1\n17,3\n");
    const std::string nameFile = write(folder, "name.txt", "\"Hot\nspring\",\"R0\",30,\"x\",3,\"H\",30,2.5\n1\n2\nx\n");
    ASSERT_GT(numbers, 3000);

    const struct {
        std::string command, file;
        int code;
        std::string message;
    } cases[] = {
        {"compare", typoFile, 1, "compare: " + typoFile + ", line 500, field 507: \"12.5O\" is not a number.\n"},
        {"cartesian", typoFile, 1,
         "Reading a treatment file: " + typoFile + ", line 500, field 507: \"12.5O\" is not a number.\n"},
        {"compare", plainFile, 1, "compare: " + plainFile + ", line 12: \"40,1\" is not a number.\n"},
        {"compare", commaFile, 1,
         "compare: " + commaFile + ": the file holds " + std::to_string(numbers) +
             " numbers where B is 3000 (number 3001 is on line " + std::to_string(beyondLine) + ", field " +
             std::to_string(beyondField) +
             ").\nDecimal commas split each number in two: write 14.7625, not 14,7625.\n"},
        {"cartesian", commaFile, 0,
         "lumera-cli: cartesian: warning: " + commaFile + " holds " + std::to_string(numbers) +
             " numbers where B is 3000; those after replicate 3000 are ignored.\n"},
        {"compare", extraFile, 1,
         "compare: " + extraFile +
             ": the file holds 3003 numbers where B is 3000 (number 3001 is on line 3002, field 3009).\n"
             "Decimal commas split each number in two: write 14.7625, not 14,7625.\n"},
        {"compare", allCommas, 1,
         "compare: " + allCommas +
             ": the file announces B = 16 replicates but holds 0 and no end marker -1 (it ends on line 4).\n"
             "The first line holds a comma, so the file was read as a treatment file; a file of one number a line "
             "needs decimal points: 14.7625, not 14,7625.\n"},
        {"compare", nameFile, 1, "compare: " + nameFile + ", line 5, field 11: \"x\" is not a number.\n"},
        {"cartesian", nameFile, 1,
         "Reading a treatment file: " + nameFile + ", line 5, field 11: \"x\" is not a number.\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command + " " + c.file);
        const CliRun run = c.command == "compare" ? cli({"compare", c.file, other}) : cartesian(c.file);
        EXPECT_EQ(run.code, c.code);
        EXPECT_EQ(run.err, c.message);
    }
}

// cartesian reads a file as it stands, fields after the B-th replicate
// ignored, and says how many numbers it holds; its results are those without them.
TEST_F(ReadingMessages, CartesianWarnsOfNumbersBeyondB) {
    const std::string exact = test::writeTreatment(folder.file("exact.txt"), {.replicates = {1, 2, 3, 4, 5}});
    const std::string extra =
        write(folder, "extra.txt", test::readFile(exact) + "6\r\n7,8\r\nnot a number\r\n-1\r\n9\r\n");
    const CliRun plain = cartesian(exact);
    const CliRun more = cartesian(extra);
    ASSERT_EQ(plain.code, 0) << plain.err;
    EXPECT_EQ(plain.err, "");
    ASSERT_EQ(more.code, 0) << more.err;
    EXPECT_EQ(more.err, "lumera-cli: cartesian: warning: " + extra +
                            " holds 8 numbers where B is 5; those after replicate 5 are ignored.\n");
    const auto body = [](const std::string& out) {
        // The report's text from its first table on: the head holds the date and time.
        const std::string text = test::readFile(out.substr(0, out.size() - 1));
        return text.substr(text.find("Treatment"));
    };
    EXPECT_EQ(body(more.out), body(plain.out));
}

// A quoted name may hold a line end, and all replicates may stand on one
// line far over 64 KiB: compare reads both as the Cartesian test does.
TEST_F(ReadingMessages, LongFirstLineAndQuotedLineEndAgreeWithCartesian) {
    std::string wide = "\"Wide\nfield\",\"R0\",30,\"x\",10000,\"W\",30,1";
    for (int r = 0; r < 10000; ++r) {
        wide += ',';
        wide += std::to_string(10 + (r * 7919) % 1000 / 100.0);
    }
    wide += "\r\n";
    ASSERT_GT(wide.find('\r'), std::size_t{65536});
    const std::string wideFile = write(folder, "wide.txt", wide);
    std::vector<double> few;
    for (int r = 0; r < 900; ++r) few.push_back(12 + (r * 31) % 50 / 10.0);
    const std::string fewFile = test::writeTreatment(folder.file("few.txt"), {.name = "Few", .replicates = few});

    std::ostringstream notices;
    CliDialogs dialogs(notices);
    test::FakeClock clock;
    test::FakeRandom random;
    Program program(dialogs, clock, random, folder.path().string());
    installCommands(program);
    program.form1().Form_Load();
    program.pinWorkingFolder(folder.path().string());
    using namespace dialog_texts;
    dialogs.answerQuestion(kDetailInfoTitle, Answer::No);
    dialogs.answerQuestion(kReversedTitle, Answer::No);
    dialogs.answerInput(kTreatmentCountTitle, "2");
    dialogs.answerInput(kTransformTitle, "0");
    dialogs.answerInput(kCodeTitle, "1");
    dialogs.quietNotice(kCompletedTitle);
    dialogs.queueFile(wideFile);
    dialogs.queueFile(fewFile);
    ASSERT_EQ(program.click("cmdCartesianDifference"), Program::Outcome::Done) << notices.str();
    const RunState& s = program.state();

    const analysis::Comparison c =
        analysis::compareTreatments({readCompareFile(wideFile), readCompareFile(fewFile)}, 0.05, false);
    ASSERT_EQ(c.treatments.size(), 2u);
    for (int t = 1; t <= 2; ++t) {
        EXPECT_EQ(c.treatments[t - 1].name, s.TreatName[t]);
        EXPECT_EQ(c.treatments[t - 1].replicates.size(), static_cast<std::size_t>(s.BootCount[t]));
        EXPECT_EQ(c.treatments[t - 1].mean, s.BootMean[t]);
        EXPECT_EQ(c.treatments[t - 1].se, s.BootSE[t]);
    }
    EXPECT_EQ(c.treatments[0].name == "Wide\nfield" || c.treatments[1].name == "Wide\nfield", true);
    const analysis::PairResult& p = c.pairs[0];
    EXPECT_EQ(p.differences, 9'000'000);
    EXPECT_EQ(p.percentileLower, s.PctLower[1][2]);
    EXPECT_EQ(p.percentileUpper, s.PctUpper[1][2]);
    EXPECT_EQ(p.pValue, s.PValue[1][2]);
}

}  // namespace
}  // namespace lumera::cli
