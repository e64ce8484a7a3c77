#include <unistd.h>

#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "cli/checked_output.h"
#include "cli/cli_app.h"
#include "textio/temporary_files.h"

int main(int argc, char** argv) {
    lumera::installInterruptCleanup("lumera-cli");
    std::vector<std::string> words(argv + 1, argv + argc);
    lumera::cli::CheckedOutput stdoutBuffer(STDOUT_FILENO);
    std::ostream out(&stdoutBuffer);
    int code = lumera::cli::runCli(words, out, std::cerr);
    // What a command printed counts only once it is written.
    if (const int error = stdoutBuffer.finish(); error != 0) {
        std::cerr << "lumera-cli: write error: standard output: " << std::strerror(error) << '\n';
        if (code == 0) code = 1;
    }
    return code;
}
