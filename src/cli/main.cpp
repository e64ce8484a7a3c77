#include <iostream>
#include <string>
#include <vector>

#include "cli/cli_app.h"
#include "textio/temporary_files.h"

int main(int argc, char** argv) {
    lumera::installInterruptCleanup("lumera-cli");
    std::vector<std::string> words(argv + 1, argv + argc);
    return lumera::cli::runCli(words, std::cout, std::cerr);
}
