#include <iostream>
#include <string>
#include <vector>

#include "cli/cli_app.h"

int main(int argc, char** argv) {
    std::vector<std::string> words(argv + 1, argv + argc);
    return lumera::cli::runCli(words, std::cout, std::cerr);
}
