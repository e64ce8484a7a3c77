#include "cli/compare_output.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <string_view>

#include "analysis/multiplicity.h"
#include "cli/text_columns.h"
#include "textio/escaped_text.h"
#include "textio/number_forms.h"
#include "textio/version.h"

namespace lumera::cli {

namespace {

using analysis::Comparison;
using analysis::PairResult;

// A CSV field: quoted when it holds a comma, a quote or a line end.
std::string csvText(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char ch : text) quoted += ch == '"' ? std::string("\"\"") : std::string(1, ch);
    return quoted + "\"";
}

// Numbers to the right.
std::string layout(const std::vector<std::vector<std::string>>& rows) { return textColumns(rows, "", true); }

// A member's value laid out as dump(2) lays it out one level down.
std::string nested(const nlohmann::ordered_json& j) {
    std::string text = j.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
    for (std::size_t at = 0; (at = text.find('\n', at)) != std::string::npos; at += 3) text.insert(at + 1, "  ");
    return text;
}

template <typename T>
nlohmann::ordered_json orNull(const std::optional<T>& v) {
    return v ? nlohmann::ordered_json(*v) : nlohmann::ordered_json(nullptr);
}

// 1 / C: the smallest P the counts of a pair can show but zero.
double pResolution(const PairResult& p) { return 1.0 / static_cast<double>(p.differences); }

// A counted P of zero says only that P is below the resolution.
std::string pText(const PairResult& p) {
    return p.atMostZero + p.atLeastTwice == 0 ? "< " + summaryForm(pResolution(p)) : summaryForm(p.pValue);
}

const char* ruleTitle(const std::string& adjust) {
    if (adjust == "bonferroni") return "Bonferroni";
    if (adjust == "holm") return "Holm";
    if (adjust == "hochberg") return "Hochberg";
    return "Benjamini-Hochberg";
}

const char* logical(bool v) { return v ? "TRUE" : "FALSE"; }

}  // namespace

void writeComparisonJson(std::ostream& out, const Comparison& c, const Provenance& provenance) {
    // Laid out as nlohmann's dump(2) lays out the whole document, from
    // single values only: the library's arrays and objects take memory to
    // be destroyed, and a lack of it there would end the process.
    auto value = [](const auto& v) {
        // Names come from files: text that is not UTF-8 is replaced, not refused.
        return nlohmann::ordered_json(v).dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
    };
    auto field = [&](std::string_view indent, std::string_view key, const auto& v, bool last = false) {
        out << indent << '"' << key << "\": " << value(v) << (last ? "\n" : ",\n");
    };
    out << "{\n";
    field("  ", "format", "lumera-compare");
    field("  ", "version", 1);
    field("  ", "program_version", kProgramVersion);
    out << "  \"command_line\": " << nested(commandLineJson(provenance)) << ",\n";
    out << "  \"inputs\": " << nested(inputsJson(provenance)) << ",\n";
    field("  ", "alpha", c.alpha);
    field("  ", "sidak_alpha", c.sidakAlpha);
    field("  ", "adjust", c.adjust);
    field("  ", "level", c.level);
    field("  ", "pair_count", c.pairs.size());
    field("  ", "letters_method",
          c.lettersMethod == analysis::LettersMethod::CliqueCover ? "clique-cover" : "insert-absorb");
    out << "  \"treatments\": " << (c.treatments.empty() ? "[],\n" : "[\n");
    for (std::size_t t = 0; t < c.treatments.size(); ++t) {
        const auto& s = c.treatments[t];
        out << "    {\n";
        field("      ", "name", s.name);
        field("      ", "file", s.file);
        field("      ", "estimate", orNull(s.estimate));
        field("      ", "sample_size", orNull(s.sampleSize));
        field("      ", "code", orNull(s.code));
        field("      ", "replicates", s.replicates.size());
        field("      ", "mean", s.mean);
        field("      ", "se", s.se);
        field("      ", "letters", c.letters[t], true);
        out << (t + 1 < c.treatments.size() ? "    },\n" : "    }\n  ],\n");
    }
    // The pairs, the bulk of the document, go out one at a time.
    out << "  \"pairs\": " << (c.pairs.empty() ? "[]\n" : "[\n");
    for (std::size_t k = 0; k < c.pairs.size(); ++k) {
        const PairResult& p = c.pairs[k];
        constexpr std::string_view in = "      ";
        out << "    {\n";
        field(in, "first", c.treatments[p.first].name);
        field(in, "second", c.treatments[p.second].name);
        field(in, "first_index", p.first + 1);
        field(in, "second_index", p.second + 1);
        field(in, "differences", p.differences);
        field(in, "mean_difference", p.meanDifference);
        field(in, "se", p.se);
        field(in, "t_lower", p.tLower);
        field(in, "t_upper", p.tUpper);
        field(in, "lower_position", p.lowerPosition);
        field(in, "upper_position", p.upperPosition);
        field(in, "percentile_lower", p.percentileLower);
        field(in, "percentile_upper", p.percentileUpper);
        field(in, "at_most_zero", p.atMostZero);
        field(in, "at_least_twice", p.atLeastTwice);
        field(in, "p_value", p.pValue);
        field(in, "p_adjusted", c.pAdjusted[k]);
        field(in, "p_resolution", pResolution(p));
        field(in, "significant", static_cast<bool>(c.significant[k]));
        field(in, "t_excludes_zero", static_cast<bool>(c.tExcludesZero[k]));
        field(in, "percentile_excludes_zero", static_cast<bool>(c.percentileExcludesZero[k]), true);
        out << (k + 1 < c.pairs.size() ? "    },\n" : "    }\n  ]\n");
    }
    out << "}\n";
}

