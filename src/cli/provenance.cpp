#include "cli/provenance.h"

#include "cli/cli_args.h"

namespace lumera::cli {

std::string inputName(const std::string& path) { return path == kStandardInput ? std::string("-") : path; }

nlohmann::ordered_json commandLineJson(const Provenance& p) {
    nlohmann::ordered_json words = nlohmann::ordered_json::array();
    for (const std::string& w : p.commandLine) words.push_back(w);
    return words;
}

nlohmann::ordered_json inputsJson(const Provenance& p) {
    nlohmann::ordered_json inputs = nlohmann::ordered_json::array();
    for (const InputDigest& d : p.inputs)
        inputs.push_back({{"file", inputName(d.file)}, {"bytes", d.bytes}, {"sha256", d.sha256}});
    return inputs;
}

void addProvenance(nlohmann::ordered_json& doc, const Provenance& p) {
    doc["command_line"] = commandLineJson(p);
    doc["inputs"] = inputsJson(p);
}

}  // namespace lumera::cli
