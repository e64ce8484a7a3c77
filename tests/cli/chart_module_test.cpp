// lumera-cli maps no Qt library but for --plot, which opens the chart module
// found beside the program.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/shell_run.h"
#include "support/treatment_files.h"

namespace lumera::test {
namespace {

namespace fs = std::filesystem;

std::string example(const std::string& name) { return shellQuoted(std::string(LUMERA_EXAMPLES_DIR) + "/" + name); }

std::string r0Files() { return example("r0-18C.txt") + " " + example("r0-24C.txt") + " " + example("r0-30C.txt"); }

std::string cohortFiles() { return example("moth-20C.csv") + " " + example("moth-32C.csv"); }

TEST(ChartModule, TheProgramLinksNoQtLibrary) {
    TempFolder scratch("no_qt_ldd");
    const ShellRun run = runShell("ldd " + cliPath(), scratch);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("libc.so"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("Qt"), std::string::npos) << run.out;
}

// The dynamic loader names every library it maps on stderr under LD_DEBUG.
TEST(ChartModule, OnlyPlotMapsAQtLibrary) {
    TempFolder scratch("no_qt_maps");
    const std::string dir = shellQuoted(scratch.path().string());
    // sort and normality write beside their data file.
    fs::copy_file(std::string(LUMERA_EXAMPLES_DIR) + "/development-days.txt", scratch.file("days.txt"));
    const std::string days = shellQuoted(scratch.file("days.txt"));
    const struct {
        std::string arguments;
        bool mapsQt;
    } cases[] = {
        {"compare --json " + r0Files(), false},
        {"compare " + r0Files(), false},
        {"cartesian --dir " + dir + " " + r0Files(), false},
        {"normality --json " + days, false},
        {"sort " + days, false},
        {"compare --plot " + dir + " " + r0Files(), LUMERA_HAVE_CHART_MODULE},
        {"lifetable --json --tables " + dir + " " + cohortFiles(), false},
        {"lifetable --plot " + dir + " " + cohortFiles(), LUMERA_HAVE_CHART_MODULE},
    };
    for (const auto& c : cases) {
        const ShellRun run = runShell("cd " + dir + " && LD_DEBUG=libs " + cliPath() + " " + c.arguments, scratch);
        EXPECT_EQ(run.exitCode, c.mapsQt || c.arguments.find("--plot") == std::string::npos ? 0 : 1) << c.arguments;
        EXPECT_NE(run.err.find("libc.so"), std::string::npos) << "no loader trace: " << run.err.substr(0, 500);
        EXPECT_EQ(run.err.find("libQt6Core") != std::string::npos, c.mapsQt) << c.arguments;
        EXPECT_EQ(run.err.find("lumera-charts.so") != std::string::npos, c.mapsQt) << c.arguments;
    }
}

// A program moved away from its module refuses --plot before any work and
// says which module it looked for; without the window there is no module.
TEST(ChartModule, PlotWithoutTheModuleIsAMessageAndExit1) {
    TempFolder scratch("no_module");
    const fs::path bin = scratch.path() / "bin";
    fs::create_directories(bin);
    std::string program = cliPath();
    std::string expected = "has no chart module";
    if (LUMERA_HAVE_CHART_MODULE) {
        fs::copy_file(LUMERA_CLI_PATH, bin / "lumera-cli");
        program = shellQuoted((bin / "lumera-cli").string());
        expected = "Cannot load the chart module: " +
                   (bin / LUMERA_CHART_MODULE_DIR / "lumera-charts.so").lexically_normal().string();
    }
    const fs::path plots = scratch.path() / "plots";
    fs::create_directories(plots);
    const std::vector<std::string> commands = {"compare", "cartesian --dir " + shellQuoted(plots.string()),
                                               "lifetable"};
    for (const std::string& command : commands) {
        const ShellRun run =
            runShell(program + " " + command + " --plot " + shellQuoted(plots.string()) + " " + r0Files(), scratch);
        EXPECT_EQ(run.exitCode, 1) << command;
        EXPECT_NE(run.err.find(expected), std::string::npos) << command << ": " << run.err;
        EXPECT_TRUE(run.out.empty()) << run.out;
        EXPECT_TRUE(fs::is_empty(plots)) << command << ": no report, no chart";
    }
}

}  // namespace
}  // namespace lumera::test
