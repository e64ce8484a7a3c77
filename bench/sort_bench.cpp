// The sort and count from reading the file to the last output written:
// the 9,000,000-value all-differences file of a B = 3000 pair, and a
// 3,000-value bootstrap file, each against one plain read of the same file.
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "bench_util.h"
#include "cli/cli_app.h"
#include "textio/number_forms.h"

namespace fs = std::filesystem;
using namespace lumera;

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

double sortSeconds(int runs, const std::vector<std::string>& words) {
    return bench::medianSeconds(runs, [&] {
        std::ostringstream out, err;
        if (cli::runCli(words, out, err) != 0) {
            std::fprintf(stderr, "%s", err.str().c_str());
            std::exit(1);
        }
    });
}

double readSeconds(int runs, const fs::path& path) {
    return bench::medianSeconds(runs, [&] {
        std::ifstream in(path, std::ios::binary);
        std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (content.empty()) std::exit(1);
    });
}

}  // namespace

int main() {
    fs::path dir = fs::temp_directory_path() / "lumera_sort_bench";
    fs::create_directories(dir);
    fs::path pair = dir / "pair.txt", boot = dir / "boot.txt";
    writePairFile(pair, 3000);
    writeBootFile(boot, 3000);

    double big = sortSeconds(3, {"sort", "--kind", "pbt", "--serials", pair.string()});
    double bigRead = readSeconds(3, pair);
    double small = sortSeconds(9, {"sort", "--kind", "boot", boot.string()});
    double smallRead = readSeconds(9, boot);
    std::printf("sort and count, 9,000,000 differences (%.0f MB): %.3f s (median of 3)\n", fs::file_size(pair) / 1e6,
                big);
    std::printf("baseline, one plain read of that file: %.3f s; ratio %.1f\n", bigRead, big / bigRead);
    std::printf("sort and count, 3,000 bootstrap values: %.4f s (median of 9); plain read %.5f s\n", small, smallRead);
    std::printf("peak memory: %.0f MB\n", bench::peakMegabytes());
    fs::remove_all(dir);
    return 0;
}
