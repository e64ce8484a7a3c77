#pragma once
#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include "support/treatment_files.h"

namespace lumera::test {

// Single quotes for the shell.
inline std::string shellQuoted(const std::string& word) {
    std::string q = "'";
    for (char c : word) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

inline std::string cliPath() { return shellQuoted(LUMERA_CLI_PATH); }

struct ShellRun {
    int exitCode = -1;  // 128 + N when a signal N ended it (134: an abort)
    std::string out;
    std::string err;
};

// Runs a bash script in a real process, as a user would: exits, signals
// and the two streams are what the user sees.
inline ShellRun runShell(const std::string& script, const TempFolder& scratch) {
    const std::string out = scratch.file("stdout.txt"), err = scratch.file("stderr.txt");
    const std::string command = "bash -c " + shellQuoted(script) + " >" + shellQuoted(out) + " 2>" + shellQuoted(err);
    const int status = std::system(command.c_str());
    ShellRun run;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.out = readFile(out);
    run.err = readFile(err);
    return run;
}

}  // namespace lumera::test
