#pragma once
#include <chrono>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "analysis/bootstrap.h"
#include "analysis/comparison.h"
#include "analysis/treatment_sample.h"
#include "cli/cli_args.h"
#include "cli/provenance.h"

namespace lumera::cli {

// lumera-cli bootstrap: the files, then the summary or the JSON document.
int runBootstrap(const BootstrapOptions& options, std::ostream& out, std::ostream& err);

// Why `bootstrap` writes no file of the statistic, or nothing when it writes one.
std::optional<std::string> noFileReason(const analysis::StatisticReplicates& statistic);

// How far a bootstrap has come, shown on a terminal once it has run for a while.
struct ProgressDisplay {
    bool terminal = false;
    std::chrono::milliseconds after{1000};
    std::chrono::milliseconds every{100};
};
// A terminal's display when `err` is standard error and that is a terminal.
ProgressDisplay stderrProgress(const std::ostream& err);
std::vector<analysis::StatisticReplicates> bootstrapWithProgress(const analysis::Cohort& cohort,
                                                                 analysis::BootstrapRequest request,
                                                                 const std::string& name, std::ostream& err,
                                                                 const ProgressDisplay& display);

// What compare --cohorts adds to its JSON document.
struct CohortBootstrapNote {
    std::string name;
    std::uint64_t seed = 0;
    std::uint64_t written = 0, leftOut = 0;
    std::string leftOutReason;  // empty: none
};
struct CohortBootstraps {
    std::vector<analysis::TreatmentSample> samples;
    std::vector<CohortBootstrapNote> notes;
    std::vector<InputDigest> inputs;  // the cohort files as read
};

// Each cohort bootstrapped as `bootstrap` does, its replicates of the
// statistic as the treatment its file would give; a cohort for which
// `bootstrap` writes no file of it is refused (UserError) with the reason.
CohortBootstraps bootstrapTreatments(const CompareOptions& options);

// compare's JSON document with the "bootstrap" object added at its end.
void writeComparisonJson(std::ostream& out, const analysis::Comparison& c, const CompareOptions& options,
                         const CohortBootstraps& bootstraps, const Provenance& provenance);

}  // namespace lumera::cli
