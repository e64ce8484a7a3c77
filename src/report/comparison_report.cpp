#include "report/comparison_report.h"

#include <cmath>
#include <filesystem>
#include <memory>

#include "report/on_screen_summary.h"
#include "report/pair_tables.h"
#include "shell/dialog_texts.h"
#include "shell/program.h"
#include "textio/number_forms.h"
#include "textio/print_line.h"
#include "textio/rounding.h"
#include "textio/text_file.h"
#include "textio/user_error.h"

namespace lumera {

namespace {

using namespace dialog_texts;
constexpr int kFrameColumn = 72;

// Our own reference blocks: nine lines (3, empty, 4, empty) and sixteen
// lines (3, 4, 4 and 5).
constexpr const char* kMainReferences[9] = {
    "Efron, B. and R. J. Tibshirani. 1993. An Introduction to the Bootstrap.",
    "   Chapman and Hall, New York.",
    "   Monographs on Statistics and Applied Probability 57.",
    "",
    "Sidak, Z. 1967. Rectangular confidence regions for the means of",
    "   multivariate normal distributions.",
    "   Journal of the American Statistical Association 62: 626-633.",
    "   doi:10.1080/01621459.1967.10482935",
    "",
};
constexpr const char* kReferences[16] = {
    "Efron, B. 1979. Bootstrap methods: another look at the jackknife.",
    "   The Annals of Statistics 7: 1-26.",
    "   doi:10.1214/aos/1176344552",
    "DiCiccio, T. J. and B. Efron. 1996. Bootstrap confidence intervals.",
    "   Statistical Science 11: 189-228.",
    "   doi:10.1214/ss/1032280214",
    "   (with comments and a rejoinder).",
    "Davison, A. C. and D. V. Hinkley. 1997. Bootstrap Methods and their",
    "   Application. Cambridge University Press, Cambridge.",
    "   Cambridge Series in Statistical and Probabilistic Mathematics 1.",
    "   ISBN 0-521-57471-4.",
    "Piepho, H.-P. 2004. An algorithm for a letter-based representation of",
    "   all-pairwise comparisons.",
    "   Journal of Computational and Graphical Statistics 13: 456-466.",
    "   doi:10.1198/1061860043515",
    "   (letters shared by treatments that do not differ significantly).",
};
constexpr const char* kExplanation[14] = {
    "The results of significance test using Cartesian products are presented in following 3 ways.",
    "   1. The t confidence intervals (assuming the Cartesian products is normally distributed).",
    "   2. Cartesian percentile confidence intervals of 0.025 and 0.975 percentiles.",
    "   3. P value based on number of Cartesian results showing significant difference.",
    "Because the t confidence intervals is based on the assumption of normal distribution, ",
    "while the percentile confidence interval based on random sampling and Cartesian products,",
    "they are different. Although most biological and ecological data are mostly not normal,",
    "the distribution of Cartesian differences are generally normal (if B and C are large).",
    "Therefore, a large number of resampling (B = 1000, C = 1000,000) is needed to ensure a",
    "reliable estimate. However, a B of 1000 and the corresponding C of 1000,000 are still a tiny",
    "proportion of the exact method using both the multinomail theorem and Cartesian products. ",
    "Because the Cartesian products include all possible combinations of differences, the",
    "confidence intervals of differences based on the multinomial theorem and Cartesian products",
    "are more reliable than the paired bootstrap test based on bootstrap technique alone.",
};
constexpr const char* kDiscrepancy[6] = {
    "* Note well: The lower confidence interval based on t is different",
    "* from that based on percentiles.",
    "* The lower CI of t is calculated as Mean - 1.959964 * SE.",
    "* The lower CI of percentile is based on bootstrap samples.",
    nullptr,  // differs by direction
    "* When bootstrap samples are non-normal, there will be discrepancy.",
};

// Writes the report's lines; every statement is one PrintLine.
class ReportWriter {
public:
    explicit ReportWriter(TextFile& file) : file_(file) {}
    void line(std::string_view text = {}) { file_.write(PrintLine().text(text).finish()); }
    void line(const PrintLine& statement) { file_.write(statement.finish()); }
    void rule(int count, char c) { line(std::string(static_cast<std::size_t>(count), c)); }
    // A line closed by its frame character at column 72.
    void framed(PrintLine statement, char frame) {
        statement.tab(kFrameColumn).text(std::string(1, frame));
        line(statement);
    }
    void framed(std::string_view text, char frame) { framed(PrintLine().text(text), frame); }
    // The two lines under an interval box: its verdict on the pair.
    void verdict(bool significant, const std::string& ni, const std::string& nj, char frame) {
        const std::string f(1, frame);
        if (significant) {
            framed(f + " Signif. diff. btw. " + ni + " and " + nj + ".", frame);
            framed(f + " If the CI does not include 0, there is significant difference.", frame);
        } else {
            framed(f + " No signif. diff. btw. " + ni + " and " + nj + ".", frame);
            framed(f + " If the CI includes 0, there is no significant difference.", frame);
        }
    }

private:
    TextFile& file_;
};

std::string signedWhole(std::int64_t v) {
    std::string text = std::to_string(v);
    if (v >= 0) text.insert(text.begin(), ' ');
    return text;
}

std::string reportName(Program& program) {
    RunState& s = program.state();
    program.dialogs().beep();
    // The command line checks its code first, so it is never asked again.
    for (;;) {
        s.OutputCode = program.dialogs().input(kCodeTitle, kCodePrompt, "1");
        const std::optional<std::string> problem = nameTextProblem(s.OutputCode);
        if (!problem) break;
        program.dialogs().message(
            kReportErrorTitle,
            "The code cannot be part of the report's file name: " + *problem + ".\nPlease enter another code.",
            Buttons::Ok);
    }
    std::string name = s.FileStem + " results-" + s.LastTreatCode + "_";
    if (s.OutputCode == "1") {
        DateTime t = program.clock().now();
        name += std::to_string(t.year) + std::to_string(t.month) + std::to_string(t.day) + "-" +
                std::to_string(t.hour) + std::to_string(t.minute) + std::to_string(t.second);
    } else {
        auto r = static_cast<std::int64_t>(roundHalfEven(program.random().next() * 1000));
        name += s.OutputCode + signedWhole(r);
    }
    return name + ".txt";
}

void writeHeader(ReportWriter& w, RunState& s) {
    const int n = s.TreatmentCount;
    w.line("Program: Lumera (" + s.EditionTag + ").");
    ++s.TableNumber;
    w.line("Table" + signedWhole(s.TableNumber) + ". Cartesian product paired difference (KORVEX program)");
    w.line();
    w.line("Main references:");
    for (const char* text : kMainReferences) w.line(text);
    w.rule(93, '-');
    for (const char* text : kExplanation) w.line(text);
    w.rule(93, '-');
    w.line();
    w.line("Project: " + s.ProjectName + " " + s.VersionText);
    w.line("Parameter: " + s.LastTreatCode);
    w.line(PrintLine().text("Number of treatments =").number(n));
    w.line(PrintLine().text("F value =").number(s.FValue));
    w.line(PrintLine().text("df between groups (dfN: numerator) =").number(s.DfBetween));
    w.line(PrintLine().text("df within groups (dfD: denominator) =").number(s.DfWithin));
    w.line("  ");
    if (n != 2) {
        w.line("If you are asked to use corrected alpha value:");
        w.line(PrintLine().text("Alpha(Sidak) =").number(s.SidakAlpha));
        w.line("If you are asked to use corrected alpha, you have to check the P value of ");
        w.line(PrintLine().text("each paired comparison. If a P value is lower than").number(s.SidakAlpha).text(","));
        w.line("there is significant difference between them.");
        w.line(" ");
    }
}

void writePair(ReportWriter& w, RunState& s, int i, int j) {
    const std::string& ni = s.TreatName[i];
    const std::string& nj = s.TreatName[j];
    const double C = s.BootCountValue[i] * s.BootCountValue[j];
    const double P = s.PValueTable[i][j];
    auto twoColumns = [&](const char* label, double a, double b) {
        w.line(PrintLine().text(label).tab(25).number(a).tab(50).number(b));
    };
    auto difference = [&](const char* label, double v) { w.line(PrintLine().tab(15).text(label).tab(35).number(v)); };

    w.line("Comparison between " + ni + " vs " + nj);
    w.line(PrintLine().text("Number of Cartesian products (C)=").number(C));
    w.rule(72, '=');
    w.line(PrintLine().tab(27).text(ni).tab(52).text(nj));
    w.rule(72, '-');
    twoColumns("Original =", s.OriginalMean[i], s.OriginalMean[j]);
    w.rule(72, '-');
    twoColumns("Bootstrap mean =", s.BootMean[i], s.BootMean[j]);
    twoColumns("Variance =", s.BootVariance[i], s.BootVariance[j]);
    twoColumns("SE =", s.BootSE[i], s.BootSE[j]);
    twoColumns("n ", s.SampleSize[i], s.SampleSize[j]);
    w.rule(72, '-');
    difference("Mean (Cart. diff.) =", s.MeanDiff[i][j]);
    difference("Variance =", s.DiffVariance[i][j]);
    difference("SE =", s.DiffSE[i][j]);
    difference("n ", C);
    w.rule(72, '-');

    s.AbsMeanDiff[i][j] = std::fabs(s.BootMean[i] - s.BootMean[j]);
    s.AbsMeanDiff[j][i] = s.AbsMeanDiff[i][j];

    w.line(PrintLine().text("Difference 1 =").number(std::fabs(s.OriginalMean[i] - s.OriginalMean[j])));
    w.line("   Difference 1 is the difference of two original values.");
    w.rule(72, '-');
    w.line("With the increase of B, diff. 1 will close to mean of Cart. difference");

    w.rule(72, '*');
    w.framed("* Bootstrap t confidence intervals based on Cartesian differences:", '*');
    w.framed(PrintLine().text("* 95% CI:").tab(26).text("Lower").tab(51).text("Upper"), '*');
    w.framed(PrintLine().text("*").tab(25).number(s.TLower[i][j]).tab(50).number(s.TUpper[i][j]), '*');
    if (s.BootMean[i] == s.BootMean[j]) {
        w.framed("* No signif. diff. btw. treatments.", '*');
        w.rule(72, '-');
        w.line();
        return;
    }
    const bool tSignificant = s.TLower[i][j] > 0;
    w.verdict(tSignificant, ni, nj, '*');
    w.rule(72, '-');
    w.rule(72, '-');

    // A lower percentile limit of exactly 0 reads as significant.
    const bool pctSignificant = !(s.PctLower[i][j] < 0);
    w.framed("# Percentile confidence intervals of Cartesian product differences:", '#');
    w.framed(PrintLine().text("# 95% CI:").tab(26).text("Lower").tab(51).text("Upper"), '#');
    w.framed(PrintLine().text("#").tab(25).number(s.PctLower[i][j]).tab(50).number(s.PctUpper[i][j]), '#');
    w.verdict(pctSignificant, ni, nj, '#');
    w.line("#" + std::string(70, '-') + "#");
    w.framed(PrintLine().text("# Number of insignif. diff. = ").number(s.CountInsignificant[i][j]), '#');
    w.framed(PrintLine().text("# Number of signif. diff. = ").number(s.CountSignificant[i][j]), '#');
    w.framed(PrintLine().text("# P-value (based on").number(C).text(" Cartesian differences) = ").number(P), '#');
    if ((!pctSignificant && P <= 0.05) || (pctSignificant && P > 0.05)) {
        w.framed("# This P-value is inconsistent with the results of CI.", '#');
        w.framed("# In this case, please increase B and re-run the test.", '#');
    }
    if (P == 0) {
        const char* bound = nullptr;
        switch (s.BootCount[1]) {
            case 100000:
                bound = "0.00001";
                break;
            case 10000:
                bound = "0.0001";
                break;
            case 1000:
                bound = "0.001";
                break;
            case 100:
                bound = "0.01";
                break;
            default:
                break;
        }
        if (bound != nullptr)
            w.framed(std::string("# Because B is limited, if P = 0, you can report P < ") + bound + ".", '#');
    }
    w.rule(72, '-');
    if (s.TreatmentCount > 2) {
        w.framed(PrintLine().text("* Alpha(Sidak) =").number(s.SidakAlpha), '*');
        const bool consistent = pctSignificant ? P < s.SidakAlpha : P > s.SidakAlpha;
        w.framed(consistent ? "* Result with Sidak correction is consistent with CI of diff."
                            : "* Result with Sidak correction is inconsistent with CI of diff.",
                 '*');
    }
    w.rule(72, '-');
    const bool tAboveOnly = tSignificant && s.PctLower[i][j] < 0;
    const bool pctAboveOnly = s.TLower[i][j] < 0 && s.PctLower[i][j] > 0;
    if (tAboveOnly || pctAboveOnly) {
        w.rule(72, tAboveOnly ? '-' : '*');
        for (const char* text : kDiscrepancy) {
            if (text == nullptr)
                text = tAboveOnly ? "* The P-value is calculated based on the bootstrap samples."
                                  : "* The P-value is calculated based on the finite bootstrap samples.";
            w.framed(text, '*');
        }
        w.rule(72, '=');
    }
    w.line();
}

}  // namespace

std::string totalTimeText(std::int64_t seconds) {
    if (seconds < 120) return "Total time = " + std::to_string(seconds) + " sec.";
    if (seconds < 3600) return "Total time = " + plainForm(roundHalfEven(seconds / 60.0 * 100) / 100) + " min.";
    return "Total time = " + plainForm(roundHalfEven(seconds / 3600.0 * 100) / 100) + " hr.";
}

void PrintMultiCIofDifference(Program& program) {
    RunState& s = program.state();
    Form1& form = program.form1();
    s.CurrentProcedure = "Public Sub PrintMultiCIofDifference()";
    if (s.FlowRecord == Flag::Yes) program.writeFlowLine("Sub PrintMultiCIofDifference");

    s.OutputFileName = reportName(program);
    const std::string path = program.resolve(s.OutputFileName);
    // Two runs in one second with one code share a name: neither report
    // may replace the other.
    std::string reportPath;
    auto file =
        std::make_unique<TextFile>(path, kReportErrorTitle, std::size_t{1} << 20, TextFile::Existing::KeepAndNumber);
    {
        ReportWriter w(*file);
        writeHeader(w, s);
        for (int i = 1; i <= s.TreatmentCount - 1; ++i)
            for (int j = i + 1; j <= s.TreatmentCount; ++j) writePair(w, s, i, j);
        w.line("References:");
        for (const char* text : kReferences) w.line(text);
        w.line();
        PrintPairTestTable(program, *file);

        form.control("Command21").enabled = false;
        ShowMultiCIofDifference(program);
        form.setResultGridVisible(true);
        form.MSFlexGrid1.enabled = true;
        DateTime ended = program.clock().now();
        s.EndedText = "Cartesian paired test ended at:" + ended.text();
        form.Label2.visible = false;
        form.lblBootEnd.caption = s.EndedText;
        form.lblBootEnd.visible = true;
        s.EndedTime = ended;
        s.TotalTimeText = totalTimeText(std::llabs(secondsBetween(s.BeganTime, s.EndedTime)));
        w.line(s.BeganText);
        w.line(s.EndedText);
        w.line(s.TotalTimeText);
        file->close();
        s.OutputFileName = std::filesystem::path(file->path()).filename().string();
        reportPath = file->path();
    }

    form.txtDatafile.caption = "Output file is: " + s.OutputFileName;
    form.txtDatafile.toolTip = reportPath;
    form.OutputFolder = std::filesystem::path(reportPath).parent_path().string();
    program.dialogs().beep();
    program.dialogs().message(kCompletedTitle,
                              "Analysis completed! Congratulation!\n\nThe output file is: " + s.OutputFileName,
                              Buttons::OkCancel);
    form.control("cmdMultiCompCI").enabled = false;
    form.control("cmdMatchedLifeTable").enabled = false;
    form.control("FMNmatrices").enabled = false;
}

}  // namespace lumera
