#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "analysis/normality.h"
#include "cli/cli_app.h"
#include "cli/cli_args.h"
#include "support/treatment_files.h"

namespace lumera::cli {
namespace {

TEST(CliArgs, CartesianOptionsAndFilesInOrder) {
    Command c = parseCommand({"cartesian", "--reversed", "--transform", "2", "--flow", "--code", "x 1", "--dir", "out",
                              "b.txt", "a.txt", "c.txt"});
    ASSERT_EQ(c.kind, Command::Kind::Cartesian);
    EXPECT_TRUE(c.cartesian.reversed);
    EXPECT_EQ(c.cartesian.transform, 2);
    EXPECT_TRUE(c.cartesian.flow);
    EXPECT_FALSE(c.cartesian.detail);
    EXPECT_EQ(c.cartesian.code, "x 1");
    EXPECT_EQ(c.cartesian.dir, "out");
    EXPECT_EQ(c.cartesian.files, (std::vector<std::string>{"b.txt", "a.txt", "c.txt"}));

    Command d = parseCommand({"cartesian", "a.txt", "b.txt"});
    EXPECT_EQ(d.cartesian.code, "1");
    EXPECT_EQ(d.cartesian.transform, 0);
    // One or four files are a wrong command line, as for every command.
    EXPECT_THROW(parseCommand({"cartesian", "a.txt"}), UsageError);
    EXPECT_THROW(parseCommand({"cartesian", "a", "b", "c", "d"}), UsageError);
}

TEST(CliArgs, SortOptions) {
    Command c = parseCommand({"sort", "--kind", "pbt", "--serials", "--decimals", "2", "data.txt"});
    ASSERT_EQ(c.kind, Command::Kind::Sort);
    EXPECT_EQ(c.sort.kind, SortKind::Pbt);
    EXPECT_TRUE(c.sort.serials);
    EXPECT_EQ(c.sort.decimals, "2");
    EXPECT_EQ(c.sort.file, "data.txt");
    EXPECT_EQ(parseCommand({"sort", "d.txt"}).sort.decimals, "-1");
}

TEST(CliArgs, NormalityOptions) {
    Command c = parseCommand({"normality", "--kind", "boot", "--serials", "--decimals", "1", "--json", "d.txt"});
    ASSERT_EQ(c.kind, Command::Kind::Normality);
    EXPECT_EQ(c.normality.kind, SortKind::Boot);
    EXPECT_TRUE(c.normality.serials);
    EXPECT_TRUE(c.normality.json);
    EXPECT_EQ(c.normality.decimals, "1");
    EXPECT_EQ(c.normality.file, "d.txt");
    const Command d = parseCommand({"normality", "d.txt"});
    EXPECT_EQ(d.normality.kind, SortKind::General);
    EXPECT_FALSE(d.normality.json);
    EXPECT_EQ(d.normality.decimals, "-1");
    EXPECT_NE(std::string(kUsage).find("lumera-cli normality [--kind general|boot|pbt] [--serials] [--decimals D] "
                                       "[--json] [--plot DIR] FILE\n"),
              std::string::npos);
    EXPECT_EQ(parseCommand({"normality", "--plot", "out", "d.txt"}).normality.plot, "out");
    EXPECT_EQ(parseCommand({"sort", "--plot", "out", "d.txt"}).sort.plot, "out");
    EXPECT_TRUE(d.normality.plot.empty());
}

TEST(CliArgs, WrongCommandLinesExitTwoWithUsage) {
    const std::vector<std::vector<std::string>> wrong = {
        {},
        {"compare", "a"},
        {"compare", "--alpha", "1", "a", "b"},
        {"compare", "--json"},
        {"summarise", "a", "b"},
        {"cartesian"},
        {"cartesian", "--transform", "3", "a", "b"},
        {"cartesian", "--transform"},
        {"cartesian", "--colour", "a", "b"},
        {"sort", "--kind", "other", "f"},
        {"sort", "a", "b"},
        {"sort"},
        {"normality"},
        {"normality", "a", "b"},
        {"normality", "--kind", "x", "a"},
        {"normality", "--csv", "a"},
        {"normality", "--decimals", "6", "a"},
        {"script"},
        {"script", "a", "b"},
    };
    for (const auto& words : wrong) {
        std::ostringstream out, err;
        EXPECT_EQ(runCli(words, out, err), 2) << (words.empty() ? "(none)" : words[0]);
        EXPECT_NE(err.str().find("usage: lumera-cli cartesian"), std::string::npos);
        EXPECT_TRUE(out.str().empty());
    }
}

TEST(CliArgs, HelpPrintsTheUsage) {
    for (const char* help : {"--help", "-h"}) {
        std::ostringstream out, err;
        EXPECT_EQ(runCli({help}, out, err), 0);
        EXPECT_EQ(out.str(), kHelp);
        EXPECT_EQ(out.str().rfind(kUsage, 0), 0u);
        EXPECT_TRUE(err.str().empty());
    }
}

TEST(CliArgs, ScriptLinesKeepQuotedNamesTogether) {
    EXPECT_EQ(splitScriptLine("sort --kind boot \"my data/R0 boot.txt\"  'x y'"),
              (std::vector<std::string>{"sort", "--kind", "boot", "my data/R0 boot.txt", "x y"}));
    EXPECT_EQ(splitScriptLine("   "), std::vector<std::string>{});
    EXPECT_EQ(splitScriptLine("cartesian \"\" b"), (std::vector<std::string>{"cartesian", "", "b"}));
    EXPECT_THROW(splitScriptLine("sort \"open"), UsageError);
}

TEST(CliScript, WrongLineIsNamedByNumber) {
    auto path = std::filesystem::temp_directory_path() / "lumera_cli_script.txt";
    {
        std::ofstream script(path, std::ios::binary);
        script << "# two sorts\r\n\r\nsort --kind nonsense a.txt\r\n";
    }
    std::ostringstream out, err;
    EXPECT_EQ(runCli({"script", path.string()}, out, err), 2);
    EXPECT_NE(err.str().find(", line 3: --kind takes general, boot or pbt"), std::string::npos) << err.str();
    std::filesystem::remove(path);

    std::ostringstream out2, err2;
    EXPECT_EQ(runCli({"script", path.string()}, out2, err2), 1);
    EXPECT_NE(err2.str().find("cannot open the script"), std::string::npos);
}

TEST(CliNormality, JsonHoldsTheTestsOfTheRoundedValues) {
    test::TempFolder folder("cli_normality");
    const std::string in = folder.file("dur.txt");
    {
        std::ofstream f(in, std::ios::binary);
        f << "\"Pest study\",\"x\",\"Duration\"\r\n";
        for (double v : {5.04, 3.11, 4.0, 2.96, 6.5, 4.44, 3.7, 5.25, 4.8}) f << v << "\r\n";
        f << "-1\r\n7\r\n";  // the end record and a value past it
    }
    std::ostringstream out, err;
    ASSERT_EQ(runCli({"normality", "--decimals", "1", "--json", in}, out, err), 0) << err.str();
    EXPECT_EQ(err.str(), "");
    const std::vector<double> rounded = {5.0, 3.1, 4.0, 3.0, 6.5, 4.4, 3.7, 5.3, 4.8};
    const analysis::NormalityResult r = analysis::testNormality(rounded);
    const nlohmann::json j = nlohmann::json::parse(out.str());
    EXPECT_EQ(j["n"].get<std::size_t>(), 9u);
    EXPECT_EQ(j["mean"].get<double>(), r.mean);
    EXPECT_EQ(j["sd"].get<double>(), r.sd);
    EXPECT_EQ(j["skewness"].get<double>(), r.skewness);
    EXPECT_EQ(j["excess_kurtosis"].get<double>(), r.excessKurtosis);
    EXPECT_EQ(j["shapiro_wilk"]["W"].get<double>(), r.shapiroWilk->W);
    EXPECT_EQ(j["shapiro_wilk"]["p"].get<double>(), r.shapiroWilk->p);
    EXPECT_EQ(j["anderson_darling"]["A2"].get<double>(), r.andersonDarling->A2);
    EXPECT_EQ(j["anderson_darling"]["p"].get<double>(), r.andersonDarling->p);
    EXPECT_EQ(folder.names(), std::vector<std::string>{"dur.txt"});  // nothing written

    std::ostringstream text, textErr;
    ASSERT_EQ(runCli({"normality", in}, text, textErr), 0);
    EXPECT_EQ(text.str().rfind("n = 9\nMean = ", 0), 0u) << text.str();
}

TEST(CliNormality, BadInputIsAMessageAndExitOne) {
    test::TempFolder folder("cli_normality_bad");
    const std::string in = folder.file("none.txt");
    {
        std::ofstream f(in, std::ios::binary);
        f << "\"Pest study\",\"x\",\"Duration\"\r\n-1\r\n";
    }
    struct Case {
        std::vector<std::string> words;
        std::string message;
    };
    const Case cases[] = {
        {{"normality", in}, ": The file holds no values.\n"},
        {{"normality", folder.file("absent.txt")}, "absent.txt"},
    };
    for (const Case& c : cases) {
        std::ostringstream out, err;
        EXPECT_EQ(runCli(c.words, out, err), 1) << c.message;
        EXPECT_NE(err.str().find(c.message), std::string::npos) << err.str();
        EXPECT_EQ(out.str(), "");
    }
    // The same words as the sort's own message.
    std::ostringstream sortOut, sortErr, out, err;
    runCli({"sort", in}, sortOut, sortErr);
    runCli({"normality", in}, out, err);
    EXPECT_EQ(err.str(), sortErr.str());
}

TEST(CliCartesian, RunsTheTestAndRejectsOneOrFourTreatments) {
    test::TempFolder folder("cli_cartesian");
    std::string a = test::writeTreatment(folder.file("a.txt"), {.code = "A", .replicates = {1, 2, 3, 4}});
    std::string b = test::writeTreatment(folder.file("b.txt"), {.code = "B", .replicates = {2, 3, 5, 4}});
    for (const std::vector<std::string>& files : {std::vector<std::string>{a}, std::vector<std::string>{a, b, a, b}}) {
        std::vector<std::string> words = {"cartesian", "--dir", folder.path().string()};
        words.insert(words.end(), files.begin(), files.end());
        std::ostringstream out, err;
        EXPECT_EQ(runCli(words, out, err), 2);
        EXPECT_NE(err.str().find("cartesian compares 2 or 3 treatment files, not "), std::string::npos) << err.str();
        EXPECT_TRUE(out.str().empty());
    }
    {
        // A missing output folder is found before any work is done.
        std::ostringstream out, err;
        EXPECT_EQ(runCli({"cartesian", "--dir", folder.file("missing"), a, b}, out, err), 1);
        EXPECT_NE(err.str().find("does not exist"), std::string::npos) << err.str();
        EXPECT_FALSE(std::filesystem::exists(folder.file("missing")));
    }
    std::ostringstream out, err;
    EXPECT_EQ(runCli({"cartesian", "--flow", "--code", "run", "--dir", folder.path().string(), a, b}, out, err), 0)
        << err.str();
    EXPECT_EQ(test::readFile(folder.file("25A-Cartesian diff_0_Flow.txt")),
              "Sub CartesianDifference2\r\nSub QuickSort\r\nSub PrintMultiCIofDifference\r\n"
              "Sub PrintPairTestTable\r\nSub ShowMultiCIofDifference\r\n");
    // The report's path, and the report beside the flow record.
    std::string path = out.str().substr(0, out.str().size() - 1);
    EXPECT_EQ(std::filesystem::path(path).parent_path(), folder.path());
    EXPECT_EQ(std::filesystem::path(path).filename().string().rfind("25A-Cartesian diff results-B_run ", 0), 0u);
    EXPECT_NE(test::readFile(path).find("Comparison between Control vs Control"), std::string::npos);
}

TEST(CliScript, AllDifferencesFileReadsBackAsPairResults) {
    test::TempFolder folder("cli_readback");
    test::writeTreatment(folder.file("a.txt"), {.name = "Hot", .code = "H", .replicates = {3, 4, 5, 6}});
    test::writeTreatment(folder.file("b.txt"), {.name = "Cool", .code = "K", .replicates = {1, 2, 3}});
    std::string all = folder.file("25A-Cartesian diff_5-H-1 to 2_diff-All (for N. sort).txt");
    {
        std::ofstream script(folder.file("run.txt"), std::ios::binary);
        script << "cartesian --detail --dir \"" << folder.path().string() << "\" \"" << folder.file("a.txt") << "\" \""
               << folder.file("b.txt") << "\"\n"
               << "sort --kind pbt --serials \"" << all << "\"\n";
    }
    std::ostringstream out, err;
    ASSERT_EQ(runCli({"script", folder.file("run.txt")}, out, err), 0) << err.str();
    std::string sorted = test::readFile(all.substr(0, all.size() - 4) + "-2_Sorted.txt");
    // Ten header fields: the count of values is the pair's C, and all 12 come back.
    EXPECT_NE(sorted.find("\"Total effective bootstrap number (B) = \",12\r\n"), std::string::npos) << sorted;
    EXPECT_NE(sorted.find("\"Variable: Hot vs Cool\"\r\n"), std::string::npos);
    EXPECT_NE(sorted.find("\r\n12,"), std::string::npos);
    EXPECT_EQ(sorted.find("\r\n13,"), std::string::npos);
}

}  // namespace
}  // namespace lumera::cli
