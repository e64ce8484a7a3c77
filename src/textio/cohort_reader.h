#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "textio/sha256.h"

namespace lumera {

// The records of one cohort file, checked and in file order: plain values
// that the life-table core turns into its cohort.
struct CohortRecords {
    std::string name;                 // the file name without folder and extension; "stdin" for "-"
    std::string file;                 // as given
    std::vector<std::string> stages;  // the immature stages, as the header spells them
    std::vector<std::string> ids;     // one per individual
    std::vector<char> sex;            // 'F', 'M' or 'N'
    // Row-major, stages.size() per individual: days in each stage, 0 for
    // the stages an N individual never entered.
    std::vector<std::int32_t> durations;
    std::vector<std::int32_t> adult;  // adult longevity L; 0 for N
    // Individual i's eggs by adult day 1, 2, ... are
    // eggs[eggOffset[i] .. eggOffset[i + 1]), trailing zeros dropped.
    std::vector<std::size_t> eggOffset;  // size() + 1 entries
    std::vector<std::uint32_t> eggs;
    std::vector<long> lines;  // the file line of each individual
    InputDigest input;        // the bytes read: file as given, length, SHA-256

    std::size_t size() const { return sex.size(); }
};

inline constexpr std::int32_t kMaxStageDays = 100000;  // a duration, and the age at death
inline constexpr std::uint32_t kMaxEggs = 1000000000;  // one fecundity field

// The cohort name a path gives: "-" is "stdin", otherwise the file name
// without folder and (last) extension.
std::string cohortName(const std::string& path);

// Checks and reads one cohort file's text; label names the file in
// messages. Every refusal is a UserError (title errorTitle) whose text
// begins "<label>, line N, column C: ".
CohortRecords parseCohort(std::string_view content, const std::string& label, const std::string& errorTitle);

// Reads a file, or standard input for "-".
CohortRecords readCohort(const std::string& path, const std::string& errorTitle);

// The cohorts of one run, in the order given; refused whole when two
// names are equal with case ignored (their output files would collide),
// before any file is read.
std::vector<CohortRecords> readCohorts(const std::vector<std::string>& paths, const std::string& errorTitle);

}  // namespace lumera
