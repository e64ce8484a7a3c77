#include "cli/paper_tables.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <initializer_list>
#include <iterator>
#include <string_view>
#include <utility>
#include <vector>

#include "textio/escaped_text.h"
#include "textio/number_forms.h"

namespace lumera::cli {

namespace {

using analysis::Comparison;
using analysis::PairResult;

// Pieces end to end (GCC 12 warns falsely of a literal + a string).
std::string joined(std::initializer_list<std::string_view> pieces) {
    std::string out;
    for (std::string_view piece : pieces) out += piece;
    return out;
}

// The shortest decimal digits of |v| and the power of ten of the first.
struct Digits {
    bool negative = false;
    std::string digits;
    int exponent = 0;
};

Digits digitsOf(double v) {
    Digits d;
    if (v == 0) return {false, "0", 0};
    char buf[64];
    const auto result = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific);
    std::string_view text(buf, static_cast<std::size_t>(result.ptr - buf));
    if (text.front() == '-') d.negative = true, text.remove_prefix(1);
    const std::size_t e = text.find('e');
    for (char ch : text.substr(0, e))
        if (ch != '.') d.digits += ch;
    d.exponent = std::stoi(std::string(text.substr(e + 1)));
    return d;
}

// The whole number of units of 10^place that `d` rounds to, as digits.
std::string unitsAt(const Digits& d, int place) {
    const int keep = d.exponent - place + 1;
    std::string kept;
    std::string rest;
    if (keep > 0) {
        kept = d.digits.substr(0, std::min<std::size_t>(d.digits.size(), static_cast<std::size_t>(keep)));
        kept.resize(static_cast<std::size_t>(keep), '0');
        if (static_cast<std::size_t>(keep) < d.digits.size()) rest = d.digits.substr(static_cast<std::size_t>(keep));
    } else if (keep == 0) {
        rest = d.digits;
    }
    bool up = false;
    if (!rest.empty()) {
        const bool beyondHalf = rest.find_first_not_of('0', 1) != std::string::npos;
        const bool odd = !kept.empty() && (kept.back() - '0') % 2 == 1;
        up = rest[0] > '5' || (rest[0] == '5' && (beyondHalf || odd));
    }
    if (kept.empty()) kept.assign(1, '0');
    if (up) {
        std::size_t i = kept.size();
        while (i > 0 && kept[i - 1] == '9') kept[--i] = '0';
        if (i == 0)
            kept.insert(kept.begin(), '1');
        else
            ++kept[i - 1];
    }
    const std::size_t first = kept.find_first_not_of('0');
    return first == std::string::npos ? "0" : kept.substr(first);
}

std::string markdownText(const std::string& text) {
    std::string out;
    for (char ch : text) {
        if (std::string_view("\\`*_|<>#").find(ch) != std::string_view::npos) out += '\\';
        out += ch;
    }
    return out;
}

struct Table {
    std::vector<std::string> header;
    std::string align;  // l or r per column
    std::vector<std::vector<std::string>> rows;
};

// Cells hold plain text; `pm` stands for the plus-minus sign of the form.
constexpr const char* kPm = "\x01";

std::string withPm(const std::string& cell, const std::string& pm) {
    std::string out = cell;
    for (std::size_t at; (at = out.find(kPm)) != std::string::npos;) out.replace(at, 1, pm);
    return out;
}

std::string markdownTable(const Table& t) {
    auto line = [](const std::vector<std::string>& cells) {
        std::string out = "|";
        for (const std::string& cell : cells) out += joined({" ", withPm(markdownText(cell), "±"), " |"});
        return out + "\n";
    };
    std::string out = line(t.header) + "|";
    for (char a : t.align) out += a == 'r' ? "---:|" : "---|";
    out += "\n";
    for (const auto& row : t.rows) out += line(row);
    return out;
}

std::string latexTable(const Table& t) {
    auto line = [](const std::vector<std::string>& cells) {
        std::string out;
        for (std::size_t i = 0; i < cells.size(); ++i)
            out += joined({i == 0 ? "" : " & ", withPm(latexText(cells[i]), "$\\pm$")});
        return out + " \\\\\n";
    };
    std::string out = "\\begin{tabular}{" + t.align + "}\n\\hline\n" + line(t.header) + "\\hline\n";
    for (const auto& row : t.rows) out += line(row);
    return out + "\\hline\n\\end{tabular}\n";
}

std::string csvTable(const Table& t) {
    auto line = [](const std::vector<std::string>& cells) {
        std::string out;
        for (std::size_t i = 0; i < cells.size(); ++i)
            out += joined({i == 0 ? "" : ",", csvField(withPm(cells[i], "±"))});
        return out + "\r\n";
    };
    std::string out = line(t.header);
    for (const auto& row : t.rows) out += line(row);
    return out;
}

// A value shown to the decimal place of the SE it goes with.
std::string atPlaceOf(double v, double se) {
    if (!(se > 0) || !std::isfinite(se) || !std::isfinite(v)) return summaryForm(v);
    return decimalAt(v, twoDigitPlace(se));
}

Table treatmentTable(const Comparison& c) {
    Table t{{"Treatment", "B", std::string("Estimate ") + kPm + " SE", "Letters"}, "lrrl", {}};
    for (std::size_t i = 0; i < c.treatments.size(); ++i) {
        const auto& s = c.treatments[i];
        const RoundedPair shown = roundToSe(treatmentEstimate(s), s.se);
        t.rows.push_back({escapedControls(s.name), std::to_string(s.replicates.size()),
                          shown.estimate + " " + kPm + " " + shown.se, c.letters[i]});
    }
    return t;
}

Table pairTable(const Comparison& c) {
    const std::string level = c.levelPercent + "%";
    Table t{
        {"Pair", "Difference", "SE", "t " + level + " CI", "Percentile " + level + " CI", "P", "Adjusted P", "Mark"},
        "lrrrrrrl",
        {}};
    for (std::size_t k = 0; k < c.pairs.size(); ++k) {
        const PairResult& p = c.pairs[k];
        const double adjusted = k < c.pAdjusted.size() ? c.pAdjusted[k] : p.pValue;
        std::string mark = c.significant[k] ? "*" : "";
        if (k < c.againstIntervals.size() && c.againstIntervals[k]) mark += "!";
        const RoundedPair difference = roundToSe(p.meanDifference, p.se);
        t.rows.push_back(
            {joined({escapedControls(c.treatments[p.first].name), " - ", escapedControls(c.treatments[p.second].name)}),
             difference.estimate, difference.se,
             joined({"[", atPlaceOf(p.tLower, p.se), ", ", atPlaceOf(p.tUpper, p.se), "]"}),
             joined({"[", atPlaceOf(p.percentileLower, p.se), ", ", atPlaceOf(p.percentileUpper, p.se), "]"}),
             summaryForm(p.pValue), summaryForm(adjusted), mark});
    }
    return t;
}

}  // namespace

