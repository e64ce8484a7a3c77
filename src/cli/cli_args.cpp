#include "cli/cli_args.h"

#include <cctype>

namespace lumera::cli {

const char* const kUsage =
    "usage: lumera-cli cartesian [--reversed] [--transform 0|1|2] [--detail] [--flow] [--code CODE] "
    "[--dir DIR] FILE1 FILE2 [FILE3]\n"
    "       lumera-cli sort [--kind general|boot|pbt] [--serials] [--decimals D] FILE\n"
    "       lumera-cli script FILE\n";

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
        } else if (isOption(w)) {
            throw UsageError("unknown option " + w);
        } else {
            o.files.push_back(w);
        }
    }
    if (o.files.empty()) throw UsageError("cartesian needs the treatment files");
    return command;
}

Command parseSort(const std::vector<std::string>& words) {
    Command command;
    command.kind = Command::Kind::Sort;
    SortOptions& o = command.sort;
    for (std::size_t i = 1; i < words.size(); ++i) {
        const std::string& w = words[i];
        if (w == "--kind") {
            const std::string& v = valueOf(words, i);
            if (v == "general")
                o.kind = SortKind::General;
            else if (v == "boot")
                o.kind = SortKind::Boot;
            else if (v == "pbt")
                o.kind = SortKind::Pbt;
            else
                throw UsageError("--kind takes general, boot or pbt");
        } else if (w == "--serials") {
            o.serials = true;
        } else if (w == "--decimals") {
            o.decimals = valueOf(words, i);
        } else if (isOption(w)) {
            throw UsageError("unknown option " + w);
        } else if (o.file.empty()) {
            o.file = w;
        } else {
            throw UsageError("sort takes one file");
        }
    }
    if (o.file.empty()) throw UsageError("sort needs a file");
    return command;
}

}  // namespace

Command parseCommand(const std::vector<std::string>& words) {
    if (words.empty()) throw UsageError("no command given");
    if (words[0] == "cartesian") return parseCartesian(words);
    if (words[0] == "sort") return parseSort(words);
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
