// lumera-cli's output files in real processes: what stands at a name is kept
// for what it is, an interrupt or a full disk leaves no unfinished file, and
// a written file is named even when a later step fails.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "support/shell_run.h"
#include "support/treatment_files.h"

namespace lumera::test {
namespace {

namespace fs = std::filesystem;

const std::string kExamples = LUMERA_EXAMPLES_DIR;

std::vector<std::string> temporaries(const TempFolder& folder) {
    std::vector<std::string> found;
    for (const std::string& name : folder.names())
        if (name.rfind(".lumera-", 0) == 0) found.push_back(name);
    return found;
}

class OutputFilesTest : public ::testing::Test {
protected:
    OutputFilesTest() : folder("output_files"), scratch("output_files_scratch") {
        a = writeTreatment(folder.file("a.txt"), {.name = "Warm", .code = "A", .replicates = {3, 4, 5, 6}});
        b = writeTreatment(folder.file("b.txt"), {.name = "Cool", .code = "B", .replicates = {1, 2, 3}});
    }
    ShellRun cli(const std::string& arguments) {
        return runShell("timeout -s KILL 60 " + cliPath() + " " + arguments, scratch);
    }
    std::string ab() const { return shellQuoted(a) + " " + shellQuoted(b); }

    TempFolder folder, scratch;
    std::string a, b;
};

// A link, a pipe or a file its owner keeps private is still that after a
// run writes through it.
TEST_F(OutputFilesTest, WhatStandsAtAnOutputNameStays) {
    const ShellRun plain = cli("compare --csv " + shellQuoted(scratch.file("plain.csv")) + " " + ab());
    ASSERT_EQ(plain.exitCode, 0) << plain.err;
    const std::string csv = readFile(scratch.file("plain.csv"));
    ASSERT_FALSE(csv.empty());

    fs::create_symlink(scratch.file("target.csv"), folder.file("link.csv"));
    ShellRun run = cli("compare --csv " + shellQuoted(folder.file("link.csv")) + " " + ab());
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(fs::is_symlink(folder.file("link.csv")));
    EXPECT_EQ(readFile(scratch.file("target.csv")), csv);

    const std::string fifo = folder.file("pipe.csv");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // The reader is there first and the CSV fits the pipe, so nothing waits.
    const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    run = cli("compare --csv " + shellQuoted(fifo) + " " + ab());
    EXPECT_EQ(run.exitCode, 0) << run.err;
    std::string got;
    char buf[4096];
    for (ssize_t n; (n = read(reader, buf, sizeof buf)) > 0;) got.append(buf, static_cast<std::size_t>(n));
    close(reader);
    EXPECT_EQ(got, csv);
    EXPECT_TRUE(fs::is_fifo(fifo));

    // A stream of the process by its name: the CSV goes where the stream
    // stands, before the table that follows on the same stream.
    run = runShell("exec 3>" + shellQuoted(scratch.file("both.txt")) + "\n" + cliPath() + " compare --csv /dev/fd/3 " +
                       ab() + " >&3",
                   scratch);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(readFile(scratch.file("both.txt")), csv + plain.out);

    // A chart file behind a link, as the CSV.
    const fs::path plots = folder.path() / "plots";
    fs::create_directory(plots);
    fs::create_symlink(scratch.file("chart.svg"), plots / "pair-1-2.svg");
    run = cli("compare --plot " + shellQuoted(plots.string()) + " " + ab());
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(fs::is_symlink(plots / "pair-1-2.svg"));
    EXPECT_NE(readFile(scratch.file("chart.svg")).find("<svg"), std::string::npos);

    // The sort's outputs keep the mode their owner gave them.
    const std::string data = folder.file("data.txt");
    { std::ofstream(data, std::ios::binary) << "\"P\",\"x\",\"V\"\r\n3\r\n1\r\n2\r\n"; }
    run = cli("sort " + shellQuoted(data));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::string sorted = run.out.substr(0, run.out.find('\n'));
    ASSERT_EQ(chmod(sorted.c_str(), 0440), 0);
    run = cli("sort " + shellQuoted(data));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    struct stat st;
    ASSERT_EQ(stat(sorted.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0440u);
    EXPECT_TRUE(temporaries(folder).empty());
}

// Ctrl-C, kill and a hang-up in the middle of writing detail files: the
// unfinished files go, and the shell learns which signal ended the run.
TEST_F(OutputFilesTest, AnInterruptRemovesTheUnfinishedFiles) {
    for (const int sig : {SIGINT, SIGTERM, SIGHUP}) {
        TempFolder out("output_files_interrupt");
        const std::string err = scratch.file("interrupt.err");
        const std::string dir = out.path().string();
        const std::string files[3] = {kExamples + "/r0-18C.txt", kExamples + "/r0-24C.txt", kExamples + "/r0-30C.txt"};
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            const int fd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(fd, STDOUT_FILENO);
            dup2(fd, STDERR_FILENO);
            for (int s : {SIGINT, SIGTERM, SIGHUP}) signal(s, SIG_DFL);
            execl(LUMERA_CLI_PATH, "lumera-cli", "cartesian", "--detail", "--dir", dir.c_str(), files[0].c_str(),
                  files[1].c_str(), files[2].c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (temporaries(out).empty() && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        EXPECT_FALSE(temporaries(out).empty()) << "no detail file was begun";
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        kill(pid, sig);
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << "signal " << sig << ", status " << status;
        EXPECT_TRUE(temporaries(out).empty()) << "signal " << sig << ": " << temporaries(out).front();
        EXPECT_NE(readFile(err).find("lumera-cli: stopped by "), std::string::npos) << readFile(err);
    }
}

// A full disk (a file size limit) is a message naming the file and exit 1,
// not a death by SIGXFSZ with the temporaries left.
TEST_F(OutputFilesTest, AFullDiskIsAMessage) {
    const ShellRun run = runShell(
        "ulimit -f 1000; exec " + cliPath() + " cartesian --detail --dir " + shellQuoted(folder.path().string()) + " " +
            shellQuoted(kExamples + "/r0-18C.txt") + " " + shellQuoted(kExamples + "/r0-24C.txt"),
        scratch);
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_NE(run.err.find("Cannot write the file:\n" + folder.file("25A-Cartesian diff_")), std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find(std::strerror(EFBIG)), std::string::npos) << run.err;
    EXPECT_TRUE(temporaries(folder).empty());
}

// The report stands when the charts after it fail: its name is printed and
// the message names the step that failed; so for compare's CSV.
TEST_F(OutputFilesTest, AFailedChartStepStillNamesTheWrittenFiles) {
    const fs::path plots = folder.path() / "plots";
    fs::create_directories(plots / "pair-1-2.csv");  // no file can take this name
    ShellRun run = cli("cartesian --dir " + shellQuoted(folder.path().string()) + " --plot " +
                       shellQuoted(plots.string()) + " " + ab());
    EXPECT_EQ(run.exitCode, 1) << run.err;
    ASSERT_FALSE(run.out.empty()) << run.err;
    EXPECT_EQ(run.out.rfind(folder.file("25A-Cartesian diff results-B_"), 0), 0u) << run.out;
    EXPECT_TRUE(fs::is_regular_file(run.out.substr(0, run.out.size() - 1))) << run.out;
    EXPECT_NE(run.err.find("Pair charts: Cannot create the file:\n" + (plots / "pair-1-2.csv").string()),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("the pair charts (--plot) failed; the report above is written"), std::string::npos)
        << run.err;

    const std::string csv = folder.file("compare.csv");
    run = cli("compare --csv " + shellQuoted(csv) + " --plot " + shellQuoted(plots.string()) + " " + ab());
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_NE(run.err.find("the pair charts (--plot) failed; the CSV " + csv + " is written"), std::string::npos)
        << run.err;
    EXPECT_TRUE(fs::is_regular_file(csv));
}

}  // namespace
}  // namespace lumera::test
