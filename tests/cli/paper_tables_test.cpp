// compare --table: the numbers a paper shows, their escaping, and each form.
#include "cli/paper_tables.h"

#include <gtest/gtest.h>

#include <sstream>

#include "support/cli_run.h"
#include "support/treatment_files.h"

namespace lumera::cli {
namespace {

TEST(PaperTables, SeToTwoSignificantDigitsAndTheEstimateToTheSamePlace) {
    // Worked by hand on the decimals as written; halves go to the even digit.
    const struct {
        double estimate, se;
        const char* shownEstimate;
        const char* shownSe;
    } cases[] = {
        {0.45678, 0.0123, "0.457", "0.012"},
        {12.345, 0.995, "12.3", "1.0"},  // 0.995 reads as a half: up to 1.00, so one decimal
        {56789, 1234, "56800", "1200"},  // to the hundreds
        {1250, 1234, "1200", "1200"},    // a half to the even hundred
        {1350, 1234, "1400", "1200"},
        {3.145, 0.125, "3.14", "0.12"},     // halves: 4 and 2 stay
        {2.675, 0.135, "2.68", "0.14"},     // 7 and 3 go up, though 2.675's double lies below it
        {1.23456, 0.0999, "1.23", "0.10"},  // the carry makes 0.10, two digits at the hundredths
        {1234.5, 95, "1234", "95"},
        {-0.004, 0.12, "0.00", "0.12"},  // no sign on a zero
        {-7.251, 0.33, "-7.25", "0.33"},
        {0.000000123456, 0.000000015, "0.000000123", "0.000000015"},
        {14.7625, 0, "14.7625", "0"},  // nothing to round to
    };
    for (const auto& c : cases) {
        const RoundedPair shown = roundToSe(c.estimate, c.se);
        EXPECT_EQ(shown.estimate, c.shownEstimate) << c.estimate << " +/- " << c.se;
        EXPECT_EQ(shown.se, c.shownSe) << c.estimate << " +/- " << c.se;
    }
    EXPECT_EQ(twoDigitPlace(0.995), -1);
    EXPECT_EQ(twoDigitPlace(9.96), 0);
    EXPECT_EQ(decimalAt(0.5, 0), "0");
    EXPECT_EQ(decimalAt(1.5, 0), "2");
    EXPECT_EQ(decimalAt(-0.05, -1), "0.0");
    EXPECT_EQ(decimalAt(-0.051, -1), "-0.1");
    EXPECT_EQ(decimalAt(999.9, 1), "1000");
}

TEST(PaperTables, EscapingForEachForm) {
    EXPECT_EQ(latexText("a_b%c&d#e$f{g}h\\i^j~k<l>m|n[o]"),
              "a\\_b\\%c\\&d\\#e\\$f\\{g\\}h\\textbackslash{}i\\textasciicircum{}j\\textasciitilde{}k\\textless{}"
              "l\\textgreater{}m\\textbar{}n{[}o{]}");
    EXPECT_EQ(latexText("18 C"), "18 C");
    EXPECT_EQ(csvField("plain"), "plain");
    EXPECT_EQ(csvField("a, \"b\""), "\"a, \"\"b\"\"\"");
    EXPECT_EQ(csvField("two\nlines"), "\"two\nlines\"");
}

// Two treatments and their pair, every number set by hand, so that the
// tables' forms are checked apart from the test's arithmetic.
analysis::Comparison smallComparison() {
    analysis::Comparison c;
    c.treatments.push_back(analysis::makeSample("Hot_1 & 50%", "hot.txt", {10, 12, 14, 16}));  // SE 2.582
    c.treatments.back().estimate = 13.04;
    c.treatments.push_back(analysis::makeSample("Cold, \"dry\"", "cold.txt", {1, 2, 3, 4}));  // mean 2.5, SE 1.291
    c.letters = {"a", "b"};
    analysis::PairResult p;
    p.first = 0, p.second = 1, p.differences = 16;
    p.meanDifference = 10.5, p.se = 0.0456;
    p.tLower = 10.41062, p.tUpper = 10.58938;
    p.percentileLower = 10.4, p.percentileUpper = 10.6;
    p.pValue = 1.0 / 3000;
    c.pairs = {p};
    c.significant = {true};
    return c;
}

TEST(PaperTables, MarkdownWithAdjustedPAndTheMark) {
    analysis::Comparison c = smallComparison();
    c.pAdjusted = {0.001};
    c.againstIntervals = {true};
    EXPECT_EQ(paperTables(c, TableForm::Markdown),
              "| Treatment | B | Estimate ± SE | Letters |\n"
              "|---|---:|---:|---|\n"
              "| Hot\\_1 & 50% | 4 | 13.0 ± 2.6 | a |\n"
              "| Cold, \"dry\" | 4 | 2.5 ± 1.3 | b |\n"
              "\n"
              "| Pair | Difference | SE | t 95% CI | Percentile 95% CI | P | Adjusted P | Mark |\n"
              "|---|---:|---:|---:|---:|---:|---:|---|\n"
              "| Hot\\_1 & 50% - Cold, \"dry\" | 10.500 | 0.046 | [10.411, 10.589] | [10.400, 10.600] | 0.000333333 | "
              "0.001 | \\*! |\n");
    // Without adjusted values the P stands in; without the intervals' rule, no "!".
    c.pAdjusted.clear();
    c.againstIntervals.clear();
    c.significant = {false};
    const std::string plain = paperTables(c, TableForm::Markdown);
    EXPECT_NE(plain.find("| 0.000333333 | 0.000333333 |  |\n"), std::string::npos) << plain;
    // A bar in a name would end its cell.
    c.treatments[0].name = "a|b";
    EXPECT_NE(paperTables(c, TableForm::Markdown).find("| a\\|b | 4 |"), std::string::npos);
}

TEST(PaperTables, CsvTwoTablesApartByOneEmptyLine) {
    analysis::Comparison c = smallComparison();
    c.level = 0.9;
    c.levelPercent = "90";
    EXPECT_EQ(paperTables(c, TableForm::Csv),
              "Treatment,B,Estimate ± SE,Letters\r\n"
              "Hot_1 & 50%,4,13.0 ± 2.6,a\r\n"
              "\"Cold, \"\"dry\"\"\",4,2.5 ± 1.3,b\r\n"
              "\r\n"
              "Pair,Difference,SE,t 90% CI,Percentile 90% CI,P,Adjusted P,Mark\r\n"
              "\"Hot_1 & 50% - Cold, \"\"dry\"\"\",10.500,0.046,\"[10.411, 10.589]\",\"[10.400, 10.600]\","
              "0.000333333,0.000333333,*\r\n");
}

// The cells of each row of a tabular: its unescaped & count and braces.
void expectWellFormedTabulars(const std::string& latex, const std::vector<std::size_t>& columns) {
    std::istringstream in(latex);
    std::string line;
    std::size_t table = 0, cols = 0;
    int depth = 0;
    while (std::getline(in, line)) {
        if (line.rfind("\\begin{tabular}{", 0) == 0) {
            ASSERT_LT(table, columns.size());
            cols = line.size() - std::string("\\begin{tabular}{}").size();
            EXPECT_EQ(cols, columns[table]) << line;
            continue;
        }
        if (line == "\\end{tabular}") {
            ++table;
            continue;
        }
        if (line.empty() || line == "\\hline") continue;
        std::size_t ampersands = 0;
        for (std::size_t i = 0; i < line.size(); ++i) {
            if (line[i] == '\\') {
                ++i;  // an escaped character is text
                continue;
            }
            if (line[i] == '&') ++ampersands;
            if (line[i] == '{') ++depth;
            if (line[i] == '}') --depth;
            EXPECT_GE(depth, 0) << line;
        }
        EXPECT_EQ(ampersands + 1, cols) << line;
        EXPECT_EQ(depth, 0) << line;
        ASSERT_GE(line.size(), 3u);
        EXPECT_EQ(line.substr(line.size() - 3), " \\\\") << line;
    }
    EXPECT_EQ(table, columns.size());
}

TEST(PaperTables, LatexIsAPlainTabularWhoseRowsMatchItsColumns) {
    analysis::Comparison c = smallComparison();
    c.treatments[1].name = "x}{ & \\ ^~$#_%";
    const std::string latex = paperTables(c, TableForm::Latex);
    EXPECT_EQ(
        latex.substr(0, latex.find("\\hline\n\\end{tabular}")),
        "\\begin{tabular}{lrrl}\n"
        "\\hline\n"
        "Treatment & B & Estimate $\\pm$ SE & Letters \\\\\n"
        "\\hline\n"
        "Hot\\_1 \\& 50\\% & 4 & 13.0 $\\pm$ 2.6 & a \\\\\n"
        "x\\}\\{ \\& \\textbackslash{} \\textasciicircum{}\\textasciitilde{}\\$\\#\\_\\% & 4 & 2.5 $\\pm$ 1.3 & b "
        "\\\\\n");
    EXPECT_NE(latex.find("Pair & Difference & SE & t 95\\% CI & Percentile 95\\% CI & P & Adjusted P & Mark \\\\\n"),
              std::string::npos);
    EXPECT_NE(latex.find(" & 10.500 & 0.046 & {[}10.411, 10.589{]} & {[}10.400, 10.600{]} & 0.000333333 & "
                         "0.000333333 & * \\\\\n"),
              std::string::npos)
        << latex;
    expectWellFormedTabulars(latex, {4, 8});
}

TEST(PaperTables, FromTheCommandLineWithTreatmentFilesAndPlainFiles) {
    test::TempFolder folder("paper_tables");
    // A treatment file's estimate is field 8, a plain file's its mean.
    const std::string a = test::writeTreatment(folder.file("a.txt"),
                                               {.name = "Early", .original = 20.4, .replicates = {18, 22, 20, 24, 21}});
    std::ofstream(folder.file("late.txt")) << "Late\n1\n2\n3\n4\n";
    const test::CliRun run = test::cli({"compare", "--table", "md", a, folder.file("late.txt")});
    ASSERT_EQ(run.code, 0) << run.err;
    // Early: mean 21, SE sqrt(20 / 4) = 2.236; Late: mean 2.5, SE 1.291.
    EXPECT_NE(run.out.find("| Early | 5 | 20.4 ± 2.2 | a |\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("| Late | 4 | 2.5 ± 1.3 | b |\n"), std::string::npos) << run.out;
    EXPECT_EQ(run.err, "");
}

TEST(PaperTables, OneDocumentOnStdoutAndKnownForms) {
    test::TempFolder folder("paper_usage");
    const std::string a = test::writeTreatment(folder.file("a.txt"), {.replicates = {1, 2, 3}});
    const std::string b = test::writeTreatment(folder.file("b.txt"), {.replicates = {4, 5, 6}});
    const std::vector<std::vector<std::string>> refused = {
        {"--table", "md", "--json"},
        {"--table", "latex", "--csv", "-"},
        {"--json", "--csv", "-"},
        {"--table", "html"},
        {"--table", ""},
        {"--figure", "f.jpg"},
        {"--figure", "f"},
        {"--figure", "f.PNG"},
        {"--bars", "ci"},
        {"--label", "R0"},
        {"--figure", "f.png", "--bars", "sd"},
        {"--figure", "f.svg", "--csv", "f.csv"},
    };
    for (std::vector<std::string> words : refused) {
        const std::string shown = words[0] + " " + words[1];
        words.insert(words.begin(), "compare");
        words.push_back(a);
        words.push_back(b);
        const test::CliRun run = test::cli(words);
        EXPECT_EQ(run.code, 2) << shown;
        EXPECT_EQ(run.out, "") << shown;
        EXPECT_NE(run.err.find("usage"), std::string::npos) << shown << ": " << run.err;
    }
    EXPECT_EQ(folder.names(), (std::vector<std::string>{"a.txt", "b.txt"}));
}

}  // namespace
}  // namespace lumera::cli
