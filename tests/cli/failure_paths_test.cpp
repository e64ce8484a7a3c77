// lumera-cli as a user meets it, in real processes: whatever goes wrong ends
// with a message and exit 1, never an abort, and never costs a file.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/shell_run.h"
#include "support/treatment_files.h"

namespace lumera::test {
namespace {

namespace fs = std::filesystem;

std::vector<double> spread(int count, double from, double step) {
    std::vector<double> v(static_cast<std::size_t>(count));
    for (int k = 0; k < count; ++k) v[static_cast<std::size_t>(k)] = from + step * (k % 97) + 1e-3 * k;
    return v;
}

class FailurePathsTest : public ::testing::Test {
protected:
    FailurePathsTest() : folder("failure_paths"), scratch("failure_paths_scratch") {
        a = writeTreatment(folder.file("a.txt"), {.name = "Warm", .code = "A", .replicates = {3, 4, 5, 6}});
        b = writeTreatment(folder.file("b.txt"), {.name = "Cool", .code = "B", .replicates = {1, 2, 3}});
    }
    // A run that does not stop by itself is a failure, not a hung test.
    ShellRun cli(const std::string& arguments) {
        return runShell("timeout -s KILL 60 " + cliPath() + " " + arguments, scratch);
    }
    std::vector<std::string> resultFiles(const fs::path& in) {
        std::vector<std::string> found;
        for (const auto& e : fs::directory_iterator(in))
            if (e.path().filename().string().find(" results-") != std::string::npos)
                found.push_back(e.path().filename().string());
        return found;
    }

