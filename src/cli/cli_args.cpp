#include "cli/cli_args.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <filesystem>
#include <optional>

#include "analysis/life_table.h"
#include "analysis/multiplicity.h"
#include "textio/rounding.h"

namespace lumera::cli {

const char* const kStandardInput = "/dev/stdin";

#define LUMERA_USAGE                                                                                              \
    "usage: lumera-cli cartesian [--reversed] [--transform 0|1|2] [--detail] [--flow] [--code CODE] "             \
    "[--dir DIR] [--plot DIR] FILE1 FILE2 [FILE3]\n"                                                              \
    "       lumera-cli sort [--kind general|boot|pbt] [--serials] [--decimals D] [--plot DIR] FILE\n"             \
    "       lumera-cli normality [--kind general|boot|pbt] [--serials] [--decimals D] [--json] [--plot DIR] "     \
    "FILE\n"                                                                                                      \
    "       lumera-cli compare [--alpha A] [--adjust RULE] [--sidak] [--level L] [--json] [--csv FILE] "          \
    "[--plot DIR] [--figure FILE] [--bars se|ci] [--label TEXT] [--table md|latex|csv] FILE1 FILE2 [FILE3 ...]\n" \
    "       lumera-cli compare --cohorts --statistic NAME [--replicates B] [--seed S] "                           \
    "[compare options] COHORT1 COHORT2 [COHORT3 ...]\n"                                                           \
    "       lumera-cli compare --long FILE [--treatment-column NAME] [--value-column NAME] "                      \
    "[compare options]\n"                                                                                         \
    "       lumera-cli bootstrap [--replicates B] [--seed S] [--dir DIR] [--statistics LIST] "                    \
    "[--threads N] [--json] COHORT...\n"                                                                          \
    "       lumera-cli lifetable [--json] [--tables DIR] [--plot DIR] COHORT...\n"                                \
    "       lumera-cli script FILE\n"                                                                             \
    "       lumera-cli help [COMMAND] | COMMAND --help | --version\n"

#define LUMERA_EXIT_STATUS \
    "Exit status: 0 done, 1 bad input or a failed write (message on stderr), 2 wrong command line.\n"

const char* const kUsage = LUMERA_USAGE;

const char* const kHelp = LUMERA_USAGE
    "\n"
    "The Cartesian paired test of two or three treatments and the sort and count\n"
    "of a data file, as the window runs them, their questions answered by\n"
    "options; compare (any number of treatments) and normality without them;\n"
    "lifetable: the life table of cohorts from the records of their individuals.\n"
    "\n"
    "lumera-cli help COMMAND (or COMMAND --help) tells one command's options,\n"
    "inputs and outputs. A FILE of - is standard input; -- ends the options, so\n"
    "that a file whose name starts with - can follow it.\n"
    "\n" LUMERA_EXIT_STATUS "script exits with the status of its first failing line.\n";

const char* const kCartesianHelp =
    "usage: lumera-cli cartesian [--reversed] [--transform 0|1|2] [--detail] [--flow] [--code CODE] "
    "[--dir DIR] [--plot DIR] FILE1 FILE2 [FILE3]\n"
    "\n"
    "The Cartesian paired test of two or three treatments, as the window's button\n"
    "runs it, its questions answered by the options.\n"
    "\n"
    "FILE1 FILE2 [FILE3]  the treatments' bootstrap-results files, in the order\n"
    "                     of choosing (- reads one from standard input)\n"
    "--reversed      Yes to \"Reversed sort\"\n"
    "--transform T   the transformation: 0 (default), 1 or 2\n"
    "--detail        also write the six detail files of every pair\n"
    "--flow          also write the flow record\n"
    "--code CODE     the code of the report's name (default 1: date and time)\n"
    "--dir DIR       the folder of every output file (default: the current\n"
    "                folder); it must exist\n"
    "--plot DIR      also write each pair's distribution of differences to DIR:\n"
    "                pair-I-J.png, pair-I-J.svg and pair-I-J.csv; it must exist\n"
    "\n"
    "Output: the report (and the files asked for) in DIR, the report's path on\n"
    "stdout.\n" LUMERA_EXIT_STATUS;

const char* const kSortHelp =
    "usage: lumera-cli sort [--kind general|boot|pbt] [--serials] [--decimals D] [--plot DIR] FILE\n"
    "\n"
    "The sort and count of one data file, as the window's \"N. Sort, norm.\"\n"
    "button runs it, its questions answered by the options (no chart is shown).\n"
    "\n"
    "FILE          the data file (- reads it from standard input)\n"
    "--kind K      general: general data (default); boot: bootstrap results;\n"
    "              pbt: PBT or CPT results (such as an all-differences file)\n"
    "--serials     Yes to the serial-number question: each value follows its\n"
    "              serial number\n"
    "--decimals D  round to D decimals, a whole number from 0 to 5; -1 (the\n"
    "              default) keeps every digit\n"
    "--plot DIR    also write the frequency chart of the values to DIR:\n"
    "              STEM-frequency.png/.svg, STEM-probability.png/.svg (the normal\n"
    "              probability plot) and STEM-classes.csv (lower,upper,count), STEM\n"
    "              the file's name without its ending; DIR must exist\n"
    "\n"
    "Output: three files beside FILE (for a pipe or standard input: in the\n"
    "current folder, named pipe-...): the sorted values, the 2.5 %, 50 % and\n"
    "97.5 % positions, and the counts of distinct values; their paths on stdout.\n" LUMERA_EXIT_STATUS;

const char* const kNormalityHelp =
    "usage: lumera-cli normality [--kind general|boot|pbt] [--serials] [--decimals D] [--json] [--plot DIR] FILE\n"
    "\n"
    "Reads and rounds FILE as sort does, writes no file but the charts of --plot,\n"
    "and prints n, the mean, the SD, the skewness g1, the excess kurtosis g2, the\n"
    "Shapiro-Wilk W and P (3 <= n <= 5000) and the Anderson-Darling A-squared and\n"
    "P (n >= 8).\n"
    "\n"
    "FILE          the data file (- reads it from standard input)\n"
    "--kind K      general (default), boot or pbt, as for sort\n"
    "--serials     each value follows its serial number, as for sort\n"
    "--decimals D  round to D decimals first, -1 (default) to 5, as for sort\n"
    "--json        print one JSON object instead of the lines\n"
    "--plot DIR    also write the frequency chart files, as for sort\n"
    "\n"
    "Output: the figures on stdout.\n" LUMERA_EXIT_STATUS;

const char* const kCompareHelp =
    "usage: lumera-cli compare [--alpha A] [--adjust RULE] [--sidak] [--level L] [--json] [--csv FILE] "
    "[--plot DIR] [--figure FILE] [--bars se|ci] [--label TEXT] [--table md|latex|csv] FILE1 FILE2 [FILE3 ...]\n"
    "\n"
    "The Cartesian paired test of any number of treatments, each with any number of\n"
    "bootstrap replicates: for every pair, all B_i x B_j differences, counted and\n"
    "ranked exactly without forming them. Treatments are ordered by mean as the\n"
    "cartesian command orders them; each difference is the larger-mean treatment\n"
    "minus the other.\n"
    "\n"
    "FILE   a treatment file of this program (its first line holds commas: eight\n"
    "       header fields, then B replicates, or fewer ended by -1), or a plain file\n"
    "       of one number a line, named after the file unless its first line is a\n"
    "       name; a pipe works too, and - reads one from standard input.\n"
    "--alpha A   significance level, 0 < A < 1 (default 0.05): a pair differs when\n"
    "            P <= A (each pair at A); the letters follow the same decisions\n"
    "--adjust RULE  the multiplicity rule over the m pairs: none (default),\n"
    "            sidak (P <= 1 - (1 - A)^(1/m); adjusted P 1 - (1 - P)^m),\n"
    "            bonferroni, holm, hochberg or BH (adjusted P as R's p.adjust\n"
    "            gives it; a pair differs when its adjusted P <= A)\n"
    "--sidak     the same as --adjust sidak\n"
    "--level L   the level of the t and percentile intervals, 0 < L < 1\n"
    "            (default 0.95)\n"
    "--json      print a JSON document (format \"lumera-compare\", version 1)\n"
    "            instead of the tables\n"
    "--csv FILE  also write one row per pair to FILE; --csv - prints the rows\n"
    "            instead of the tables (not with --json)\n"
    "--plot DIR  also write each pair's distribution of differences to DIR:\n"
    "            pair-I-J.png, pair-I-J.svg and pair-I-J.csv (bins: lower,upper,count),\n"
    "            I < J the treatments' positions in the order of the tables\n"
    "--figure FILE  also draw every treatment at its estimate (field 8 of a\n"
    "            treatment file, the mean of a plain file) with an error bar and\n"
    "            its letters above it, in the order of the tables; FILE ends in\n"
    "            .png (300 dpi), .svg or .pdf, and the values drawn go to FILE\n"
    "            with .csv for its ending (treatment,estimate,lower,upper,letters)\n"
    "--bars se|ci  the error bars: estimate +/- SE (se, the default) or the\n"
    "            treatment's own 2.5 % and 97.5 % points of its replicates (ci)\n"
    "--label TEXT  the title of the figure's value axis (default \"Estimate\")\n"
    "--table md|latex|csv  print the treatment table (estimate +/- SE, the SE to\n"
    "            2 significant digits and the estimate to the same place) and the\n"
    "            pair table as Markdown, a LaTeX tabular or CSV, ready to paste,\n"
    "            instead of the tables (not with --json or --csv -)\n"
    "\n"
    "usage: lumera-cli compare --cohorts --statistic NAME [--replicates B] [--seed S] [compare options]\n"
    "       COHORT1 COHORT2 [COHORT3 ...]\n"
    "--cohorts         the files are cohort files (one row an individual): each is\n"
    "                  bootstrapped as the bootstrap command does, and the replicates\n"
    "                  of one statistic are compared as treatment files are\n"
    "--statistic NAME  the statistic compared (r, lambda, R0, T, GRR, duration-<stage>,\n"
    "                  preadult, ...: the names of the bootstrap command's files)\n"
    "--replicates B    replicates per cohort, at least 2 (default 100000)\n"
    "--seed S          the first cohort's seed, 0 to 2^64 - 1 (default 1); the k-th\n"
    "                  cohort's is S + k - 1; the JSON document names them\n"
    "\n"
    "usage: lumera-cli compare --long FILE [--treatment-column NAME] [--value-column NAME]\n"
    "       [compare options]\n"
    "--long FILE              every treatment from one CSV file of one replicate a\n"
    "                         row (as R's write.csv writes a data frame; - reads\n"
    "                         standard input); no treatment files beside it.\n"
    "                         Treatments in the order they first appear, values in\n"
    "                         file order; other columns are ignored\n"
    "--treatment-column NAME  the header's name of the treatment column (default\n"
    "                         treatment)\n"
    "--value-column NAME      the header's name of the value column (default value)\n"
    "\n"
    "The JSON document names the command line and each input file with its\n"
    "length and SHA-256, so a result can be traced to its exact inputs.\n"
    "\n"
    "Output: the tables, the JSON document or the CSV rows on stdout, and the\n"
    "files asked for.\n" LUMERA_EXIT_STATUS;

const char* const kBootstrapHelp =
    "usage: lumera-cli bootstrap [--replicates B] [--seed S] [--dir DIR] [--statistics LIST] [--threads N] "
    "[--json] COHORT...\n"
    "\n"
    "The bootstrap of each cohort: B replicates, each n individuals drawn with\n"
    "replacement from the cohort's n rows by a generator fixed to the last bit\n"
    "(mt19937_64 seeded with the seed; the row of a draw u is the high 64 bits of\n"
    "u n), and every parameter and statistic of the life table computed on each.\n"
    "\n"
    "COHORT        a cohort FILE: one row an individual (id,sex,stages...,adult,\n"
    "              eggs by adult day...); - reads one from standard input\n"
    "--replicates B  replicates per cohort, at least 2 (default 100000)\n"
    "--seed S      the first cohort's seed, a whole number from 0 to 2^64 - 1\n"
    "              (default 1); the k-th cohort's is S + k - 1\n"
    "--dir DIR     the folder of the files (default: the current folder); it must\n"
    "              exist\n"
    "--statistics LIST  the statistics written, comma separated (default all):\n"
    "              r,lambda,R0,T,GRR,duration-<stage>,preadult,\n"
    "              adult_longevity_female,adult_longevity_male,longevity_female,\n"
    "              longevity_male,longevity_all,fecundity,APOP,TPOP,\n"
    "              oviposition_days,proportion_female,proportion_male,proportion_N,\n"
    "              preadult_survival\n"
    "--threads N   threads computing the replicates, 1 to 256 (default: every\n"
    "              core); the results are the same for every N\n"
    "--json        print a JSON document (format \"lumera-bootstrap\", version 1)\n"
    "              instead of the summary\n"
    "\n"
    "Output: per cohort and statistic with at least 2 replicates the treatment file\n"
    "DIR/<cohort>-<statistic>.txt that cartesian and compare read (field 4 holds\n"
    "the seed), and a summary (estimate, replicates written and left out with the\n"
    "reason, mean, SE, 2.5 % and 97.5 % points) on stdout. Progress on stderr when\n"
    "it is a terminal.\n" LUMERA_EXIT_STATUS;
const char* const kLifeTableHelp =
    "usage: lumera-cli lifetable [--json] [--tables DIR] [--plot DIR] COHORT...\n"
    "\n"
    "The age-stage, two-sex life table of each cohort from the records of its\n"
    "individuals: the parameters r, lambda, R0, T and GRR, and the means of the\n"
    "individuals (stage durations, longevity, fecundity, APOP, TPOP, ...).\n"
    "\n"
    "COHORT        a cohort file: a header id,sex,<immature stages...>,adult,<eggs\n"
    "              by adult day...>, then one row per individual (sex F, M, or N\n"
    "              for one that died before adulthood); - reads standard input.\n"
    "              Its name is the file name without folder and extension.\n"
    "--json        print a JSON document (format \"lumera-lifetable\", version 1)\n"
    "              with the whole table, instead of the summary\n"
    "--tables DIR  also write NAME-age.csv (age,l,E,f,m,lm) and NAME-stage.csv\n"
    "              (age,stage,n,s,e,v) per cohort to DIR, NA for a value that\n"
    "              does not exist; DIR must exist\n"
    "--plot DIR    also write the figures NAME-sxj, NAME-lxmx, NAME-exj and\n"
    "              NAME-vxj per cohort to DIR, each .png and .svg; DIR must exist\n"
    "\n"
    "Output: the summary (or the JSON document) on stdout and the files asked\n"
    "for. When any cohort is refused, nothing is written.\n" LUMERA_EXIT_STATUS;

const char* const kScriptHelp =
    "usage: lumera-cli script FILE\n"
    "\n"
    "Runs the commands of FILE (- reads it from standard input), one a line, in\n"
    "one session, so that what the window keeps between commands is kept. A line\n"
    "is written like the words after lumera-cli (quote names with blanks in \" or\n"
    "'; a line starting with # is a comment) and holds at most 65536 characters.\n"
    "\n"
    "Output: that of each command.\n"
    "Exit status: 0 when every line is done; else the script stops at the first\n"
    "line that fails, names it on stderr and exits with that line's status (1 bad\n"
    "input or a failed write, 2 wrong command line); 1 when the script cannot be\n"
    "read or a line is too long.\n";

#undef LUMERA_USAGE
#undef LUMERA_EXIT_STATUS

namespace {

using Kind = Command::Kind;

std::optional<Kind> kindOf(const std::string& command) {
    if (command == "cartesian") return Kind::Cartesian;
    if (command == "sort") return Kind::Sort;
    if (command == "normality") return Kind::Normality;
    if (command == "compare") return Kind::Compare;
    if (command == "bootstrap") return Kind::Bootstrap;
    if (command == "lifetable") return Kind::LifeTable;
    if (command == "script") return Kind::Script;
    return std::nullopt;
}

// What the options give as text, checked after the parse so that the
// messages are this program's own.
struct Words {
    bool help = false;
    std::string transform = "0";
    std::string kind = "general";
    std::string alpha;
    std::string adjust, level;
    std::string replicates, seed, threads, statistics;
    std::string bars = "se";
    std::vector<std::string> files;
};

// --figure, --bars, --label and --table, after the parse.
template <typename Given>
void checkPaperOptions(CompareOptions& o, const Words& w, const Given& optionGiven) {
    if (optionGiven("--table") && o.table != "md" && o.table != "latex" && o.table != "csv")
        throw UsageError("--table takes md, latex or csv");
    if (!o.table.empty() && (o.json || o.csv == "-"))
        throw UsageError(std::string("--table and ") + (o.json ? "--json" : "--csv -") +
                         " both print to stdout: choose one");
    if (optionGiven("--figure")) {
        const std::string ending = std::filesystem::path(o.figure).extension().string();
        if (ending != ".png" && ending != ".svg" && ending != ".pdf")
            throw UsageError("--figure: the file name must end in .png, .svg or .pdf");
        if (!o.csv.empty() && std::filesystem::path(o.figure).replace_extension(".csv") == o.csv)
            throw UsageError("--figure writes its values to " + o.csv + ", the file of --csv: choose another");
    } else if (optionGiven("--bars") || optionGiven("--label")) {
        throw UsageError("--bars and --label go with --figure");
    }
    if (w.bars != "se" && w.bars != "ci") throw UsageError("--bars takes se or ci");
    o.ciBars = w.bars == "ci";
}

// One command's options, bound to the fields they fill.
void defineOptions(CLI::App& app, Kind kind, Command& c, Words& w) {
    app.set_help_flag();
    app.add_flag("-h,--help", w.help);
    switch (kind) {
        case Kind::Cartesian:
            app.add_flag("--reversed", c.cartesian.reversed);
            app.add_option("--transform", w.transform);
            app.add_flag("--detail", c.cartesian.detail);
            app.add_flag("--flow", c.cartesian.flow);
            app.add_option("--code", c.cartesian.code);
            app.add_option("--dir", c.cartesian.dir);
            app.add_option("--plot", c.cartesian.plot);
            break;
        case Kind::Sort:
        case Kind::Normality: {
            SortOptions& o = kind == Kind::Sort ? c.sort : c.normality;
            app.add_option("--kind", w.kind);
            app.add_flag("--serials", o.serials);
            app.add_option("--decimals", o.decimals);
            app.add_option("--plot", o.plot);
            if (kind == Kind::Normality) app.add_flag("--json", c.normality.json);
            break;
        }
        case Kind::Compare:
            app.add_option("--alpha", w.alpha);
            app.add_option("--adjust", w.adjust);
            app.add_flag("--sidak", c.compare.sidak);
            app.add_option("--level", w.level);
            app.add_flag("--json", c.compare.json);
            app.add_option("--csv", c.compare.csv);
            app.add_option("--plot", c.compare.plot);
            app.add_option("--figure", c.compare.figure);
            app.add_option("--bars", w.bars);
            app.add_option("--label", c.compare.label);
            app.add_option("--table", c.compare.table);
            app.add_flag("--cohorts", c.compare.cohorts);
            app.add_option("--statistic", c.compare.statistic);
            app.add_option("--replicates", w.replicates);
            app.add_option("--seed", w.seed);
            app.add_option("--long", c.compare.longForm);
            app.add_option("--treatment-column", c.compare.treatmentColumn);
            app.add_option("--value-column", c.compare.valueColumn);
            break;
        case Kind::Bootstrap:
            app.add_option("--replicates", w.replicates);
            app.add_option("--seed", w.seed);
            app.add_option("--dir", c.bootstrap.dir);
            app.add_option("--statistics", w.statistics);
            app.add_option("--threads", w.threads);
            app.add_flag("--json", c.bootstrap.json);
            break;
        case Kind::LifeTable:
            app.add_flag("--json", c.lifetable.json);
            app.add_option("--tables", c.lifetable.tables);
            app.add_option("--plot", c.lifetable.plot);
            break;
        default:
            break;
    }
    app.add_option("files", w.files);
}

// CLI11's words for a fault, in the form of this program's messages.
std::string usageMessage(const CLI::ParseError& e) {
    const std::string what = e.what();
    const std::size_t colon = what.find(": ");
    if (dynamic_cast<const CLI::ExtrasError*>(&e) && colon != std::string::npos)
        return "unknown option " + what.substr(colon + 2);
    if (dynamic_cast<const CLI::ArgumentMismatch*>(&e) && colon != std::string::npos) {
        const std::string option = what.substr(0, colon);
        if (what.find("missing") != std::string::npos) return option + " needs a value";
        if (what.find("At Most") != std::string::npos) return option + " is given more than once";
    }
    return what;
}

SortKind sortKind(const std::string& v) {
    if (v == "general") return SortKind::General;
    if (v == "boot") return SortKind::Boot;
    if (v == "pbt") return SortKind::Pbt;
    throw UsageError("--kind takes general, boot or pbt");
}

// The decimals box takes fractions too; the command line takes the whole
// numbers that keep the rounding on the grid of the printed digits.
std::string wholeDecimals(const std::string& v) {
    const std::size_t digits = v.rfind('-', 0) == 0 ? 1 : 0;
    const bool whole = v.size() > digits && v.size() <= digits + 3 &&
                       std::all_of(v.begin() + static_cast<std::ptrdiff_t>(digits), v.end(),
                                   [](char c) { return c >= '0' && c <= '9'; });
    const int d = whole ? std::stoi(v) : -2;
    if (d < -1 || d > 5) throw UsageError("--decimals takes a whole number from -1 to 5, not \"" + v + "\"");
    return std::to_string(d);
}

// A whole number in plain decimal digits from `least` to `most`.
std::uint64_t wholeNumber(const std::string& option, const std::string& v, std::uint64_t least, std::uint64_t most,
                          const std::string& range) {
    std::uint64_t x = 0;
    bool ok = !v.empty() && v.size() <= 20;
    for (char ch : v) {
        if (ch < '0' || ch > '9' || x > (most - (ch - '0')) / 10) {
            ok = false;
            break;
        }
        x = x * 10 + static_cast<std::uint64_t>(ch - '0');
    }
    if (!ok || x < least) throw UsageError(option + " takes " + range + ", not \"" + v + "\"");
    return x;
}

std::uint64_t replicatesOption(const std::string& v) {
    return wholeNumber("--replicates", v, 2, std::uint64_t{1} << 40, "a whole number of at least 2");
}

std::uint64_t seedOption(const std::string& v) {
    return wholeNumber("--seed", v, 0, ~std::uint64_t{0}, "a whole number from 0 to 18446744073709551615");
}

// The names every cohort has; duration-<stage> depends on its stages.
bool knownStatistic(const std::string& name) {
    if (name.rfind("duration-", 0) == 0) return name.size() > 9;
    for (const std::vector<std::string>* names : {&analysis::parameterNames(), &analysis::commonStatisticNames()})
        if (std::find(names->begin(), names->end(), name) != names->end()) return true;
    return false;
}

const std::string& oneFile(const std::vector<std::string>& files, const std::string& name) {
    if (files.empty()) throw UsageError(name + " needs a file");
    if (files.size() > 1) throw UsageError(name + " takes one file");
    return files.front();
}

Command parseOptions(Kind kind, const std::string& name, const std::vector<std::string>& words) {
    Command c;
    c.kind = kind;
    Words w;
    CLI::App app(name, "lumera-cli " + name);
    defineOptions(app, kind, c, w);
    // CLI11 takes the words last first.
    std::vector<std::string> rest(words.rbegin(), words.rend() - 1);
    try {
        app.parse(rest);
    } catch (const CLI::ParseError& e) {
        throw UsageError(usageMessage(e));
    }
    if (w.help) {
        c.kind = Kind::Help;
        c.help = commandHelp(name);
        return c;
    }
    if (std::count(w.files.begin(), w.files.end(), "-") > 1)
        throw UsageError("standard input (-) can be read only once");
    const std::vector<std::string> given = w.files;
    for (std::string& f : w.files)
        if (f == "-") f = kStandardInput;
    const auto optionGiven = [&](const char* option) { return app.get_option(option)->count() > 0; };
    switch (kind) {
        case Kind::Cartesian:
            if (w.transform != "0" && w.transform != "1" && w.transform != "2")
                throw UsageError("--transform takes 0, 1 or 2");
            c.cartesian.transform = w.transform[0] - '0';
            if (w.files.empty()) throw UsageError("cartesian needs the treatment files");
            if (w.files.size() > 3 || w.files.size() < 2)
                throw UsageError("cartesian compares 2 or 3 treatment files, not " + std::to_string(w.files.size()) +
                                 " (compare takes any number)");
            c.cartesian.files = w.files;
            break;
        case Kind::Sort:
        case Kind::Normality: {
            SortOptions& o = kind == Kind::Sort ? c.sort : c.normality;
            o.kind = sortKind(w.kind);
            o.decimals = wholeDecimals(o.decimals);
            o.file = oneFile(w.files, name);
            if (kind == Kind::Normality) c.normality.commandLine = words;
            break;
        }
        case Kind::Compare: {
            if (app.get_option("--alpha")->count() > 0) {
                const std::optional<double> a = parseNumberText(w.alpha);
                if (!a || !(*a > 0 && *a < 1)) throw UsageError("--alpha takes a number between 0 and 1");
                c.compare.alpha = *a;
            }
            if (optionGiven("--adjust")) {
                if (!analysis::adjustRuleNamed(w.adjust))
                    throw UsageError("--adjust takes none, sidak, bonferroni, holm, hochberg or BH, not \"" + w.adjust +
                                     "\"");
                if (c.compare.sidak && w.adjust != "sidak")
                    throw UsageError("--sidak and --adjust " + w.adjust + " are two rules: choose one");
                c.compare.adjust = w.adjust;
            } else if (c.compare.sidak) {
                c.compare.adjust = "sidak";
            }
            c.compare.sidak = c.compare.adjust == "sidak";
            if (optionGiven("--level")) {
                const std::optional<analysis::LevelChoice> level = analysis::parseLevel(w.level);
                if (!level) throw UsageError("--level takes a decimal number between 0 and 1, not \"" + w.level + "\"");
                c.compare.level = *level;
            }
            if (c.compare.csv == "-" && c.compare.json)
                throw UsageError("--csv - and --json both print to stdout: choose one");
            checkPaperOptions(c.compare, w, optionGiven);
            const bool cohortOptions =
                optionGiven("--statistic") || optionGiven("--replicates") || optionGiven("--seed");
            if (!c.compare.cohorts && cohortOptions)
                throw UsageError("--statistic, --replicates and --seed go with --cohorts");
            if (c.compare.cohorts) {
                if (c.compare.statistic.empty()) throw UsageError("--cohorts needs --statistic NAME");
                if (!knownStatistic(c.compare.statistic))
                    throw UsageError("--statistic: unknown statistic \"" + c.compare.statistic + "\"");
                if (optionGiven("--replicates")) c.compare.replicates = replicatesOption(w.replicates);
                if (optionGiven("--seed")) c.compare.seed = seedOption(w.seed);
                if (w.files.size() < 2) throw UsageError("compare --cohorts needs at least two cohort files");
            }
            if (optionGiven("--long")) {
                if (c.compare.cohorts) throw UsageError("--long and --cohorts are two kinds of input: choose one");
                if (!w.files.empty())
                    throw UsageError("--long reads every treatment from its file: give no treatment files beside it");
                if (c.compare.longForm.empty()) throw UsageError("--long needs a file name");
                if (c.compare.treatmentColumn == c.compare.valueColumn)
                    throw UsageError("--treatment-column and --value-column name the same column");
                c.compare.commandLine = words;
                break;
            }
            if (optionGiven("--treatment-column") || optionGiven("--value-column"))
                throw UsageError("--treatment-column and --value-column go with --long");
            if (w.files.size() < 2) throw UsageError("compare needs at least two treatment files");
            c.compare.files = w.files;
            c.compare.commandLine = words;
            break;
        }
        case Kind::Bootstrap: {
            BootstrapOptions& o = c.bootstrap;
            if (optionGiven("--replicates")) o.replicates = replicatesOption(w.replicates);
            if (optionGiven("--seed")) o.seed = seedOption(w.seed);
            if (optionGiven("--threads"))
                o.threads =
                    static_cast<unsigned>(wholeNumber("--threads", w.threads, 1, 256, "a whole number from 1 to 256"));
            if (optionGiven("--statistics")) {
                std::size_t start = 0;
                for (;;) {
                    const std::size_t comma = w.statistics.find(',', start);
                    const std::string name = w.statistics.substr(start, comma - start);
                    if (!knownStatistic(name)) throw UsageError("--statistics: unknown statistic \"" + name + "\"");
                    if (std::find(o.statistics.begin(), o.statistics.end(), name) == o.statistics.end())
                        o.statistics.push_back(name);
                    if (comma == std::string::npos) break;
                    start = comma + 1;
                }
            }
            if (w.files.empty()) throw UsageError("bootstrap needs the cohort files");
            o.files = w.files;
            o.commandLine = words;
            break;
        }
        case Kind::LifeTable:
            if (given.empty()) throw UsageError("lifetable needs at least one cohort file");
            c.lifetable.files = given;
            c.lifetable.commandLine = words;
            break;
        case Kind::Script:
            c.script.file = oneFile(w.files, name);
            break;
        default:
            break;
    }
    return c;
}

}  // namespace

const char* commandHelp(const std::string& command) {
    switch (kindOf(command).value_or(Kind::Help)) {
        case Kind::Cartesian:
            return kCartesianHelp;
        case Kind::Sort:
            return kSortHelp;
        case Kind::Normality:
            return kNormalityHelp;
        case Kind::Compare:
            return kCompareHelp;
        case Kind::Bootstrap:
            return kBootstrapHelp;
        case Kind::LifeTable:
            return kLifeTableHelp;
        case Kind::Script:
            return kScriptHelp;
        default:
            return nullptr;
    }
}

std::vector<std::string> commandOptions(const std::string& command) {
    const std::optional<Kind> kind = kindOf(command);
    if (!kind) return {};
    Command c;
    Words w;
    CLI::App app(command);
    defineOptions(app, *kind, c, w);
    std::vector<std::string> names;
    for (const CLI::Option* o : app.get_options())
        for (const std::string& n : o->get_lnames())
            if (n != "help") names.push_back("--" + n);
    return names;
}

Command parseCommand(const std::vector<std::string>& words) {
    if (words.empty()) throw UsageError("no command given");
    const std::string& first = words[0];
    Command c;
    if (first == "--help" || first == "-h" || first == "help") {
        c.kind = Kind::Help;
        c.help = kHelp;
        if (first == "help" && words.size() == 2 && words[1] != "help") {
            const char* help = commandHelp(words[1]);
            if (!help) throw UsageError("help: unknown command " + words[1]);
            c.help = help;
        } else if (words.size() > 1 + (first == "help" ? 1 : 0)) {
            throw UsageError(first + " takes " + (first == "help" ? "one command at most" : "nothing after it"));
        }
        return c;
    }
    if (first == "--version") {
        if (words.size() > 1) throw UsageError("--version takes nothing after it");
        c.kind = Kind::Version;
        return c;
    }
    const std::optional<Kind> kind = kindOf(first);
    if (!kind) throw UsageError((first.rfind('-', 0) == 0 ? "unknown option " : "unknown command ") + first);
    return parseOptions(*kind, first, words);
}

std::vector<std::string> splitScriptLine(const std::string& line) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    char quote = 0;
    for (char c : line) {
        if (quote != 0) {
            if (c == quote)
                quote = 0;
            else
                word += c;
        } else if (c == '"' || c == '\'') {
            quote = c;
            inWord = true;
        } else if (std::isspace(static_cast<unsigned char>(c))) {
            if (inWord) words.push_back(word);
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (quote != 0) throw UsageError("unclosed quote in: " + line);
    if (inWord) words.push_back(word);
    return words;
}

}  // namespace lumera::cli