std::string comparisonJson(const Comparison& c, const Provenance& provenance) {
    std::ostringstream out;
    writeComparisonJson(out, c, provenance);
    return out.str();
}

std::string comparisonCsv(const Comparison& c) {
    std::string out =
        "first,second,first_index,second_index,differences,mean_difference,se,t_lower,t_upper,lower_position,"
        "upper_position,percentile_lower,percentile_upper,at_most_zero,at_least_twice,p_value,p_adjusted,p_resolution,"
        "significant,t_excludes_zero,percentile_excludes_zero\r\n";
    for (std::size_t k = 0; k < c.pairs.size(); ++k) {
        const PairResult& p = c.pairs[k];
        const std::string fields[] = {csvText(c.treatments[p.first].name),
                                      csvText(c.treatments[p.second].name),
                                      std::to_string(p.first + 1),
                                      std::to_string(p.second + 1),
                                      std::to_string(p.differences),
                                      shortestForm(p.meanDifference),
                                      shortestForm(p.se),
                                      shortestForm(p.tLower),
                                      shortestForm(p.tUpper),
                                      std::to_string(p.lowerPosition),
                                      std::to_string(p.upperPosition),
                                      shortestForm(p.percentileLower),
                                      shortestForm(p.percentileUpper),
                                      std::to_string(p.atMostZero),
                                      std::to_string(p.atLeastTwice),
                                      shortestForm(p.pValue),
                                      shortestForm(c.pAdjusted[k]),
                                      shortestForm(pResolution(p)),
                                      logical(c.significant[k]),
                                      logical(c.tExcludesZero[k]),
                                      logical(c.percentileExcludesZero[k])};
        std::string row;
        for (const std::string& f : fields) row += (row.empty() ? "" : ",") + f;
        out += row + "\r\n";
    }
    return out;
}

std::string comparisonTable(const Comparison& c) {
    std::vector<std::vector<std::string>> treatments = {{"Treatment", "B", "Mean", "SE", "Letters"}};
    for (std::size_t t = 0; t < c.treatments.size(); ++t) {
        const auto& s = c.treatments[t];
        treatments.push_back({std::to_string(t + 1) + ". " + escapedControls(s.name),
                              std::to_string(s.replicates.size()), summaryForm(s.mean), summaryForm(s.se),
                              c.letters[t]});
    }
    const bool adjusted = c.adjust != "none" && c.adjust != "sidak";
    const bool sidakAdjusted = c.adjust == "sidak";
    std::vector<std::string> header = {"Pair (first - second)",
                                       "Mean diff.",
                                       "SE",
                                       "t " + c.levelPercent + "% CI",
                                       "Percentile " + c.levelPercent + "% CI",
                                       "P"};
    if (c.adjust != "none") header.push_back("Adj. P");
    header.push_back("");
    std::vector<std::vector<std::string>> pairs = {header};
    // A zero P adjusts to zero; the rule applied with such P at 1 / C
    // bounds what it hides, no rule decreasing as a P grows.
    std::vector<double> atResolution;
    for (const PairResult& p : c.pairs)
        atResolution.push_back(p.atMostZero + p.atLeastTwice == 0 ? pResolution(p) : p.pValue);
    const std::vector<double> bound =
        analysis::adjustedP(atResolution, analysis::adjustRuleNamed(c.adjust).value_or(analysis::AdjustRule::None));
    bool marked = false;
    for (std::size_t k = 0; k < c.pairs.size(); ++k) {
        const PairResult& p = c.pairs[k];
        std::vector<std::string> row = {std::to_string(p.first + 1) + " - " + std::to_string(p.second + 1) + ". " +
                                            escapedControls(c.treatments[p.first].name) + " - " +
                                            escapedControls(c.treatments[p.second].name),
                                        summaryForm(p.meanDifference),
                                        summaryForm(p.se),
                                        summaryForm(p.tLower) + " to " + summaryForm(p.tUpper),
                                        summaryForm(p.percentileLower) + " to " + summaryForm(p.percentileUpper),
                                        pText(p)};
        if (c.adjust != "none")
            row.push_back(p.atMostZero + p.atLeastTwice == 0 ? "<= " + summaryForm(bound[k])
                                                             : summaryForm(c.pAdjusted[k]));
        row.push_back(std::string(c.significant[k] ? "*" : "") + (c.againstIntervals[k] ? "!" : ""));
        marked = marked || c.againstIntervals[k];
        pairs.push_back(std::move(row));
    }
    const std::string count = std::to_string(c.pairs.size());
    std::string rule;
    if (adjusted)
        rule = "* Adjusted P <= " + summaryForm(c.alpha) + " (" + ruleTitle(c.adjust) + ", " + count + " pairs).";
    else if (sidakAdjusted)
        rule = "* P <= " + summaryForm(c.sidakAlpha) + " (Sidak level for " + count + " pairs).";
    else
        rule = "* P <= " + summaryForm(c.alpha) + " (for each of the " + count + " pairs).";
    std::string text = layout(treatments) + "\n" + layout(pairs) + "\n" + rule +
                       " Treatments sharing a letter do not differ significantly.\n";
    if (marked)
        text +=
            "! The verdict is the opposite of what both intervals say: with skewed differences the counted P and "
            "the intervals measure different things.\n";
    return text;
}

}  // namespace lumera::cli
