// The Cartesian test with detail difference files for three treatments of
// B = 3000, against one plain sequential write of as many bytes.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <sstream>

#include "app/commands.h"
#include "bench_util.h"
#include "cli/cli_dialogs.h"
#include "shell/program.h"
#include "textio/number_forms.h"

namespace fs = std::filesystem;
using namespace lumera;

int main() {
    const int B = 3000, runs = 5;
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
    auto runDetail = [&] {
        cli::CliDialogs dialogs(notices);
        SystemClock clock;
        SystemRandom random;
        Program program(dialogs, clock, random, out.string());
        installCommands(program);
        program.pinWorkingFolder(out.string());
        program.form1().Form_Load();
        bench::runTest(program, dialogs, files, true, notices);
    };

    // The same number of bytes, prepared beforehand and written in pieces of
    // 4 MB, the fastest size here (64 MB pieces take up to five times as long).
    const std::size_t piece = std::size_t{4} << 20;
    std::string prepared(piece, 'x');
    for (std::size_t k = 0; k < piece; k += 40) prepared[k] = '\n';
    std::uintmax_t detailBytes = 0;
    auto runPlain = [&] {
        std::FILE* f = std::fopen((out / "plain.txt").string().c_str(), "wb");
        if (!f) std::exit(1);
        for (std::uintmax_t left = detailBytes; left > 0;) {
            const std::size_t n = static_cast<std::size_t>(std::min<std::uintmax_t>(left, piece));
            if (std::fwrite(prepared.data(), 1, n, f) != n) std::exit(1);
            left -= n;
        }
        std::fclose(f);
    };

    // Alternating runs, so that both meet the machine in the same mood; the
    // cleanup after each run is not timed.
    auto timed = [](const std::function<void()>& work, std::vector<double>& wall, std::vector<double>& user,
                    std::vector<double>& kernel) {
        const double userStart = bench::cpuSeconds(false), kernelStart = bench::cpuSeconds(true);
        const auto start = std::chrono::steady_clock::now();
        work();
        wall.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        user.push_back(bench::cpuSeconds(false) - userStart);
        kernel.push_back(bench::cpuSeconds(true) - kernelStart);
    };
    std::vector<double> detailWall, detailUser, detailKernel, plainWall, plainUser, plainKernel;
    runDetail();  // sizes the plain write and warms the page cache's allocator
    clearOut();
    detailBytes = written;
    for (int i = 0; i < runs; ++i) {
        timed(runDetail, detailWall, detailUser, detailKernel);
        clearOut();
        timed(runPlain, plainWall, plainUser, plainKernel);
        clearOut();
    }
    const double detail = bench::median(detailWall), plain = bench::median(plainWall);
    // The page cache's cost drifts over minutes on a virtual machine; the
    // ratio of each run to the plain write right after it drifts less.
    std::vector<double> ratios;
    for (int i = 0; i < runs; ++i) ratios.push_back(detailWall[i] / plainWall[i]);

    std::printf(
        "test of 3 treatments x B = %d with detail files (%.2f GB written): %.3f s (median of %d; CPU %.2f s "
        "user, %.2f s kernel)\n",
        B, detailBytes / 1e9, detail, runs, bench::median(detailUser), bench::median(detailKernel));
    std::printf("baseline, one plain sequential write of the same bytes: %.3f s (CPU %.2f s user, %.2f s kernel)\n",
                plain, bench::median(plainUser), bench::median(plainKernel));
    std::printf("ratio detail run / plain write: %.2f (median of the runs' own ratios: %.2f)\n", detail / plain,
                bench::median(ratios));
    std::printf("peak memory: %.0f MB\n", bench::peakMegabytes());
    fs::remove_all(dir);
    return 0;
}
