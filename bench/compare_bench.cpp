// lumera-cli compare as a user runs it, a whole process each time: 6
// treatments x B = 100,000 and 10 x B = 1,000,000, with the peak memory of
// the process. Baseline in the same run: one pair at B = 10,000 done the
// obvious way, forming all 10^8 differences and selecting the percentiles,
// against compare on the same two files.

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>

#include "bench_util.h"
#include "process_run.h"

namespace fs = std::filesystem;
using namespace lumera;

namespace {

// One number a line, as a plain file for compare.
std::string writePlain(const fs::path& path, const std::vector<double>& v) {
    std::string text;
    char buf[32];
    for (double x : v) {
        text.append(buf, std::to_chars(buf, buf + sizeof buf, x).ptr);
        text += '\n';
    }
    std::ofstream(path, std::ios::binary) << text;
    return path.string();
}

using bench::ProcessRun;

// Runs lumera-cli compare --json FILES with its output thrown away.
ProcessRun runCompare(const std::vector<std::string>& files) {
    std::vector<std::string> words = {LUMERA_CLI_PATH, "compare", "--json"};
    words.insert(words.end(), files.begin(), files.end());
    const ProcessRun run = bench::spawnTimed(words);
    if (run.exitCode != 0) {
        std::fprintf(stderr, "compare failed\n");
        std::exit(1);
    }
    return run;
}

ProcessRun medianRun(int runs, const std::vector<std::string>& files) {
    std::vector<double> seconds, peaks;
    for (int r = 0; r < runs; ++r) {
        const ProcessRun run = runCompare(files);
        seconds.push_back(run.seconds);
        peaks.push_back(run.peakMegabytes);
    }
    ProcessRun median;
    median.seconds = bench::median(seconds);
    median.peakMegabytes = *std::max_element(peaks.begin(), peaks.end());
    return median;
}

std::vector<std::string> writeTreatments(const fs::path& dir, int k, int b, std::mt19937_64& rng) {
    std::vector<std::string> files;
    for (int t = 0; t < k; ++t) {
        // Built step by step: g++ 12 warns falsely on "t" + std::to_string(t).
        std::string name = "t";
        name += std::to_string(t);
        name += "_";
        name += std::to_string(b);
        name += ".txt";
        files.push_back(writePlain(dir / name, bench::replicates(rng, 40 + 0.3 * t, 3, b)));
    }
    return files;
}

}  // namespace

int main() {
    const fs::path dir = fs::temp_directory_path() / "lumera_compare_bench";
    fs::create_directories(dir);
    std::mt19937_64 rng(99);

    // The baseline: every difference formed, both percentiles selected and
    // the two classes counted, for one pair at B = 10,000.
    const int b = 10'000;
    const std::vector<double> x = bench::replicates(rng, 40.3, 3, b), y = bench::replicates(rng, 40, 3, b);
    const std::vector<std::string> pair = {writePlain(dir / "x.txt", x), writePlain(dir / "y.txt", y)};
    // The processes first: a spawned child's peak memory counts what this
    // process held when it was spawned.
    const ProcessRun onePair = medianRun(3, pair);
    const ProcessRun six = medianRun(3, writeTreatments(dir, 6, 100'000, rng));
    const ProcessRun ten = medianRun(1, writeTreatments(dir, 10, 1'000'000, rng));
    std::vector<double> d;
    const double brute = bench::medianSeconds(3, [&] {
        d.clear();
        d.reserve(std::size_t{b} * b);
        for (double xi : x)
            for (double yj : y) d.push_back(xi - yj);
        const auto lo = static_cast<std::ptrdiff_t>(d.size() / 40);
        const auto hi = static_cast<std::ptrdiff_t>(d.size() * 39 / 40);
        std::nth_element(d.begin(), d.begin() + lo, d.end());
        std::nth_element(d.begin() + lo, d.begin() + hi, d.end());
        const auto zero = std::count_if(d.begin(), d.end(), [](double v) { return v <= 0; });
        if (zero < 0) std::puts("");
    });
    std::printf(
        "one pair, B = 10,000 (10^8 differences): compare %.3f s (whole process, median of 3); "
        "forming and selecting them in memory %.3f s; ratio %.3f\n",
        onePair.seconds, brute, onePair.seconds / brute);

    std::printf("6 treatments x B = 100,000 (15 pairs, 1.5E+11 differences): %.3f s (median of 3), peak %.0f MB\n",
                six.seconds, six.peakMegabytes);
    std::printf("10 treatments x B = 1,000,000 (45 pairs, 4.5E+13 differences): %.3f s, peak %.0f MB\n", ten.seconds,
                ten.peakMegabytes);
    fs::remove_all(dir);
    return 0;
}
