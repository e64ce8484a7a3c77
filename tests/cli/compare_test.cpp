// lumera-cli compare: its input rules, its agreement with the Cartesian
// test bit for bit, and its JSON read back as R or Python would.
#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <random>
#include <sstream>

#include "analysis/comparison.h"
#include "app/commands.h"
#include "cli/cli_app.h"
#include "cli/cli_dialogs.h"
#include "cli/compare_input.h"
#include "shell/dialog_texts.h"
#include "shell/program.h"
#include "support/fake_services.h"
#include "support/treatment_files.h"
#include "textio/user_error.h"

namespace lumera::cli {
namespace {

using test::TempFolder;

std::string write(const TempFolder& folder, const std::string& name, const std::string& text) {
    std::ofstream(folder.file(name), std::ios::binary) << text;
    return folder.file(name);
}

TEST(CompareInput, PlainAndTreatmentFiles) {
    TempFolder folder("compare_input");
    struct Case {
        std::string file, text, name;
        std::vector<double> replicates;
    };
    const std::vector<Case> good = {
        {"plain.txt", "1.5\n-1\n2\n", "plain", {1.5, -1, 2}},  // -1 is a value here
        {"named.txt", "Warm 30 C\r\n3\r\n 4 \r\n\r\n", "Warm 30 C", {3, 4}},
        {"last.txt", "5\n6", "last", {5, 6}},
        // Header fields may span lines; fewer than B replicates end with -1.
        {"boot.txt", "\"Hot\",\"R0\",30,\n\"x\",5,\"H\",30,2.5\n1\n2\n3\n-1\n", "Hot", {1, 2, 3}},
        // B replicates exactly: what follows the end marker is not counted.
        {"exact.txt", "\"Cool\",\"R0\",30,\"x\",2,\"C\",30,1\n7,8\n-1\n9\n", "Cool", {7, 8}},
    };
    for (const Case& c : good) {
        const analysis::TreatmentSample s = readCompareFile(write(folder, c.file, c.text));
        EXPECT_EQ(s.name, c.name) << c.file;
        EXPECT_EQ(s.replicates, c.replicates) << c.file;
        EXPECT_EQ(s.file, folder.file(c.file));
    }

    const std::vector<std::pair<std::string, std::string>> bad = {
        {"1\n2\nNA\n3\n", ", line 3: \"NA\" is not a number."},
        {"1\n\n2\n", ", line 2: the line is empty."},
        {"1\n1E+400\n", ", line 2: \"1E+400\" is too large."},
        {"name\n4\n", ": the file holds 1 replicates; at least 2 are needed."},
        {"", "\nThe file is empty."},
        {"\"Hot\",\"R0\",30,\"x\",4,\"H\",30,2.5\n1\n2\n3\n", ": the file announces B = 4 replicates but holds 3"},
        {"\"Hot\",\"R0\",30,\"x\",4,\"H\",30,2.5\n1\nx\n", ", line 3, field 10: \"x\" is not a number."},
    };
    for (const auto& [text, message] : bad) {
        const std::string path = write(folder, "bad.txt", text);
        try {
            readCompareFile(path);
            ADD_FAILURE() << "accepted: " << text;
        } catch (const UserError& e) {
            EXPECT_TRUE(e.text().rfind(path + ", ", 0) == 0 || e.text().rfind(path + ": ", 0) == 0 ||
                        e.text().rfind("File: " + path + "\n", 0) == 0)
                << e.text();
            EXPECT_NE(e.text().find(message), std::string::npos) << e.text();
        }
    }
    EXPECT_THROW(readCompareFile(folder.path().string()), UserError);
}

// Read together, the files give what each gives alone, in the order given,
// and a refusal is the first failing file's, as reading them in turn.
TEST(CompareInput, ManyFilesReadTogetherAsInTurn) {
    TempFolder folder("compare_many");
    std::vector<std::string> files;
    for (int f = 0; f < 7; ++f) {
        std::string text = "T";
        text += std::to_string(f);
        text += "\n";
        for (int i = 0; i < 2000 + 300 * f; ++i) {
            text += std::to_string(f + i * 0.001);
            text += '\n';
        }
        std::string name = "f";
        name += std::to_string(f);
        name += ".txt";
        files.push_back(write(folder, name, text));
    }
    const std::vector<analysis::TreatmentSample> got = readCompareFiles(files);
    ASSERT_EQ(got.size(), files.size());
    for (std::size_t f = 0; f < files.size(); ++f) {
        const analysis::TreatmentSample want = readCompareFile(files[f]);
        EXPECT_EQ(got[f].name, want.name);
        EXPECT_EQ(got[f].replicates, want.replicates);
        EXPECT_EQ(got[f].sorted, want.sorted);
    }
    std::vector<std::string> withBad = files;
    withBad.insert(withBad.begin() + 5, write(folder, "late.txt", "1\nx\n"));
    withBad.insert(withBad.begin() + 2, write(folder, "early.txt", "1\n"));
    try {
        readCompareFiles(withBad);
        ADD_FAILURE() << "accepted";
    } catch (const UserError& e) {
        EXPECT_NE(e.text().find("early.txt"), std::string::npos) << e.text();
    }
}

// The Cartesian test through its own procedures, for its run state.
const RunState& cartesian(Program& program, CliDialogs& dialogs, const std::vector<std::string>& files,
                          const std::ostringstream& notices) {
    using namespace dialog_texts;
    dialogs.clearAnswers();
    dialogs.answerQuestion(kDetailInfoTitle, Answer::No);
    dialogs.answerQuestion(kReversedTitle, Answer::No);
    dialogs.answerInput(kTreatmentCountTitle, std::to_string(files.size()));
    dialogs.answerInput(kTransformTitle, "0");
    dialogs.answerInput(kCodeTitle, "1");
    dialogs.quietNotice(kCompletedTitle);
    for (const std::string& f : files) dialogs.queueFile(f);
    EXPECT_EQ(program.click("cmdCartesianDifference"), Program::Outcome::Done) << notices.str();
    return program.state();
}

// Whatever both commands accept, compare finds the same order, counts,
// percentile values and P as the Cartesian test: the sample data, and
// random treatments with ties, equal means and unequal B.
TEST(CompareAgainstCartesian, SameOrderCountsPercentilesAndP) {
    TempFolder folder("compare_vs_cartesian");
    std::ostringstream notices;
    CliDialogs dialogs(notices);
    test::FakeClock clock;
    test::FakeRandom random;
    Program program(dialogs, clock, random, folder.path().string());
    installCommands(program);
    program.form1().Form_Load();
    program.pinWorkingFolder(folder.path().string());  // reports stay out of the sample data

    std::vector<std::vector<std::string>> runs = {
        {LUMERA_EXAMPLES_DIR "/r0-18C.txt", LUMERA_EXAMPLES_DIR "/r0-24C.txt", LUMERA_EXAMPLES_DIR "/r0-30C.txt"},
        {LUMERA_EXAMPLES_DIR "/rm-bean.txt", LUMERA_EXAMPLES_DIR "/rm-pea.txt"},
    };
    std::mt19937_64 rng(2026);
    for (int r = 0; r < 12; ++r) {
        std::vector<std::string> files;
        const int k = 2 + r % 2;
        for (int t = 0; t < k; ++t) {
            std::uniform_int_distribution<int> size(2, 60);
            std::vector<double> x(static_cast<std::size_t>(size(rng)));
            // Coarse values: many ties, zero differences and equal means
            // (never -1, which ends a treatment file).
            std::uniform_int_distribution<int> step(-6, 6);
            for (double& v : x) v = r % 3 == 0 ? 1.5 : 10 + 0.25 * step(rng) + 0.5 * (t % 2);
            if (r % 4 == 1 && t == 1) x = std::vector<double>(x.size(), 0.25);
            files.push_back(test::writeTreatment(
                folder.file("t" + std::to_string(r) + "_" + std::to_string(t) + ".txt"),
                {.name = "T" + std::to_string(t), .code = "C" + std::to_string(t), .replicates = x}));
        }
        runs.push_back(files);
    }

    for (const std::vector<std::string>& files : runs) {
        SCOPED_TRACE(files.front());
        const RunState& s = cartesian(program, dialogs, files, notices);
        std::vector<analysis::TreatmentSample> samples;
        for (const std::string& f : files) samples.push_back(readCompareFile(f));
        const analysis::Comparison c = analysis::compareTreatments(std::move(samples), 0.05, false);
        ASSERT_EQ(static_cast<int>(c.treatments.size()), s.TreatmentCount);
        for (int t = 1; t <= s.TreatmentCount; ++t) {
            EXPECT_EQ(c.treatments[t - 1].name, s.TreatName[t]);
            EXPECT_EQ(c.treatments[t - 1].mean, s.BootMean[t]);
            EXPECT_EQ(c.treatments[t - 1].se, s.BootSE[t]);
        }
        std::size_t k = 0;
        for (int i = 1; i < s.TreatmentCount; ++i)
            for (int j = i + 1; j <= s.TreatmentCount; ++j, ++k) {
                const analysis::PairResult& p = c.pairs[k];
                EXPECT_EQ(p.atMostZero, s.CountAtMostZero[i][j]);
                EXPECT_EQ(p.atLeastTwice, s.CountAtLeastTwice[i][j]);
                EXPECT_EQ(p.pValue, s.PValue[i][j]);
                EXPECT_EQ(p.percentileLower, s.PctLower[i][j]);  // -0 == +0
                EXPECT_EQ(p.percentileUpper, s.PctUpper[i][j]);
                const bool firstMinusSecond = s.BootMean[i] > s.BootMean[j];
                EXPECT_EQ(p.first, static_cast<std::size_t>(firstMinusSecond ? i - 1 : j - 1));
            }
    }
}

TEST(CompareCli, JsonReadsBackAndCsvHasARowAPair) {
    TempFolder folder("compare_cli");
    const std::string a = write(folder, "a.txt", "Cold\n1\n2\n3\n4\n");
    const std::string b = write(folder, "b.txt", "Mild\n2\n3\n4\n5\n");
    const std::string c = write(folder, "c.txt", "Hot\n7\n8\n9\n9.5\n");
    std::ostringstream out, err;
    ASSERT_EQ(runCli({"compare", "--json", "--sidak", "--csv", folder.file("pairs.csv"), a, b, c}, out, err), 0)
        << err.str();
    const nlohmann::json doc = nlohmann::json::parse(out.str());
    EXPECT_EQ(doc["format"], "lumera-compare");
    EXPECT_EQ(doc["version"], 1);
    EXPECT_EQ(doc["pair_count"], 3);
    EXPECT_DOUBLE_EQ(doc["sidak_alpha"].get<double>(), 1 - std::pow(0.95, 1.0 / 3));
    ASSERT_EQ(doc["treatments"].size(), 3u);
    EXPECT_EQ(doc["treatments"][0]["name"], "Hot");
    EXPECT_EQ(doc["treatments"][0]["replicates"], 4);
    EXPECT_EQ(doc["treatments"][0]["mean"].get<double>(), 8.375);
    const nlohmann::json& hotCold = doc["pairs"][1];
    EXPECT_EQ(hotCold["first"], "Hot");
    EXPECT_EQ(hotCold["second_index"], 3);
    EXPECT_EQ(hotCold["differences"], 16);
    EXPECT_EQ(hotCold["at_most_zero"], 0);
    EXPECT_TRUE(hotCold["significant"].is_boolean());
    EXPECT_EQ(hotCold["mean_difference"].get<double>(), 8.375 - 2.5);
    // Letters share exactly when the decision says "no difference".
    for (const auto& p : doc["pairs"]) {
        const std::string l1 = doc["treatments"][p["first_index"].get<int>() - 1]["letters"];
        const std::string l2 = doc["treatments"][p["second_index"].get<int>() - 1]["letters"];
        const bool share = l1.find_first_of(l2) != std::string::npos;
        EXPECT_EQ(share, !p["significant"].get<bool>());
    }
    const std::string csv = test::readFile(folder.file("pairs.csv"));
    EXPECT_EQ(csv.rfind("first,second,first_index,second_index,differences,mean_difference,se,", 0), 0u);
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 4);
    EXPECT_NE(csv.find("\r\nHot,Cold,1,3,16,5.875,"), std::string::npos) << csv;

    std::ostringstream out2, err2;
    EXPECT_EQ(runCli({"compare", a, folder.file("missing.txt")}, out2, err2), 1);
    EXPECT_NE(err2.str().find("compare: File: " + folder.file("missing.txt")), std::string::npos) << err2.str();
    std::ostringstream out3, err3;
    EXPECT_EQ(runCli({"compare", "--help"}, out3, err3), 0);
    EXPECT_NE(out3.str().find("--sidak"), std::string::npos);
}

}  // namespace
}  // namespace lumera::cli
