// The Cartesian test with detail difference files for three treatments of
// B = 3000, against one plain sequential write of as many bytes.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <sstream>

#include <unistd.h>

#include "bench_util.h"
#include "cli/cli_dialogs.h"
#include "shell/program.h"
#include "textio/number_forms.h"

namespace fs = std::filesystem;
using namespace lumera;

namespace {


// Median of timed runs; the cleanup after each run is not timed, so every
// run writes into a folder as empty as the first one's.
double medianSeconds(int runs, const std::function<void()>& work, const std::function<void()>& cleanup) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        auto start = std::chrono::steady_clock::now();
        work();
        times.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        cleanup();
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

}  // namespace

int main() {
    const int B = 3000, runs = 3;
    fs::path dir = fs::temp_directory_path() / "lumera_detail_bench";
    fs::path out = dir / "out";
    fs::remove_all(dir);
    fs::create_directories(out);
    ::sync();
    std::vector<std::vector<double>> data;
    std::vector<std::string> files = bench::writeThreeTreatments(dir, B, data);

    std::ostringstream notices;
    std::uintmax_t written = 0;
    auto clearOut = [&] {
        written = 0;
        for (const auto& e : fs::directory_iterator(out))
            if (e.path().filename().string().find(" results-") == std::string::npos) written += e.file_size();
        fs::remove_all(out);
        fs::create_directories(out);
        // Each run starts without the last one's writeback in its way.
        ::sync();
    };
    std::uintmax_t detailBytes = 0;
    double detail = medianSeconds(runs, [&] {
        cli::CliDialogs dialogs(notices);
        SystemClock clock;
        SystemRandom random;
        Program program(dialogs, clock, random, out.string());
        program.pinWorkingFolder(out.string());
        program.form1().Form_Load();
        bench::runTest(program, dialogs, files, true, notices);
    }, [&] {
        clearOut();
        detailBytes = written;
    });

    // The same number of bytes, prepared beforehand and written in large pieces.
    const std::size_t piece = std::size_t{64} << 20;
    std::string prepared(piece, 'x');
    for (std::size_t k = 0; k < piece; k += 40) prepared[k] = '\n';
    double plain = medianSeconds(runs, [&] {
        std::FILE* f = std::fopen((out / "plain.txt").string().c_str(), "wb");
        if (!f) std::exit(1);
        for (std::uintmax_t left = detailBytes; left > 0;) {
            const std::size_t n = static_cast<std::size_t>(std::min<std::uintmax_t>(left, piece));
            if (std::fwrite(prepared.data(), 1, n, f) != n) std::exit(1);
            left -= n;
        }
        std::fclose(f);
    }, clearOut);

    std::printf("test of 3 treatments x B = %d with detail files (%.2f GB written): %.3f s (median of %d)\n", B,
                detailBytes / 1e9, detail, runs);
    std::printf("baseline, one plain sequential write of the same bytes: %.3f s\n", plain);
    std::printf("ratio detail run / plain write: %.2f\n", detail / plain);
    std::printf("peak memory: %.0f MB\n", bench::peakMegabytes());
    fs::remove_all(dir);
    return 0;
}
