#pragma once
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

extern char** environ;

namespace lumera::bench {

struct ProcessRun {
    int exitCode = 0;  // 128 + N when signal N ended it
    double seconds = 0;
    double peakMegabytes = 0;
    double cpuSeconds = 0;  // user and kernel, all threads: what a busy machine does not inflate
};

// One whole process of words (words[0] the program), as a script starts it,
// with its standard output (and standard error when quiet) thrown away.
inline ProcessRun spawnTimed(std::vector<std::string> words, bool quietStderr = false) {
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    if (quietStderr) posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
        std::fprintf(stderr, "cannot start %s\n", argv[0]);
        std::exit(1);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    const auto cpu = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    ProcessRun run;
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.peakMegabytes = usage.ru_maxrss / 1024.0;
    run.cpuSeconds = cpu(usage.ru_utime) + cpu(usage.ru_stime);
    posix_spawn_file_actions_destroy(&actions);
    return run;
}

}  // namespace lumera::bench
