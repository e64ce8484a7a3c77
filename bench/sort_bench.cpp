// The sort and count as a user runs it, a whole lumera-cli process from
// reading the file to the last output written: the 9,000,000-value
// all-differences file of a B = 3000 pair, and a 3,000-value bootstrap file,
// each against one plain read of the same file in the same run.
//   sort_bench [RUNS] [OTHER_CLI]   medians of RUNS (5); OTHER_CLI, another
//                                   build's lumera-cli, alternates with this one
//   sort_bench --write DIR          only the two files, kept in DIR
// Each run starts after the text of the run before is on the disk.
// The plain read runs in a process of its own too: a child's peak memory
// counts its parent's, so the parent stays small.
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "bench_util.h"
#include "process_run.h"
#include "textio/number_forms.h"

namespace fs = std::filesystem;
using namespace lumera;
using lumera::bench::ProcessRun;

namespace {

// A pair's differences as the detail files number them, with the header of
// "PBT or CPT results" files.
void writePairFile(const fs::path& path, int b) {
    std::mt19937_64 rng(77);
    std::normal_distribution<double> x(45.2, 3.1), y(44.1, 2.8);
    std::vector<double> xs(b), ys(b);
    for (double& v : xs) v = std::round(x(rng) * 1e6) / 1e6;
    for (double& v : ys) v = std::round(y(rng) * 1e6) / 1e6;
    std::ofstream out(path, std::ios::binary);
    out << "\"A vs B\",\"x\",40,\"x\"," << b * b << ",\"A vs B\",40,1.1,\"x\",\"x\"\r\n";
    long c = 0;
    char buf[64];
    for (double a : xs)
        for (double v : ys) {
            char* end = writeFormTo(buf, a - v);
            out << ++c << ',' << std::string_view(buf, static_cast<std::size_t>(end - buf)) << "\r\n";
        }
}

void writeBootFile(const fs::path& path, int b) {
    std::mt19937_64 rng(78);
    std::normal_distribution<double> x(1.52, 0.11);
    std::ofstream out(path, std::ios::binary);
    out << "\"Control\",\"R0\",40,\"x\"," << b << ",\"R0\",40,1.5\r\n";
    for (int i = 0; i < b; ++i) out << writeForm(x(rng)) << "\r\n";
}

ProcessRun sortRun(const std::string& cli, const std::vector<std::string>& options) {
    // The run before left hundreds of megabytes of text for the disk: each
    // run starts with it written, as a user's run of the same file later
    // would, and still replaces the earlier run's files.
    ::sync();
    std::vector<std::string> words{cli, "sort"};
    words.insert(words.end(), options.begin(), options.end());
    const ProcessRun run = lumera::bench::spawnTimed(words);
    if (run.exitCode != 0) {
        std::fprintf(stderr, "%s sort failed (%d)\n", cli.c_str(), run.exitCode);
        std::exit(1);
    }
    return run;
}

void readWhole(const char* path) {
    std::ifstream in(path, std::ios::binary);
    std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (content.empty()) std::exit(1);
}

double readSeconds(const fs::path& path) {
    const ProcessRun run =
        lumera::bench::spawnTimed({fs::canonical("/proc/self/exe").string(), "--read", path.string()});
    if (run.exitCode != 0) std::exit(1);
    return run.seconds;
}

struct Figures {
    std::vector<double> seconds, cpu, peak;
    void add(const ProcessRun& r) {
        seconds.push_back(r.seconds);
        cpu.push_back(r.cpuSeconds);
        peak.push_back(r.peakMegabytes);
    }
    void print(const char* what) const {
        std::printf("%s: %.3f s (CPU %.3f s), peak %.0f MB (medians of %zu)\n", what, bench::median(seconds),
                    bench::median(cpu), bench::median(peak), seconds.size());
    }
};

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--read") == 0) {
        readWhole(argv[2]);
        return 0;
    }
    if (argc == 3 && std::strcmp(argv[1], "--write") == 0) {
        fs::create_directories(argv[2]);
        writePairFile(fs::path(argv[2]) / "pair.txt", 3000);
        writeBootFile(fs::path(argv[2]) / "boot.txt", 3000);
        return 0;
    }
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const std::string other = argc > 2 ? argv[2] : "";
    const fs::path dir = fs::temp_directory_path() / "lumera_sort_bench";
    fs::create_directories(dir);
    const fs::path pair = dir / "pair.txt", boot = dir / "boot.txt";
    writePairFile(pair, 3000);
    writeBootFile(boot, 3000);

    const std::vector<std::string> big{"--kind", "pbt", "--serials", pair.string()};
    const std::vector<std::string> small{"--kind", "boot", boot.string()};
    Figures bigThis, bigOther, smallThis;
    std::vector<double> bigRead, smallRead;
    for (int r = 0; r < runs; ++r) {
        bigThis.add(sortRun(LUMERA_CLI_PATH, big));
        if (!other.empty()) bigOther.add(sortRun(other, big));
        bigRead.push_back(readSeconds(pair));
        smallThis.add(sortRun(LUMERA_CLI_PATH, small));
        smallRead.push_back(readSeconds(boot));
    }
    std::printf("sort and count, 9,000,000 differences with serials (%.0f MB)\n", fs::file_size(pair) / 1e6);
    bigThis.print("  lumera-cli sort --kind pbt --serials");
    if (!other.empty()) bigOther.print("  the other build");
    const double read = bench::median(bigRead);
    std::printf("  baseline, one plain read of that file: %.3f s; ratio %.2f\n", read,
                bench::median(bigThis.seconds) / read);
    smallThis.print("sort and count, 3,000 bootstrap values");
    std::printf("  plain read %.5f s\n", bench::median(smallRead));
    fs::remove_all(dir);
    return 0;
}
