#include "cartesian/treatment_input.h"

#include <cmath>
#include <optional>
#include <vector>

#include "analysis/large_pages.h"
#include "shell/dialog_texts.h"
#include "shell/program.h"
#include "textio/field_reader.h"
#include "textio/number_forms.h"
#include "textio/rounding.h"
#include "textio/text_file.h"
#include "textio/user_error.h"

namespace lumera {

namespace {

constexpr const char* kStem = "25A-Cartesian diff";
using namespace dialog_texts;
constexpr const char* kReadTitle = kReadTreatmentErrorTitle;
constexpr double kEndMarker = -1;

// One bootstrap-results file as read in the first pass.
struct TreatmentFile {
    std::string path;
    std::string name;
    std::string code;
    std::string codeWhere;  // for a message about the code
    std::int32_t sampleSize = 0;
    std::int32_t bootCount = 0;
    double bootCountValue = 0;
    double originalMean = 0;
    std::vector<double> replicates;  // [1..B], transformed; [0] unused
    double mean = 0;
};

std::int32_t wholeField(FieldReader& in, const char* what) {
    double v = in.readNumber();
    std::optional<std::int32_t> whole = toInt32(v);
    if (!whole) in.failAtField(std::string("the ") + what + " is too large: " + plainForm(v) + ".");
    return *whole;
}

// Numbers after the B-th replicate, up to the end marker or the end: the
// test ignores them (text as well), but more numbers than B are worth a
// word. Counting stops quietly where the file cannot be read further.
std::int64_t numbersBeyondB(FieldReader& in) {
    std::int64_t beyond = 0;
    try {
        while (!in.atEnd()) {
            const std::optional<double> x = parseNumberText(in.readText());
            if (x == kEndMarker) break;
            beyond += x.has_value();
        }
    } catch (const UserError&) {
    }
    return beyond;
}

TreatmentFile readTreatmentFile(const std::string& path, Transformation transformation,
                                std::vector<std::string>& warnings) {
    FieldReader in = FieldReader::fromFile(path, kReadTitle);
    TreatmentFile f;
    f.path = path;
    f.name = in.readText();
    in.readText();
    f.sampleSize = wholeField(in, "sample size");
    in.readText();
    f.bootCount = wholeField(in, "number of bootstrap replicates B");
    const std::string bWhere = in.where();
    f.bootCountValue = f.bootCount;
    f.code = in.readText();
    f.codeWhere = in.where();
    f.sampleSize = wholeField(in, "sample size");
    f.originalMean = in.readNumber();
    if (f.bootCount < 2 || f.bootCount > kMaxValues)
        throw UserError(kReadTitle, bWhere + ": the number of bootstrap replicates B must lie between 2 and " +
                                        plainForm(kMaxValues) + "; the field holds " + std::to_string(f.bootCount) +
                                        ".");
    f.replicates = analysis::largeVector<double>(static_cast<std::size_t>(f.bootCount) + 1);
    double sum = 0, squares = 0;
    for (std::int32_t r = 1; r <= f.bootCount; ++r) {
        const bool ended = in.atEnd();
        double x = ended ? kEndMarker : in.readNumber();
        if (x == kEndMarker)
            throw UserError(kReadTitle, path + ": the file announces B = " + std::to_string(f.bootCount) +
                                            " bootstrap replicates but holds " + std::to_string(r - 1) + " (" +
                                            (ended ? "it ends" : "the end marker -1 is") + " on line " +
                                            std::to_string(in.lineNumber()) + ").");
        double y = transformReplicate(x, transformation);
        if (std::isnan(y)) {
            const char* rule = transformation == Transformation::Arcsine
                                   ? "The arcsine transformation needs 0 <= x <= 1"
                                   : "The logit transformation needs 0 < x < 1";
            throw UserError(kTransformErrorTitle, in.where() + ": replicate " + std::to_string(r) + " is " +
                                                      plainForm(x) + ".\n" + rule + ".");
        }
        f.replicates[static_cast<std::size_t>(r)] = y;
        sum += y;
        squares += y * y;
    }
    // Every variance the test computes needs the squares.
    if (!std::isfinite(squares))
        throw UserError(kTooLargeTitle, "Treatment " + f.name + ", file: " + path +
                                            "\nValues too large: the squares of its replicates are" + kBeyondDouble);
    f.mean = sum / f.bootCount;
    if (const std::int64_t beyond = numbersBeyondB(in); beyond > 0)
        warnings.push_back(path + " holds " + std::to_string(f.bootCount + beyond) + " numbers where B is " +
                           std::to_string(f.bootCount) + "; those after replicate " + std::to_string(f.bootCount) +
                           " are ignored.");
    return f;
}

}  // namespace

double transformReplicate(double x, Transformation t) {
    switch (t) {
        case Transformation::Arcsine: {
            if (!(x >= 0 && x <= 1)) return std::nan("");
            double s = std::sqrt(x);
            return std::atan(s / std::sqrt(1 - s * s));  // x = 1 gives pi/2, the formula's limit
        }
        case Transformation::Logit:
            if (!(x > 0 && x < 1)) return std::nan("");
            return std::log(x / (1 - x));
        case Transformation::None:
            break;
    }
    return x;
}

void CartesianDifference(Program& program) {
    RunState& s = program.state();
    Form1& form = program.form1();
    Dialogs& dialogs = program.dialogs();

    s.CurrentProcedure = "Public Sub CartesianDifference()";
    s.ReadWarnings.clear();
    form.control("cmdReadDataA1").enabled = false;
    form.control("cmdReadNandF").enabled = false;
    s.FileStem = kStem;

    std::string countAnswer = dialogs.input(kTreatmentCountTitle, kTreatmentCountPrompt, "2");
    // Cancel, as at a file dialogue.
    if (countAnswer.empty()) throw CommandCancelled{};
    std::optional<std::int16_t> count = toInt16(leadingNumber(countAnswer));
    if (!count || *count < 2 || *count > kMaxTreatments) {
        std::string text = "The Cartesian paired test compares 2 or 3 treatments.\nThe answer \"" + countAnswer +
                           "\" gives " + (count ? std::to_string(*count) : std::string("no usable number")) + ".";
        if (count && *count > kMaxTreatments) text += kTreatmentLimitText;
        throw UserError(kTreatmentCountErrorTitle, text);
    }
    const int n = *count;

    Transformation transformation = Transformation::None;
    for (;;) {
        std::string answer = dialogs.input(kTransformTitle, kTransformPrompt, "0");
        if (answer.empty()) throw CommandCancelled{};
        std::optional<double> v = parseNumberText(answer);
        if (!v) continue;  // not a number: ask again
        std::optional<std::int32_t> choice = toInt32(*v);
        if (choice == 1)
            transformation = Transformation::Arcsine;
        else if (choice == 2)
            transformation = Transformation::Logit;
        break;
    }

    // First pass: every file, in the order of choosing.
    std::vector<TreatmentFile> files;
    for (int t = 1; t <= n; ++t) {
        std::string path = program.chooseFile(kTreatmentFileTitle + std::to_string(t));
        if (path.empty()) throw CommandCancelled{};
        files.push_back(readTreatmentFile(path, transformation, s.ReadWarnings));
    }
    for (int a = 0; a < n; ++a)
        for (int b = a + 1; b < n; ++b) {
            double product = files[a].bootCountValue * files[b].bootCountValue;
            if (product > kMaxValues)
                throw UserError(kReadTitle, "The treatments " + files[a].path + " and " + files[b].path +
                                                "\nhave B = " + std::to_string(files[a].bootCount) +
                                                " and B = " + std::to_string(files[b].bootCount) + ": " +
                                                plainForm(product) + " Cartesian products, more than the " +
                                                plainForm(kMaxValues) + " a pair can hold.");
        }

    // Codes become parts of file names: the last one in the report's, all of
    // them in the detail files'.
    for (int t = 1; t <= n; ++t) {
        if (t < n && s.DetailedDifferences != Flag::Yes) continue;
        if (const std::optional<std::string> problem = nameTextProblem(files[t - 1].code))
            throw UserError(kReadTitle, files[t - 1].codeWhere +
                                            ": the treatment code cannot be part of a file name: " + *problem + ".");
    }

    s.TreatmentCount = static_cast<std::int16_t>(n);
    s.PairCount = static_cast<std::int16_t>(n * (n - 1) / 2);
    s.SidakAlpha = 1 - std::pow(0.95, 1.0 / s.PairCount);
    for (int t = 1; t <= n; ++t) s.TreatFileName[t] = files[t - 1].path;
    s.LastTreatCode = files[n - 1].code;

    // Order by first-pass mean: descending, or ascending with reversed sort;
    // equal means are never exchanged.
    std::vector<int> order(n + 1);
    std::vector<double> mean(n + 1);
    for (int p = 1; p <= n; ++p) {
        order[p] = p;
        mean[p] = files[p - 1].mean;
    }
    const bool reversed = s.ReversedSort == Flag::Yes;
    for (int p = 1; p <= n - 1; ++p)
        for (int q = p + 1; q <= n; ++q)
            if (reversed ? mean[p] > mean[q] : mean[p] < mean[q]) {
                std::swap(mean[p], mean[q]);
                std::swap(order[p], order[q]);
            }

    s.TableRuleEqual.assign(static_cast<std::size_t>(11 * n + 15), '=');
    s.TableRuleDash.assign(static_cast<std::size_t>(11 * n + 15), '-');

    std::size_t longest = 0;
    for (const TreatmentFile& f : files) longest = std::max(longest, f.replicates.size());
    s.ReplicateWeight.assign(longest, 1);
    s.ReplicateWeight[0] = 0;
    for (int k = 1; k <= n; ++k) {
        TreatmentFile& f = files[order[k] - 1];
        s.TreatName[k] = f.name;
        s.TreatCode[k] = f.code;
        s.SampleSize[k] = f.sampleSize;
        s.BootCount[k] = f.bootCount;
        s.BootCountValue[k] = f.bootCountValue;
        s.OriginalMean[k] = f.originalMean;
        s.BootData[k] = std::move(f.replicates);
    }
}

}  // namespace lumera
