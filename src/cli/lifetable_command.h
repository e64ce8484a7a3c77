#pragma once
#include <iosfwd>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "analysis/life_table.h"
#include "cli/cli_args.h"
#include "shell/controls.h"
#include "textio/cohort_reader.h"

namespace lumera::cli {

// One cohort as read and as computed.
struct CohortLifeTable {
    CohortRecords records;
    analysis::LifeTableResult result;
};

// The "lumera-lifetable" document: numbers in the shortest form that reads
// back to the same double, null for a value that does not exist.
// The inputs it names are the cohorts' files as read.
std::string lifeTableJson(const std::vector<CohortLifeTable>& cohorts,
                          const std::vector<std::string>& commandLine = {});
// Counts, parameters and statistics per cohort for a person, with a note on
// every value that does not exist.
std::string lifeTableText(const std::vector<CohortLifeTable>& cohorts);
// <name>-age.csv (age,l,E,f,m,lm) and <name>-stage.csv (age,stage,n,s,e,v):
// LF line ends, NA where a value does not exist.
std::string ageCsv(const analysis::LifeTable& table);
std::string stageCsv(const analysis::LifeTable& table);
// One figure and the stem of its files.
struct LifeTableFigure {
    std::string stem;
    std::unique_ptr<ChartControl> chart;
};
// The four figures of a cohort: <name>-sxj, <name>-lxmx, <name>-exj, <name>-vxj.
std::vector<LifeTableFigure> lifeTableCharts(const CohortLifeTable& cohort);

// The whole command: exit 0, or 1 with a message on err. Folders are
// checked and every cohort read before anything is written; a run that
// fails leaves none of its files.
int runLifeTable(const LifeTableOptions& options, std::ostream& out, std::ostream& err);

}  // namespace lumera::cli
