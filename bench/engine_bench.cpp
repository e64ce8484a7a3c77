// The Cartesian test from the button press to the engine's end, for three
// treatments of B = 3000, against one plain pass over the same 27,000,000
// differences.
#include <cmath>
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
    const int B = 3000, runs = 7;
    fs::path dir = fs::temp_directory_path() / "lumera_engine_bench";
    fs::create_directories(dir);
    std::vector<std::vector<double>> data;
    std::vector<std::string> files = bench::writeThreeTreatments(dir, B, data);

    std::ostringstream notices;
    double engine = bench::medianSeconds(runs, [&] {
        cli::CliDialogs dialogs(notices);
        SystemClock clock;
        SystemRandom random;
        Program program(dialogs, clock, random, dir.string());
        installCommands(program);
        program.form1().Form_Load();
        bench::runTest(program, dialogs, files, false, notices);
    });

    volatile double sink = 0;
    double baseline = bench::medianSeconds(runs, [&] {
        double total = 0;
        for (int i = 0; i < 3; ++i)
            for (int j = i + 1; j < 3; ++j)
                for (double x : data[i])
                    for (double y : data[j]) total += x - y;
        sink = total;
    });

    std::printf("test of 3 treatments x B = %d (button press to the report written): %.3f s (median of %d)\n", B,
                engine, runs);
    std::printf("baseline, one pass forming and summing the 27,000,000 differences: %.3f s\n", baseline);
    std::printf("ratio engine / baseline: %.2f\n", engine / baseline);
    std::printf("peak memory: %.0f MB\n", bench::peakMegabytes());
    fs::remove_all(dir);
    return 0;
}
