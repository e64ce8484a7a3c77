#pragma once
#include <string>

#include "analysis/comparison.h"

namespace lumera::cli {

enum class TableForm { Markdown, Latex, Csv };

// What a treatment is plotted and tabled at: the estimate from the original
// data when its file gives one, otherwise the mean of its replicates.
double treatmentEstimate(const analysis::TreatmentSample& s);

// `v` rounded to a multiple of 10^place, halves to the even digit, from the
// shortest decimal text that reads back as `v` (so 0.995 is a half, as it
// reads, not the binary value just below it); written with max(0, -place)
// decimals and no exponent.
std::string decimalAt(double v, int place);

// The decimal place (as for decimalAt) that leaves `se` two significant
// digits after rounding; 0.995 gives -1 (1.0), not -2.
int twoDigitPlace(double se);

// Estimate and SE as a paper gives them: the SE to two significant digits,
// the estimate to the same decimal place. A zero or non-finite SE leaves
// the estimate in its six-digit form.
struct RoundedPair {
    std::string estimate;
    std::string se;
};
RoundedPair roundToSe(double estimate, double se);

// A CSV field: quoted when it holds a comma, a quote or a line end.
std::string csvField(const std::string& text);

// Text set as itself in a LaTeX document with no extra package; brackets
// are braced so that a cell after a row's end is not read as its option.
std::string latexText(const std::string& text);

// The treatment table and the pair table, ready to paste into a paper.
std::string paperTables(const analysis::Comparison& c, TableForm form);

}  // namespace lumera::cli
