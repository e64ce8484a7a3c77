#pragma once
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli_app.h"

namespace lumera::test {

// One run of the command line in this process: its exit code and both streams.
struct CliRun {
    int code;
    std::string out, err;
};

inline CliRun cli(const std::vector<std::string>& words) {
    std::ostringstream out, err;
    const int code = cli::runCli(words, out, err);
    return {code, out.str(), err.str()};
}

}  // namespace lumera::test
