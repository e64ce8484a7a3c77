// lumera-cli as a script calls it, a whole process each time, beside a C++
// program that does nothing, in the same run: the program's start
// (--version), compare and cartesian of the sample r0 files (3 x B = 3000).

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_util.h"
#include "process_run.h"

namespace fs = std::filesystem;

namespace {

// Seconds of one run of `words`, its output thrown away; the exit code too.
double runOnce(const std::vector<std::string>& words, int& exitCode) {
    const lumera::bench::ProcessRun run = lumera::bench::spawnTimed(words, true);
    exitCode = run.exitCode;
    return run.seconds;
}

// Median of `runs`, the empty program's run alternating with each, so that
// both see the same machine.
void measure(const char* what, const std::vector<std::string>& words, int runs) {
    std::vector<double> times, empty;
    int code = 0, emptyCode = 0;
    for (int i = 0; i < runs; ++i) {
        empty.push_back(runOnce({LUMERA_EMPTY_PATH}, emptyCode));
        times.push_back(runOnce(words, code));
    }
    const double t = lumera::bench::median(times), e = lumera::bench::median(empty);
    std::printf("%-34s %8.4f s   empty program %8.4f s   difference %7.4f s   (median of %d, exit %d)\n", what, t, e,
                t - e, runs, code);
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::atoi(argv[1]) : 21;
    // Another build's lumera-cli may stand in, to set two builds side by side.
    const std::string cli = argc > 2 ? argv[2] : LUMERA_CLI_PATH, examples = LUMERA_EXAMPLES_DIR;
    const std::vector<std::string> r0 = {examples + "/r0-18C.txt", examples + "/r0-24C.txt", examples + "/r0-30C.txt"};
    const fs::path dir = fs::temp_directory_path() / ("lumera_startup_bench_" + std::to_string(getpid()));
    fs::create_directories(dir);

    int code = 0;
    runOnce({cli, "--version"}, code);
    // Before --version existed, --help is the nearest thing that reads nothing.
    measure(code == 0 ? "lumera-cli --version" : "lumera-cli --help", {cli, code == 0 ? "--version" : "--help"}, runs);
    std::vector<std::string> compare = {cli, "compare", "--json"};
    compare.insert(compare.end(), r0.begin(), r0.end());
    measure("lumera-cli compare --json 3 x 3000", compare, runs);
    std::vector<std::string> cartesian = {cli, "cartesian", "--dir", dir.string()};
    cartesian.insert(cartesian.end(), r0.begin(), r0.end());
    measure("lumera-cli cartesian 3 x 3000", cartesian, runs);
    fs::remove_all(dir);
}
