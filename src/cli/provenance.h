#pragma once
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "textio/sha256.h"

namespace lumera::cli {

// What a JSON document says of where it came from: the command line as
// typed (the words after the program's name) and every input file as read.
// No time: the same inputs give the same bytes.
struct Provenance {
    std::vector<std::string> commandLine;
    std::vector<InputDigest> inputs;
};

// An input's name in a document: "-" for standard input.
std::string inputName(const std::string& path);

nlohmann::ordered_json commandLineJson(const Provenance& p);
nlohmann::ordered_json inputsJson(const Provenance& p);

// Adds "command_line" and "inputs" to a document built as a tree.
void addProvenance(nlohmann::ordered_json& doc, const Provenance& p);

}  // namespace lumera::cli
