// lumera-cli compare as a user runs it, a whole process each time, at
// 3 x B = 3000, 6 x B = 100,000 and 10 x B = 1,000,000 plain files, with
// the peak memory of the process. Baselines in the same run, alternating
// with it: a program that only reads and parses the same files, and
// optionally another build's lumera-cli (the one before a change).
//
//   compare_bench [RUNS] [OTHER_CLI]   the timings, medians of RUNS (5)
//   compare_bench --write DIR          only the files, kept in DIR

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_util.h"
#include "compare_data.h"
#include "process_run.h"

namespace fs = std::filesystem;
using lumera::bench::ProcessRun;

namespace {

struct Size {
    int k, b;
    const char* what;
};
constexpr Size kSizes[] = {
    {3, 3000, "3 x B = 3000"}, {6, 100'000, "6 x B = 100,000"}, {10, 1'000'000, "10 x B = 1,000,000"}};

struct Medians {
    double seconds = 0, cpu = 0, peak = 0;
};

std::vector<std::string> withFiles(std::vector<std::string> words, const std::vector<std::string>& files) {
    words.insert(words.end(), files.begin(), files.end());
    return words;
}

ProcessRun runChecked(const std::vector<std::string>& words) {
    const ProcessRun run = lumera::bench::spawnTimed(words);
    if (run.exitCode != 0) {
        std::fprintf(stderr, "%s failed (exit %d)\n", words[0].c_str(), run.exitCode);
        std::exit(1);
    }
    return run;
}

void report(const char* who, const Medians& m, const Medians* base) {
    std::printf("  %-22s %8.4f s  CPU %7.3f s  peak %6.1f MB", who, m.seconds, m.cpu, m.peak);
    if (base) std::printf("  ratio to parse-only %5.2f", m.seconds / base->seconds);
    std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--write") == 0) {
        fs::create_directories(argv[2]);
        for (const Size& s : kSizes) lumera::bench::writeCompareFiles(argv[2], s.k, s.b);
        return 0;
    }
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const std::string other = argc > 2 ? argv[2] : "";
    const fs::path dir = fs::temp_directory_path() / ("lumera_compare_bench_" + std::to_string(getpid()));
    fs::create_directories(dir);
    for (const Size& s : kSizes) {
        const std::vector<std::string> files = lumera::bench::writeCompareFiles(dir, s.k, s.b);
        std::vector<std::vector<std::string>> commands = {withFiles({LUMERA_PARSE_PATH}, files),
                                                          withFiles({LUMERA_CLI_PATH, "compare", "--json"}, files)};
        if (!other.empty()) commands.push_back(withFiles({other, "compare", "--json"}, files));
        // Each round runs every command once, so that all see the same machine.
        std::vector<std::vector<double>> seconds(commands.size()), cpu(commands.size());
        std::vector<Medians> m(commands.size());
        for (const auto& c : commands) runChecked(c);  // files into the page cache
        for (int r = 0; r < runs; ++r)
            for (std::size_t c = 0; c < commands.size(); ++c) {
                const ProcessRun run = runChecked(commands[c]);
                seconds[c].push_back(run.seconds);
                cpu[c].push_back(run.cpuSeconds);
                m[c].peak = std::max(m[c].peak, run.peakMegabytes);
            }
        for (std::size_t c = 0; c < commands.size(); ++c) {
            m[c].seconds = lumera::bench::median(seconds[c]);
            m[c].cpu = lumera::bench::median(cpu[c]);
        }
        std::printf("%s (%d pairs), medians of %d:\n", s.what, s.k * (s.k - 1) / 2, runs);
        report("parse only", m[0], nullptr);
        report("lumera-cli compare", m[1], &m[0]);
        if (commands.size() > 2) report("other lumera-cli", m[2], &m[0]);
        std::fflush(stdout);
        for (const std::string& f : files) fs::remove(f);
    }
    fs::remove_all(dir);
    return 0;
}
