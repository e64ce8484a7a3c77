#include "cli/cli_args.h"

#include <cctype>
#include <optional>

#include "textio/rounding.h"

namespace lumera::cli {

const char* const kUsage =
    "usage: lumera-cli cartesian [--reversed] [--transform 0|1|2] [--detail] [--flow] [--code CODE] "
    "[--dir DIR] [--plot DIR] FILE1 FILE2 [FILE3]\n"
    "       lumera-cli sort [--kind general|boot|pbt] [--serials] [--decimals D] FILE\n"
    "       lumera-cli normality [--kind general|boot|pbt] [--serials] [--decimals D] [--json] FILE\n"
    "       lumera-cli compare [--alpha A] [--sidak] [--json] [--csv FILE] [--plot DIR] FILE1 FILE2 [FILE3 ...]\n"
    "       lumera-cli script FILE\n";

const char* const kCompareHelp =
    "usage: lumera-cli compare [--alpha A] [--sidak] [--json] [--csv FILE] [--plot DIR] FILE1 FILE2 [FILE3 ...]\n"
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
    "       name; a pipe works too.\n"
    "--alpha A   significance level, 0 < A < 1 (default 0.05): a pair differs when\n"
    "            P <= A; the letters follow the same rule\n"
    "--sidak     decide by the Sidak level 1 - (1 - A)^(1/m), m the number of pairs\n"
    "--json      print a JSON document (format \"lumera-compare\", version 1)\n"
    "            instead of the tables\n"
    "--csv FILE  also write one row per pair to FILE\n"
    "--plot DIR  also write each pair's distribution of differences to DIR:\n"
    "            pair-I-J.png, pair-I-J.svg and pair-I-J.csv (bins: lower,upper,count),\n"
    "            I < J the treatments' positions in the order of the tables\n"
    "\n"
    "Exit status: 0 done, 1 bad input (message on stderr), 2 wrong command line.\n";

namespace {

const std::string& valueOf(const std::vector<std::string>& words, std::size_t& i) {
    if (i + 1 >= words.size()) throw UsageError(words[i] + " needs a value");
    return words[++i];
}

bool isOption(const std::string& word) { return word.size() > 1 && word.rfind("--", 0) == 0; }

Command parseCartesian(const std::vector<std::string>& words) {
    Command command;
    command.kind = Command::Kind::Cartesian;
    CartesianOptions& o = command.cartesian;
    for (std::size_t i = 1; i < words.size(); ++i) {
        const std::string& w = words[i];
        if (w == "--reversed") {
            o.reversed = true;
        } else if (w == "--transform") {
            const std::string& v = valueOf(words, i);
            if (v != "0" && v != "1" && v != "2") throw UsageError("--transform takes 0, 1 or 2");
            o.transform = v[0] - '0';
        } else if (w == "--detail") {
            o.detail = true;
        } else if (w == "--flow") {
            o.flow = true;
        } else if (w == "--code") {
            o.code = valueOf(words, i);
        } else if (w == "--dir") {
            o.dir = valueOf(words, i);
        } else if (w == "--plot") {
            o.plot = valueOf(words, i);
        } else if (isOption(w)) {
            throw UsageError("unknown option " + w);
        } else {
            o.files.push_back(w);
        }
    }
    if (o.files.empty()) throw UsageError("cartesian needs the treatment files");
    return command;
}

SortKind sortKind(const std::string& v) {
    if (v == "general") return SortKind::General;
    if (v == "boot") return SortKind::Boot;
    if (v == "pbt") return SortKind::Pbt;
    throw UsageError("--kind takes general, boot or pbt");
}

// sort and normality read one data file alike; normality also takes --json.
void parseDataFile(const std::vector<std::string>& words, SortOptions& o, bool* json) {
    const std::string& name = words[0];
    for (std::size_t i = 1; i < words.size(); ++i) {
        const std::string& w = words[i];
        if (w == "--kind") {
            o.kind = sortKind(valueOf(words, i));
        } else if (w == "--serials") {
            o.serials = true;
        } else if (w == "--decimals") {
            o.decimals = valueOf(words, i);
        } else if (json && w == "--json") {
            *json = true;
        } else if (isOption(w)) {
            throw UsageError("unknown option " + w);
        } else if (o.file.empty()) {
            o.file = w;
        } else {
            throw UsageError(name + " takes one file");
        }
    }
    if (o.file.empty()) throw UsageError(name + " needs a file");
}

Command parseSort(const std::vector<std::string>& words) {
    Command command;
    command.kind = Command::Kind::Sort;
    parseDataFile(words, command.sort, nullptr);
    return command;
}

Command parseNormality(const std::vector<std::string>& words) {
    Command command;
    command.kind = Command::Kind::Normality;
    parseDataFile(words, command.normality, &command.normality.json);
    return command;
}

Command parseCompare(const std::vector<std::string>& words) {
    Command command;
    command.kind = Command::Kind::Compare;
    CompareOptions& o = command.compare;
    for (std::size_t i = 1; i < words.size(); ++i) {
        const std::string& w = words[i];
        if (w == "--help" || w == "-h") {
            o.help = true;
        } else if (w == "--alpha") {
            const std::optional<double> a = parseNumberText(valueOf(words, i));
            if (!a || !(*a > 0 && *a < 1)) throw UsageError("--alpha takes a number between 0 and 1");
            o.alpha = *a;
        } else if (w == "--sidak") {
            o.sidak = true;
        } else if (w == "--json") {
            o.json = true;
        } else if (w == "--csv") {
            o.csv = valueOf(words, i);
        } else if (w == "--plot") {
            o.plot = valueOf(words, i);
        } else if (isOption(w)) {
            throw UsageError("unknown option " + w);
        } else {
            o.files.push_back(w);
        }
    }
    if (!o.help && o.files.size() < 2) throw UsageError("compare needs at least two treatment files");
    return command;
}

}  // namespace

Command parseCommand(const std::vector<std::string>& words) {
    if (words.empty()) throw UsageError("no command given");
    if (words[0] == "cartesian") return parseCartesian(words);
    if (words[0] == "sort") return parseSort(words);
    if (words[0] == "normality") return parseNormality(words);
    if (words[0] == "compare") return parseCompare(words);
    if (words[0] == "script") {
        if (words.size() != 2 || isOption(words[1])) throw UsageError("script takes one file");
        Command command;
        command.kind = Command::Kind::Script;
        command.script.file = words[1];
        return command;
    }
    throw UsageError("unknown command " + words[0]);
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