    TempFolder folder, scratch;
    std::string a, b;
};

TEST_F(FailurePathsTest, BadInputEndsWithAMessageNeverAnAbort) {
    fs::create_directory_symlink("loop", folder.path() / "loop");
    const std::string longCode = std::string(240, 'c');
    writeTreatment(folder.file("long.txt"), {.code = longCode, .replicates = {3, 4, 5}});
    struct Case {
        std::string arguments;
        std::string message;
    };
    const std::string dir = " --dir " + shellQuoted(folder.path().string()) + " ";
    const std::vector<Case> cases = {
        {"cartesian" + dir + shellQuoted(a) + " " + shellQuoted(folder.path().string()), "is a folder"},
        {"sort " + shellQuoted(folder.path().string()), "is a folder"},
        {"script " + shellQuoted(folder.path().string()), "is a folder"},
        {"cartesian --dir " + shellQuoted(folder.file("loop/out")) + " " + shellQuoted(a) + " " + shellQuoted(b),
         "cannot reach the folder"},
        // A field without end through a pipe: stopped at its cap.
        {"sort <(yes 1 | tr -d '\\n')", "line 1, field 1: the field is too long"},
        {"cartesian --code 'x/y'" + dir + shellQuoted(a) + " " + shellQuoted(b),
         "cannot be part of the report's file name"},
        // The detail file's name is too long for the file system: the error
        // box shares nothing with the question about detail files.
        {"cartesian --detail" + dir + shellQuoted(folder.file("long.txt")) + " " + shellQuoted(b),
         "Detail difference files: Cannot create the file:"},
    };
    for (const Case& c : cases) {
        const ShellRun run = cli(c.arguments);
        EXPECT_EQ(run.exitCode, 1) << c.arguments << "\n" << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << c.arguments << "\n" << run.err;
        EXPECT_TRUE(run.out.empty()) << run.out;
    }
    EXPECT_TRUE(resultFiles(folder.path()).empty());
}

// Data through a pipe: read as a file is, and the results go to the
// current folder, never to the pipe's own (/dev/fd).
TEST_F(FailurePathsTest, ASortOfAPipeWritesIntoTheCurrentFolder) {
    const ShellRun run = runShell("cd " + shellQuoted(folder.path().string()) + " && " + cliPath() +
                                      " sort <(printf '\"P\",\"x\",\"V\"\\n3\\n1\\n2\\n')",
                                  scratch);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::string stem = folder.file("pipe");
    EXPECT_EQ(run.out, stem + "-2_Sorted.txt\n" + stem + "-1_0.025, 0.5 and 0.975 V.txt\n" + stem +
                           "-3_Sorted and counts.txt\n");
    EXPECT_NE(readFile(stem + "-2_Sorted.txt").find("\r\n3,1,3\r\n"), std::string::npos);
}

// A deleted current folder: absolute names still work, and a relative one
// is a message.
TEST_F(FailurePathsTest, ADeletedCurrentFolder) {
    const fs::path gone = scratch.path() / "gone";
    const std::string enterAndDelete = "mkdir " + shellQuoted(gone.string()) + " && cd " + shellQuoted(gone.string()) +
                                       " && rmdir " + shellQuoted(gone.string()) + " && ";
    ShellRun run = runShell(enterAndDelete + cliPath() + " cartesian --dir " + shellQuoted(folder.path().string()) +
                                " " + shellQuoted(a) + " " + shellQuoted(b),
                            scratch);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(resultFiles(folder.path()).size(), 1u);

    run = runShell(enterAndDelete + cliPath() + " cartesian " + shellQuoted(a) + " " + shellQuoted(b), scratch);
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_NE(run.err.find("Comparison report: Cannot "), std::string::npos) << run.err;
}

// Two runs with the same treatment codes write detail files into one folder
// at the same time: every file is one run's complete file, and neither
// run's report replaces the other's.
TEST_F(FailurePathsTest, ConcurrentDetailRunsNeverMix) {
    struct Run {
        std::string first, second;
        std::vector<std::string> alone;  // its detail files, written alone
    };
    std::vector<Run> runs(2);
    for (int r = 0; r < 2; ++r) {
        const int count = r == 0 ? 520 : 430;
        runs[r].first = writeTreatment(scratch.file("first" + std::to_string(r) + ".txt"),
                                       {.code = "P", .replicates = spread(count, 10 + r, 0.01)});
        runs[r].second = writeTreatment(scratch.file("second" + std::to_string(r) + ".txt"),
                                        {.code = "Q", .replicates = spread(count, 9, 0.013)});
        TempFolder alone("failure_paths_alone" + std::to_string(r));
        const ShellRun run = cli("cartesian --detail --dir " + shellQuoted(alone.path().string()) + " " +
                                 shellQuoted(runs[r].first) + " " + shellQuoted(runs[r].second));
        ASSERT_EQ(run.exitCode, 0) << run.err;
        for (const std::string& name : alone.names())
            if (name.find("_diff") != std::string::npos) runs[r].alone.push_back(readFile(alone.file(name)));
        ASSERT_EQ(runs[r].alone.size(), 6u);
    }
    std::string both;
    for (int r = 0; r < 2; ++r)
        both += cliPath() + " cartesian --detail --dir " + shellQuoted(folder.path().string()) + " " +
                shellQuoted(runs[r].first) + " " + shellQuoted(runs[r].second) + " & p" + std::to_string(r) + "=$!\n";
    both += "wait $p0 || exit 1\nwait $p1 || exit 1\n";
    const ShellRun run = runShell(both, scratch);
    ASSERT_EQ(run.exitCode, 0) << run.err;

    std::vector<std::string> detail;
    for (const std::string& name : folder.names()) {
        EXPECT_EQ(name.find(".lumera-"), std::string::npos) << name;
        if (name.find("_diff") != std::string::npos) detail.push_back(readFile(folder.file(name)));
    }
    ASSERT_EQ(detail.size(), 6u);
    for (std::size_t k = 0; k < 6; ++k)
        EXPECT_TRUE(detail[k] == runs[0].alone[k] || detail[k] == runs[1].alone[k]) << "detail file " << k;
    EXPECT_EQ(resultFiles(folder.path()).size(), 2u);
}

#if !defined(__SANITIZE_ADDRESS__)
// An endless stream of good numbers: the memory runs out, and that is a
// message too. (A sanitizer reserves more address space than the cap.)
TEST_F(FailurePathsTest, RunningOutOfMemoryIsAMessage) {
    const ShellRun run = runShell("ulimit -v 100000; exec " + cliPath() + " sort <(yes 1)", scratch);
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_NE(run.err.find("Not enough memory: "), std::string::npos) << run.err;
}
#endif

}  // namespace
}  // namespace lumera::test
