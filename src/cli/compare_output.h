#pragma once
#include <ostream>
#include <string>

#include "analysis/comparison.h"
#include "cli/provenance.h"

namespace lumera::cli {

// The comparison as a JSON document for R and Python: numbers in the
// shortest form that reads back to the same double.
std::string comparisonJson(const analysis::Comparison& c, const Provenance& provenance = {});
// The same document written to `out` as it is formed, a pair at a time, so
// that the text of all the pairs is never held at once.
void writeComparisonJson(std::ostream& out, const analysis::Comparison& c, const Provenance& provenance = {});
// One row a pair with the JSON document's pair fields; CR LF line ends.
std::string comparisonCsv(const analysis::Comparison& c);
// Two tables for a person: the treatments, then the pairs.
std::string comparisonTable(const analysis::Comparison& c);

}  // namespace lumera::cli
