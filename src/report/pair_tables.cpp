#include "report/pair_tables.h"

#include <array>
#include <cstdint>
#include <string>

#include "shell/program.h"
#include "textio/number_forms.h"
#include "textio/print_line.h"
#include "textio/rounding.h"
#include "textio/text_file.h"

namespace lumera {

namespace {

constexpr double kSignificance = 0.05;
constexpr int kMarkRuleWidth = 75;

bool significant(double p) { return p <= kSignificance; }

std::string starred(std::string cell, bool star) {
    if (star) cell += '*';
    return cell;
}

// Wraps instead of overflowing; the counter is documented to keep going.
void writeTitle(RunState& s, TextFile& report, const char* title) {
    s.TableNumber = static_cast<std::int32_t>(static_cast<std::uint32_t>(s.TableNumber) + 1u);
    const std::string digits = std::to_string(s.TableNumber);
    report.writeLine(" Table" + (s.TableNumber < 0 ? digits : " " + digits) + title);
}

enum class Kind { LowerCI, PValue, Cartesian, WithOriginal, PValueBoth };

struct TableLayout {
    Kind kind;
    const char* title;
    std::array<const char*, 4> legend;  // unused entries are null
    const char* diagonal;
};

constexpr std::array<TableLayout, 5> kTables{{
    {Kind::LowerCI,
     ". Differences between treatments and lower CI",
     {"(This is the t confidence interval based on Cartesian product differences)",
      " [Upper right triangle: The difference between means (i,j)]",
      " [Lower left triangle: Lower CI of difference between means (i,j) based on t]", " "},
     " ----"},
    {Kind::PValue,
     ". Differences between treatments and P-value",
     {" [Upper right triangle: The difference between means (i,j)]",
      " [Lower left triangle: P-value of the test between (i,j)]", " ", nullptr},
     " ----"},
    {Kind::Cartesian,
     ". Differences between treatments (Cartesian product test)",
     {" [Upper right triangle: P-value of the test between (i,j)]",
      " [Lower left triangle: The difference between means (i,j)]", " ", nullptr},
     " ----"},
    {Kind::WithOriginal,
     ". Differences between treatments (Cartesian product test)",
     {" [Upper right triangle: P-value of the test between (i,j)]",
      " [Lower left triangle: The difference between means (i,j)]",
      " The original values are listed in the last column", nullptr},
     "------"},
    {Kind::PValueBoth,
     ". Differences between treatments (Cartesian product test)",
     {" [Upper right triangle: P-value of the test between (i,j)]",
      " [Lower left triangle: P-value of the test between (j,i)]", " ", nullptr},
     " ------"},
}};

std::string pairCell(const RunState& s, Kind kind, int i, int j) {
    const double p = s.PValueTable[i][j];
    const bool sig = significant(p);
    const bool upper = i < j;
    switch (kind) {
        case Kind::LowerCI:
            if (upper) return differenceCell(s.AbsMeanDiff[i][j]);
            // Only the sign of the limit decides here, not the P-value.
            return starred(differenceCell(s.TLower[j][i]), s.TLower[j][i] > 0);
        case Kind::PValue:
            return starred(upper ? differenceCell(s.AbsMeanDiff[i][j]) : pValueCell(p), sig);
        case Kind::Cartesian:
        case Kind::WithOriginal:
            return starred(upper ? pValueCell(p) : differenceCell(s.AbsMeanDiff[i][j]), sig);
        case Kind::PValueBoth:
            return starred(pValueCell(p), sig);
    }
    return {};
}

void writePairTable(RunState& s, TextFile& report, const TableLayout& t) {
    const int n = s.TreatmentCount;
    const bool original = t.kind == Kind::WithOriginal;

    writeTitle(s, report, t.title);
    for (const char* line : t.legend)
        if (line) report.writeLine(line);
    report.writeLine(" " + s.TableRuleEqual);

    PrintLine head;
    for (int j = 1; j <= n; ++j) head.tab(11 * j + 6).text(s.TreatName[j]);
    if (original) head.tab(11 * n + 18).text(" Original");
    report.write(head.finish());
    report.writeLine(" " + s.TableRuleDash);

    for (int i = 1; i <= n; ++i) {
        PrintLine row;
        row.text(" ").text(s.TreatName[i]);
        for (int j = 1; j <= n; ++j)
            row.tab(11 * j + 5).text(i == j ? std::string(t.diagonal) : pairCell(s, t.kind, i, j));
        if (original) row.tab(11 * n + 18).number(s.OriginalMean[i]);
        report.write(row.finish());
    }

    report.writeLine(" " + s.TableRuleDash);
    report.writeLine(" *: Significant at 5% significance level. A P<=0.05 denotes significant difference.");
    if (t.kind == Kind::LowerCI) {
        report.writeLine(" The bootstrap t confidence interval might be different from the bootstrap percentile ");
        report.writeLine(" confidence interval. ");
    }
    report.writeLine("");
}

// Letters per treatment such that two treatments share one exactly when
// they do not differ significantly.
std::array<const char*, 3> markingLetters(const RunState& s) {
    if (s.TreatmentCount == 2) {
        if (significant(s.PValueTable[2][1])) return {" a", " b", nullptr};
        return {" a", " a", nullptr};
    }
    const int key = (significant(s.PValueTable[2][1]) ? 4 : 0) + (significant(s.PValueTable[3][1]) ? 2 : 0) +
                    (significant(s.PValueTable[3][2]) ? 1 : 0);
    static constexpr std::array<std::array<const char*, 3>, 8> kByKey{{
        {" a", " a", " a"},   // N N N
        {" ab", " a", " b"},  // N N S
        {" a", " ab", " b"},  // N S N
        {" a", " a", " b"},   // N S S
        {" a", " b", " ab"},  // S N N
        {" a", " b", " a"},   // S N S
        {" a", " b", " b"},   // S S N
        {" a", " b", " c"},   // S S S
    }};
    return kByKey[key];
}

void writeMarkingTable(RunState& s, TextFile& report) {
    const std::string equalRule = " " + std::string(kMarkRuleWidth, '=');
    const std::string dashRule = " " + std::string(kMarkRuleWidth, '-');

    writeTitle(s, report, ". Preliminary table of differences between treatments.");
    report.writeLine(" You can use the following table to mark the differences between treatments.");
    report.writeLine(" Only the differences between the first few treatments are marked for you.");
    report.writeLine(" Note well! If this table is not completed, you have to complete the rest \"_\" ");
    report.writeLine(" yourself. Attention! Not every \"_\" needs to be filled with a letter. ");
    report.writeLine(" This is a good practice of \"critical thinking\".");
    report.writeLine(" Note well: \"Thinking is the most important thing in science\".");
    report.writeLine(equalRule);
    report.write(PrintLine()
                     .text(" ")
                     .text("Treatment")
                     .tab(15)
                     .text(" Original")
                     .tab(40)
                     .text(" SE")
                     .tab(65)
                     .text("Difference")
                     .finish());
    report.writeLine(dashRule);

    const int n = s.TreatmentCount;
    if (n >= 2) {
        const auto letters = markingLetters(s);
        for (int k = 1; k <= n; ++k)
            report.write(PrintLine()
                             .text(" ")
                             .text(s.TreatName[k])
                             .tab(15)
                             .number(s.OriginalMean[k])
                             .tab(40)
                             .number(s.BootSE[k])
                             .tab(65)
                             .text(letters[k - 1])
                             .finish());
    }
    report.writeLine(dashRule);
}

}  // namespace

std::string differenceCell(double v) {
    if (v >= -10000 && v <= 10000) return printForm(roundHalfEven(v * 10000) / 10000);
    if (const auto whole = toInt32(v)) return printForm(static_cast<double>(*whole));
    // Beyond the 32-bit range the rounded double stands in for the integer.
    return printForm(roundHalfEven(v));
}

std::string pValueCell(double p) { return printForm(roundHalfEven(p * 10000) / 10000); }

void PrintPairTestTable(Program& program, TextFile& report) {
    RunState& s = program.state();
    s.CurrentProcedure = "Public Sub PrintPairTestTable()";
    if (s.FlowRecord == Flag::Yes) program.writeFlowLine("Sub PrintPairTestTable");

    for (const TableLayout& t : kTables) writePairTable(s, report, t);
    writeMarkingTable(s, report);
}

}  // namespace lumera