std::string csvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char ch : text) quoted += ch == '"' ? std::string("\"\"") : std::string(1, ch);
    return quoted + "\"";
}

double treatmentEstimate(const analysis::TreatmentSample& s) { return s.estimate ? *s.estimate : s.mean; }

std::string decimalAt(double v, int place) {
    const Digits d = digitsOf(v);
    std::string units = unitsAt(d, place);
    const bool zero = units == "0";
    if (place >= 0) {
        if (!zero) units.append(static_cast<std::size_t>(place), '0');
    } else {
        const auto decimals = static_cast<std::size_t>(-place);
        if (units.size() <= decimals) units.insert(0, decimals + 1 - units.size(), '0');
        units.insert(units.end() - static_cast<std::ptrdiff_t>(decimals), '.');
    }
    return joined({d.negative && !zero ? "-" : "", units});
}

int twoDigitPlace(double se) {
    const Digits d = digitsOf(se);
    const int place = d.exponent - 1;
    // A carry into a new leading digit (0.995 to 1.00) moves the place up one.
    return unitsAt(d, place).size() > 2 ? place + 1 : place;
}

RoundedPair roundToSe(double estimate, double se) {
    if (!(se > 0) || !std::isfinite(se) || !std::isfinite(estimate)) return {summaryForm(estimate), summaryForm(se)};
    const int place = twoDigitPlace(se);
    return {decimalAt(estimate, place), decimalAt(se, place)};
}

std::string latexText(const std::string& text) {
    static const std::pair<char, std::string_view> kSpelled[] = {{'\\', "\\textbackslash{}"},
                                                                 {'^', "\\textasciicircum{}"},
                                                                 {'~', "\\textasciitilde{}"},
                                                                 {'<', "\\textless{}"},
                                                                 {'>', "\\textgreater{}"},
                                                                 {'|', "\\textbar{}"},
                                                                 {'[', "{[}"},
                                                                 {']', "{]}"}};
    std::string out;
    for (char ch : text) {
        const auto* spelled = std::find_if(std::begin(kSpelled), std::end(kSpelled),
                                           [ch](const auto& entry) { return entry.first == ch; });
        if (spelled != std::end(kSpelled))
            out += spelled->second;
        else if (std::string_view("_%&#${}").find(ch) != std::string_view::npos)
            out += joined({"\\", std::string_view(&ch, 1)});
        else
            out += ch;
    }
    return out;
}

std::string paperTables(const Comparison& c, TableForm form) {
    const Table tables[] = {treatmentTable(c), pairTable(c)};
    std::string out;
    for (const Table& t : tables) {
        if (!out.empty()) out += form == TableForm::Csv ? "\r\n" : "\n";
        out += form == TableForm::Markdown ? markdownTable(t) : form == TableForm::Latex ? latexTable(t) : csvTable(t);
    }
    return out;
}

}  // namespace lumera::cli
