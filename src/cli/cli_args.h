#pragma once
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "analysis/interval_level.h"

namespace lumera::cli {

// A command line the program cannot make sense of: usage line, exit 2.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct CartesianOptions {
    bool reversed = false;
    int transform = 0;
    bool detail = false;
    bool flow = false;
    std::string code = "1";
    std::string dir;   // empty: the current folder
    std::string plot;  // empty: no pair charts
    std::vector<std::string> files;
};

enum class SortKind { General, Boot, Pbt };

struct SortOptions {
    SortKind kind = SortKind::General;
    bool serials = false;
    std::string decimals = "-1";  // typed into the decimals box as given
    std::string plot;             // empty: no frequency charts
    std::string file;
};

// The file is read as the sort reads it.
struct NormalityOptions : SortOptions {
    bool json = false;
    std::vector<std::string> commandLine;  // the words after the program's name, as given
};

struct CompareOptions {
    double alpha = 0.05;
    bool sidak = false;           // --sidak, or --adjust sidak
    std::string adjust = "none";  // the multiplicity rule, as typed
    analysis::LevelChoice level;  // --level of both intervals
    bool json = false;
    std::string csv;      // empty: no CSV file; "-": the CSV on stdout instead of the tables
    std::string plot;     // empty: no pair charts
    std::string figure;   // empty: no figure
    bool ciBars = false;  // the figure's bars: percentile points, not +/- SE
    std::string label = "Estimate";
    std::string table;  // empty, "md", "latex" or "csv": the tables for a paper instead
    std::vector<std::string> files;
    // --cohorts: the files are cohorts, bootstrapped as `bootstrap` does,
    // and their replicates of one statistic are compared.
    bool cohorts = false;
    std::string statistic;
    std::uint64_t replicates = 100000;
    std::uint64_t seed = 1;
    // --long: the treatments from one file of one replicate a row ("-":
    // standard input), in place of the files.
    std::string longForm;
    std::string treatmentColumn = "treatment";
    std::string valueColumn = "value";
    std::vector<std::string> commandLine;
};

struct BootstrapOptions {
    std::uint64_t replicates = 100000;
    std::uint64_t seed = 1;
    std::string dir;                      // empty: the current folder
    std::vector<std::string> statistics;  // empty: all
    unsigned threads = 0;                 // 0: every core
    bool json = false;
    std::vector<std::string> files;
    std::vector<std::string> commandLine;
};

struct LifeTableOptions {
    bool json = false;
    std::string tables;              // empty: no CSV files
    std::string plot;                // empty: no figures
    std::vector<std::string> files;  // as given: "-" stays "-"
    std::vector<std::string> commandLine;
};

struct ScriptOptions {
    std::string file;
};

struct Command {
    enum class Kind {
        Cartesian,
        Sort,
        Normality,
        Compare,
        Bootstrap,
        LifeTable,
        Script,
        Help,
        Version
    } kind = Kind::Cartesian;
    CartesianOptions cartesian;
    SortOptions sort;
    NormalityOptions normality;
    CompareOptions compare;
    BootstrapOptions bootstrap;
    LifeTableOptions lifetable;
    ScriptOptions script;
    std::string help;  // Help: the text to print
};

// The name a file of "-" (standard input) is read under.
extern const char* const kStandardInput;

extern const char* const kUsage;
extern const char* const kHelp;
extern const char* const kCartesianHelp;
extern const char* const kSortHelp;
extern const char* const kNormalityHelp;
extern const char* const kCompareHelp;
extern const char* const kBootstrapHelp;
extern const char* const kLifeTableHelp;
extern const char* const kScriptHelp;

// The help of one command, or nullptr for a word that names none.
const char* commandHelp(const std::string& command);

// Parses the words after the program name; throws UsageError. "-" as a
// file becomes kStandardInput; "--" ends the options.
Command parseCommand(const std::vector<std::string>& words);

// The long options a command takes besides --help (its help names them).
std::vector<std::string> commandOptions(const std::string& command);

// Splits one line of a script into words: blanks separate, double or single
// quotes keep a word with blanks together.
std::vector<std::string> splitScriptLine(const std::string& line);

}  // namespace lumera::cli
