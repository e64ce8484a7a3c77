// compare's multiplicity rules, interval level and the marks at the limits,
// as the command line prints them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "cli/cli_app.h"
#include "support/treatment_files.h"

namespace lumera::cli {
namespace {

using test::TempFolder;

struct Outcome {
    int code;
    std::string out, err;
};

Outcome run(const std::vector<std::string>& words) {
    std::ostringstream out, err;
    const int code = runCli(words, out, err);
    return {code, out.str(), err.str()};
}

struct Files {
    TempFolder folder{"compare_rules"};
    std::string write(const std::string& name, const std::string& text) const {
        std::ofstream(folder.file(name), std::ios::binary) << text;
        return folder.file(name);
    }
    std::string cold = write("a.txt", "Cold\n1\n2\n3\n4\n");
    std::string mild = write("b.txt", "Mild\n2\n3\n4\n5\n");
    std::string hot = write("c.txt", "Hot\n7\n8\n9\n9.5\n");
};

TEST(CompareRules, JsonRecordsRuleLevelAndPerPairFields) {
    const Files f;
    const Outcome plain = run({"compare", "--json", f.cold, f.mild, f.hot});
    ASSERT_EQ(plain.code, 0) << plain.err;
    const nlohmann::json doc = nlohmann::json::parse(plain.out);
    EXPECT_EQ(doc["adjust"], "none");
    EXPECT_EQ(doc["level"].get<double>(), 0.95);
    for (const auto& p : doc["pairs"]) {
        EXPECT_EQ(p["p_adjusted"], p["p_value"]);
        EXPECT_EQ(p["p_resolution"].get<double>(), 1.0 / 16);
        EXPECT_EQ(p["t_excludes_zero"], p["t_lower"].get<double>() > 0 || p["t_upper"].get<double>() < 0);
        EXPECT_EQ(p["percentile_excludes_zero"],
                  p["percentile_lower"].get<double>() > 0 || p["percentile_upper"].get<double>() < 0);
    }
    // Hot - Mild and Hot - Cold count no difference at or below 0: P 0, kept as 0.
    EXPECT_EQ(doc["pairs"][0]["p_value"].get<double>(), 0);
    // An explicit 0.95 is the default, to the byte, but for the words given.
    const auto withoutWords = [](const std::string& text) {
        nlohmann::json d = nlohmann::json::parse(text);
        d.erase("command_line");
        return d.dump();
    };
    EXPECT_EQ(withoutWords(run({"compare", "--json", "--level", "0.95", f.cold, f.mild, f.hot}).out),
              withoutWords(plain.out));
    EXPECT_EQ(
        withoutWords(run({"compare", "--json", "--level", "0.950", "--adjust", "none", f.cold, f.mild, f.hot}).out),
        withoutWords(plain.out));

    // Mild - Cold: P = 12/16 = 0.75 of m = 3 pairs; Bonferroni gives min(1, 2.25).
    const Outcome bonferroni = run({"compare", "--json", "--adjust", "bonferroni", f.cold, f.mild, f.hot});
    const nlohmann::json b = nlohmann::json::parse(bonferroni.out);
    EXPECT_EQ(b["adjust"], "bonferroni");
    EXPECT_EQ(b["pairs"][2]["p_value"].get<double>(), 0.75);
    EXPECT_EQ(b["pairs"][2]["p_adjusted"].get<double>(), 1);

    const nlohmann::json l = nlohmann::json::parse(run({"compare", "--json", "--level", ".9", f.cold, f.hot}).out);
    EXPECT_EQ(l["level"].get<double>(), 0.9);
    // 16 differences: ranks 16 x 0.05 + 0.5 = 1.3 and 16 x 0.95 + 0.5 = 15.7.
    EXPECT_EQ(l["pairs"][0]["lower_position"], 1);
    EXPECT_EQ(l["pairs"][0]["upper_position"], 16);
}

TEST(CompareRules, TableMarksPBelowTheResolutionAndFollowsTheLevel) {
    const Files f;
    const Outcome table = run({"compare", "--level", "0.9", f.cold, f.mild, f.hot});
    ASSERT_EQ(table.code, 0) << table.err;
    EXPECT_NE(table.out.find("t 90% CI"), std::string::npos) << table.out;
    EXPECT_NE(table.out.find("Percentile 90% CI"), std::string::npos);
    EXPECT_EQ(table.out.find("95%"), std::string::npos);
    EXPECT_NE(table.out.find("< 0.0625  *"), std::string::npos) << table.out;
    EXPECT_EQ(table.out.find("Adj. P"), std::string::npos);
    EXPECT_EQ(table.out.find('!'), std::string::npos);

    const Outcome holm = run({"compare", "--adjust", "holm", f.cold, f.mild, f.hot});
    EXPECT_NE(holm.out.find("Adj. P"), std::string::npos) << holm.out;
    // Holm of (0, 0, 0.75) with the zeros at 1/16: 3/16 for both.
    EXPECT_NE(holm.out.find("< 0.0625  <= 0.1875  *"), std::string::npos) << holm.out;
    EXPECT_NE(holm.out.find("* Adjusted P <= 0.05 (Holm, 3 pairs)."), std::string::npos);

    const Outcome sidak = run({"compare", "--adjust", "sidak", f.cold, f.mild, f.hot});
    EXPECT_EQ(run({"compare", "--sidak", f.cold, f.mild, f.hot}).out, sidak.out);
    EXPECT_EQ(run({"compare", "--sidak", "--adjust", "sidak", f.cold, f.mild, f.hot}).out, sidak.out);
    EXPECT_NE(sidak.out.find("(Sidak level for 3 pairs)"), std::string::npos) << sidak.out;
}

TEST(CompareRules, MarksAVerdictAgainstBothIntervals) {
    const Files f;
    // Differences 1 (18 of 20) and 2.5 (2 of 20): mean 1.15 above 1.96 SE,
    // both intervals above 0, yet P = #(d >= 2.3) / 20 = 0.1.
    const std::string skewed = f.write("skewed.txt", "Skewed\n1\n1\n1\n1\n1\n1\n1\n1\n1\n2.5\n");
    const std::string zero = f.write("zero.txt", "Zero\n0\n0\n");
    const Outcome table = run({"compare", skewed, zero});
    ASSERT_EQ(table.code, 0) << table.err;
    EXPECT_NE(table.out.find("0.1  !\n"), std::string::npos) << table.out;
    EXPECT_NE(table.out.find("\n! The verdict is the opposite of what both intervals say"), std::string::npos);
    const nlohmann::json doc = nlohmann::json::parse(run({"compare", "--json", skewed, zero}).out);
    EXPECT_EQ(doc["pairs"][0]["p_value"].get<double>(), 0.1);
    EXPECT_EQ(doc["pairs"][0]["significant"], false);
    EXPECT_EQ(doc["pairs"][0]["t_excludes_zero"], true);
    EXPECT_EQ(doc["pairs"][0]["percentile_excludes_zero"], true);
    // At alpha 0.1 the verdict joins the intervals and the mark goes.
    EXPECT_EQ(run({"compare", "--alpha", "0.1", skewed, zero}).out.find('!'), std::string::npos);
}

TEST(CompareRules, CsvBooleansAsRAndPandasReadThem) {
    const Files f;
    const Outcome csv = run({"compare", "--csv", "-", f.cold, f.mild, f.hot});
    ASSERT_EQ(csv.code, 0) << csv.err;
    EXPECT_NE(csv.out.find(",p_value,p_adjusted,p_resolution,significant,t_excludes_zero,percentile_excludes_zero\r\n"),
              std::string::npos)
        << csv.out;
    EXPECT_NE(csv.out.find(",0,0,0.0625,TRUE,TRUE,TRUE\r\n"), std::string::npos) << csv.out;
    EXPECT_NE(csv.out.find(",0.75,0.75,0.0625,FALSE,FALSE,FALSE\r\n"), std::string::npos) << csv.out;
    EXPECT_EQ(csv.out.find("true"), std::string::npos);
    EXPECT_EQ(csv.out.find("false"), std::string::npos);
}

TEST(CompareRules, WrongRulesAndLevelsAreUsageErrors) {
    const Files f;
    const std::vector<std::vector<std::string>> wrong = {
        {"--sidak", "--adjust", "holm"},
        {"--adjust", "bh"},
        {"--adjust", "fdr"},
        {"--adjust"},
        {"--level", "0"},
        {"--level", "1"},
        {"--level", "1.5"},
        {"--level", "-0.9"},
        {"--level", "abc"},
        {"--level", "0.9.5"},
        {"--level", "95%"},
    };
    for (std::vector<std::string> words : wrong) {
        words.insert(words.begin(), "compare");
        words.push_back(f.cold);
        words.push_back(f.hot);
        const Outcome r = run(words);
        EXPECT_EQ(r.code, 2) << words[1] << " " << (words.size() > 4 ? words[2] : "");
        EXPECT_TRUE(r.out.empty());
    }
    const Outcome help = run({"compare", "--help"});
    for (const char* option : {"--adjust", "bonferroni", "holm", "hochberg", "BH", "--level"})
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
}

}  // namespace
}  // namespace lumera::cli
