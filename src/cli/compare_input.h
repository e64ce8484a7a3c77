#pragma once
#include <string>
#include <vector>

#include "analysis/treatment_sample.h"
#include "textio/sha256.h"

namespace lumera::cli {

// One treatment for `compare`. A file whose first line holds a comma is the
// program's treatment file (eight header fields, then B replicates, or
// fewer ended by -1); any other is a plain file of one number a line, named
// after the file unless its first line is a name. Bad input throws
// UserError naming the file and the line (or field). `digest`, when given,
// gets the length and SHA-256 of the whole file as read.
analysis::TreatmentSample readCompareFile(const std::string& path, InputDigest* digest = nullptr);

// readCompareFile of each, regular files on several cores; a failure is
// that of the first failing file in the list.
std::vector<analysis::TreatmentSample> readCompareFiles(const std::vector<std::string>& paths,
                                                        std::vector<InputDigest>* digests = nullptr);

}  // namespace lumera::cli
