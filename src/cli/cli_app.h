#pragma once
#include <ostream>
#include <string>
#include <vector>

namespace lumera::cli {

// Runs lumera-cli with the words after the program name; returns the exit
// code (0 done, 1 bad input, 2 wrong command line or not available).
int runCli(const std::vector<std::string>& words, std::ostream& out, std::ostream& err);

}  // namespace lumera::cli
