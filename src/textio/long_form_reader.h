#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "textio/sha256.h"

namespace lumera {

// A table of one replicate a row, as R's write.csv writes it: a header on
// line 1, fields separated by commas, any field in double quotes (a quote
// inside doubled, no line end inside), LF or CR LF line ends. Two columns
// are read, named in the header; the others are ignored.
struct LongFormColumns {
    std::string treatment = "treatment";
    std::string value = "value";
};

struct LongFormTreatment {
    std::string name;
    std::vector<double> values;  // in file order
};

struct LongFormTable {
    // In the order of their first row.
    std::vector<LongFormTreatment> treatments;
    InputDigest input;  // every byte read
};

// Reads a file, or standard input for "-", a block at a time. Every refusal
// is a UserError (title errorTitle) naming the file and, where it has one,
// the line: a header without one of the columns (the columns found are
// listed), a row with more or fewer fields than the header, a quote not
// closed on its line, a value that is not a number (NA included), an empty
// or unquoted NA treatment, a treatment with fewer than 2 values.
LongFormTable readLongForm(const std::string& path, const LongFormColumns& columns, const std::string& errorTitle);

// The same from a text; label names it in messages.
LongFormTable parseLongForm(std::string_view content, const std::string& label, const LongFormColumns& columns,
                            const std::string& errorTitle);

}  // namespace lumera
