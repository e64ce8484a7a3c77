// lumera-cli as a Unix tool: help and version, one meaning for each exit
// code, "-" and "--", and what it prints checked as it is written.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>

#include "cli/cli_app.h"
#include "cli/cli_args.h"
#include "sorting/sort_and_count.h"
#include "support/cli_run.h"
#include "support/shell_run.h"
#include "support/treatment_files.h"

namespace lumera::cli {
namespace {

namespace fs = std::filesystem;
using test::TempFolder;

std::string write(const TempFolder& folder, const std::string& name, const std::string& text) {
    std::ofstream(folder.file(name), std::ios::binary) << text;
    return folder.file(name);
}

const char* const kDays = "\"Pest study\",\"x\",\"Duration\"\r\n5\r\n3\r\n4\r\n3\r\n6\r\n-1\r\n";

using test::cli;
using test::CliRun;

class ConventionsTest : public ::testing::Test {
protected:
    ConventionsTest() : folder("conventions"), scratch("conventions_scratch") {
        a = test::writeTreatment(folder.file("a.txt"), {.name = "Warm", .code = "A", .replicates = {3, 4, 5, 6}});
        b = test::writeTreatment(folder.file("b.txt"), {.name = "Cool", .code = "B", .replicates = {1, 2, 3}});
        data = write(folder, "days.txt", kDays);
    }
    TempFolder folder, scratch;
    std::string a, b, data;
};

// Every command, every kind of fault: exit 2, the usage on stderr, nothing
// on stdout, and the same code when the line stands in a script. The files
// exist, so that the command line is the only fault.
TEST_F(ConventionsTest, WrongCommandLinesExitTwoForEveryCommand) {
    const std::string dir = folder.path().string();
    const std::vector<std::vector<std::string>> wrong = {
        // unknown option
        {"cartesian", "--colour", a, b},
        {"sort", "--bogus", data},
        {"normality", "--csv", "x", data},
        {"compare", "--letters", a, b},
        {"script", "--dry", data},
        {"lifetable", "--csv", a},
        {"--verbose"},
        // missing value
        {"cartesian", a, b, "--code"},
        {"sort", data, "--kind"},
        {"normality", data, "--decimals"},
        {"compare", a, b, "--alpha"},
        {"compare", a, b, "--csv"},
        {"lifetable", a, "--tables"},
        {"lifetable", a, "--plot"},
        {"lifetable", "--tables", dir, "--tables", dir, a},
        // wrong number of files
        {"cartesian", a},
        {"cartesian", a, b, a, b},
        {"cartesian"},
        {"sort"},
        {"sort", data, data},
        {"normality"},
        {"normality", data, data},
        {"compare", a},
        {"script"},
        {"script", data, data},
        {"compare", "-", "-"},
        {"lifetable"},
        {"lifetable", "--json", "--tables", dir},
        {"lifetable", "-", "-"},
        // value outside its range
        {"cartesian", "--transform", "3", a, b},
        {"compare", "--alpha", "2", a, b},
        {"compare", "--alpha", "0", a, b},
        {"normality", "--decimals", "9", data},
        {"sort", "--kind", "other", data},
        // --decimals: a whole number from -1 to 5, nothing else
        {"sort", "--decimals", "abc", data},
        {"sort", "--decimals", "", data},
        {"sort", "--decimals", "2.5", data},
        {"sort", "--decimals", "-2", data},
        {"sort", "--decimals", "6", data},
        {"normality", "--decimals", "1e0", data},
        {"normality", "--decimals", " 2", data},
        // one format on stdout
        {"compare", "--csv", "-", "--json", a, b},
        // bootstrap and compare --cohorts
        {"bootstrap"},
        {"bootstrap", "--frobnicate", data},
        {"bootstrap", data, "--dir"},
        {"bootstrap", "--replicates", "1", data},
        {"bootstrap", "--replicates", "2.5", data},
        {"bootstrap", "--replicates", "", data},
        {"bootstrap", "--seed", "18446744073709551616", data},
        {"bootstrap", "--seed", "-1", data},
        {"bootstrap", "--threads", "0", data},
        {"bootstrap", "--threads", "257", data},
        {"bootstrap", "--statistics", "r,bogus", data},
        {"bootstrap", "--statistics", "r,,R0", data},
        {"bootstrap", "--statistics", "duration-", data},
        {"bootstrap", "-", "-"},
        {"compare", "--statistic", "r", a, b},
        {"compare", "--seed", "3", a, b},
        {"compare", "--cohorts", a, b},
        {"compare", "--cohorts", "--statistic", "r", "--replicates", "1", a, b},
        {"compare", "--cohorts", "--statistic", "rr", a, b},
        {"compare", "--cohorts", "--statistic", "r", a},
        // help and version take nothing else
        {"help", "summarise"},
        {"help", "sort", "compare"},
        {"--version", "sort"},
        {"--help", "x"},
    };
    for (const auto& words : wrong) {
        std::string shown;
        for (const std::string& w : words) shown += "[" + w + "]";
        const CliRun run = cli(words);
        EXPECT_EQ(run.code, 2) << shown << "\n" << run.err;
        EXPECT_NE(run.err.find("usage: lumera-cli cartesian"), std::string::npos) << shown;
        EXPECT_EQ(run.out, "") << shown;

        std::string line;
        for (const std::string& w : words) line += "'" + w + "' ";
        write(scratch, "wrong.txt", "sort --decimals 1 '" + data + "'\n" + line + "\n");
        const CliRun script = cli({"script", scratch.file("wrong.txt")});
        EXPECT_EQ(script.code, 2) << "script: " << shown << "\n" << script.err;
        EXPECT_NE(script.err.find(", line 2: "), std::string::npos) << script.err;
    }
    // Values in range, and the window's own default.
    for (const char* d : {"-1", "0", "5"}) EXPECT_EQ(cli({"normality", "--decimals", d, data}).code, 0) << d;
    EXPECT_EQ(parseCommand({"sort", "--decimals=2", data}).sort.decimals, "2");
}

TEST_F(ConventionsTest, HelpForEveryCommandAndTheVersion) {
    for (const std::vector<std::string>& words :
         std::vector<std::vector<std::string>>{{"--help"}, {"-h"}, {"help"}, {"help", "help"}}) {
        const CliRun run = cli(words);
        EXPECT_EQ(run.code, 0);
        EXPECT_EQ(run.out, kHelp);
        EXPECT_EQ(run.err, "");
    }
    for (const std::string command :
         {"cartesian", "sort", "normality", "compare", "bootstrap", "lifetable", "script"}) {
        SCOPED_TRACE(command);
        const std::string help = commandHelp(command);
        EXPECT_EQ(help.rfind("usage: lumera-cli " + command + " ", 0), 0u) << help;
        EXPECT_NE(help.find("Exit status: 0 "), std::string::npos);
        EXPECT_NE(help.find("Output"), std::string::npos);
        EXPECT_NE(help.find(command == "lifetable" ? "COHORT" : "FILE"), std::string::npos);
        EXPECT_NE(help.find("standard input"), std::string::npos);
        // Its usage line is the one of the overview.
        EXPECT_NE(std::string(kUsage).find(help.substr(7, help.find('\n') - 6)), std::string::npos);
        for (const std::string& option : commandOptions(command))
            EXPECT_NE(help.find(option), std::string::npos) << option;
        const std::vector<std::vector<std::string>> asks = {{"help", command},
                                                            {command, "--help"},
                                                            {command, "-h"},
                                                            {command, "--help", "x", "y", "z", "w"},
                                                            {command, "x", "-h"}};
        for (const auto& words : asks) {
            const CliRun run = cli(words);
            EXPECT_EQ(run.code, 0) << words.back();
            EXPECT_EQ(run.out, help);
            EXPECT_EQ(run.err, "");
        }
    }
    EXPECT_EQ(commandOptions("cartesian").size(), 7u);

    // One line; the same version as the JSON documents carry.
    const CliRun version = cli({"--version"});
    EXPECT_EQ(version.code, 0);
    EXPECT_TRUE(std::regex_match(version.out, std::regex("lumera-cli [0-9]+\\.[0-9]+(\\.[0-9]+)*\n"))) << version.out;
    const std::string number = version.out.substr(11, version.out.size() - 12);
    const CliRun compare = cli({"compare", "--json", a, b});
    ASSERT_EQ(compare.code, 0) << compare.err;
    EXPECT_EQ(nlohmann::json::parse(compare.out)["program_version"], number);
    const CliRun normality = cli({"normality", "--json", data});
    ASSERT_EQ(normality.code, 0) << normality.err;
    EXPECT_EQ(nlohmann::json::parse(normality.out)["program_version"], number);
    // And the real program prints the same.
    const test::ShellRun real = test::runShell(test::cliPath() + " --version", scratch);
    EXPECT_EQ(real.exitCode, 0);
    EXPECT_EQ(real.out, version.out);
}

// "-" is standard input for every file; --csv - prints the rows instead of
// the tables.
TEST_F(ConventionsTest, DashIsStandardInputAndCsvDashIsStdout) {
    using test::shellQuoted;
    const std::string cliPath = test::cliPath();
    auto shell = [&](const std::string& script) { return test::runShell(script, scratch); };

    const CliRun csvFile = cli({"compare", "--csv", folder.file("pairs.csv"), a, b});
    ASSERT_EQ(csvFile.code, 0) << csvFile.err;
    test::ShellRun run = shell(cliPath + " compare --csv - " + shellQuoted(a) + " - < " + shellQuoted(b));
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, test::readFile(folder.file("pairs.csv")));

    run = shell("cat " + shellQuoted(data) + " | " + cliPath + " normality -");
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, cli({"normality", data}).out);

    // Standard input redirected from a file has no folder of its own either.
    run = shell("cd " + shellQuoted(scratch.path().string()) + " && " + cliPath + " sort - < " + shellQuoted(data));
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out.rfind(scratch.file("pipe-2_Sorted.txt") + "\n", 0), 0u) << run.out;
    EXPECT_TRUE(fs::exists(scratch.file("pipe-3_Sorted and counts.txt")));

    run = shell("printf '%s\\n' '# from stdin' '--version' | " + cliPath + " script -");
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, cli({"--version"}).out);

    run = shell(cliPath + " cartesian --dir " + shellQuoted(folder.path().string()) + " " + shellQuoted(a) + " - < " +
                shellQuoted(b));
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(test::readFile(run.out.substr(0, run.out.size() - 1)).find("Warm"), std::string::npos);
}

// "--" ends the options of every command, so names that look like options
// can be read.
TEST_F(ConventionsTest, DoubleDashEndsTheOptions) {
    const std::string oddA = folder.file("--a.txt"), oddB = folder.file("--b.txt");
    fs::copy_file(a, oddA);
    fs::copy_file(b, oddB);
    const std::string oddData = write(folder, "--days.txt", kDays);
    const std::string script = write(folder, "--run.txt", "--version\n");
    // Names relative to the folder, so that they start with "--".
    const fs::path here = fs::current_path();
    fs::current_path(folder.path());
    const std::vector<std::vector<std::string>> lines = {
        {"sort", "--kind", "general", "--", "--days.txt"},
        {"normality", "--json", "--", "--days.txt"},
        {"compare", "--sidak", "--", "--a.txt", "--b.txt"},
        {"cartesian", "--code", "dd", "--", "--a.txt", "--b.txt"},
        {"script", "--", "--run.txt"},
    };
    for (const auto& words : lines) {
        const CliRun run = cli(words);
        EXPECT_EQ(run.code, 0) << words[0] << "\n" << run.err;
        EXPECT_NE(run.out, "") << words[0];
    }
    EXPECT_TRUE(fs::exists("--days-2_Sorted.txt"));
    EXPECT_EQ(cli({"sort", "--days.txt"}).code, 2);  // without "--" it is an option
    fs::current_path(here);
}

// The stem drops an extension of a dot and three characters, nothing else:
// the outputs stay in the data file's folder and two files never share them.
TEST_F(ConventionsTest, SortOutputNamesKeepTheirFolderAndStem) {
    const struct {
        std::string path, stem;
    } stems[] = {
        {"/d/sub/ab", "/d/sub/ab"},
        {"/d/sub/run1", "/d/sub/run1"},
        {"/d/x.txt", "/d/x"},
        {"/d/x.csv", "/d/x"},
        {"/d/x.dat", "/d/x"},
        {"/d/a./bc", "/d/a./bc"},
        {"/d/v1.data", "/d/v1.data"},
        {"/d/.txt", "/d/"},
        {"abc", "abc"},
        {"/d/a.b/cde", "/d/a.b/cde"},
        {"/d/sub/x.", "/d/sub/x."},
        {"/d/sub/r.tx", "/d/sub/r.tx"},
    };
    for (const auto& s : stems) EXPECT_EQ(sortFileStem(s.path), s.stem) << s.path;

    fs::create_directory(folder.path() / "sub");
    const std::string run1 = write(folder, "sub/run1", kDays),
                      run2 = write(folder, "sub/run2", "\"P\",\"x\",\"V\"\n9\n-1\n");
    const std::string ab = write(folder, "sub/ab", kDays);
    for (const std::string& file : {run1, run2, ab}) {
        const CliRun run = cli({"sort", file});
        ASSERT_EQ(run.code, 0) << run.err;
        EXPECT_EQ(run.out.rfind(file + "-2_Sorted.txt\n", 0), 0u) << run.out;
        EXPECT_TRUE(fs::exists(file + "-3_Sorted and counts.txt")) << file;
    }
    // The second run did not replace the first one's files.
    EXPECT_NE(test::readFile(run1 + "-2_Sorted.txt").find("\"Sample mean = \",4.2\r\n"), std::string::npos);
    EXPECT_NE(test::readFile(run2 + "-2_Sorted.txt").find("\"Sample mean = \",9\r\n"), std::string::npos);
    EXPECT_EQ(cli({"sort", folder.file("days.txt")}).out.rfind(folder.file("days-2_Sorted.txt") + "\n", 0), 0u);
}

// A line end or an escape in a file's name is shown escaped where a path is
// printed; the files keep the exact name, and so does the JSON.
TEST_F(ConventionsTest, PrintedPathsEscapeControlCharacters) {
    const std::string odd = write(folder, "da\nta\x1B[2J.txt", kDays);
    CliRun run = cli({"sort", odd});
    ASSERT_EQ(run.code, 0) << run.err;
    const std::string shown = folder.file("da\\nta\\x1B[2J");
    EXPECT_EQ(run.out, shown + "-2_Sorted.txt\n" + shown + "-1_0.025, 0.5 and 0.975 Duration.txt\n" + shown +
                           "-3_Sorted and counts.txt\n");
    EXPECT_TRUE(fs::exists(folder.file("da\nta\x1B[2J-2_Sorted.txt")));

    fs::create_directory(folder.path() / "out\tdir");
    run = cli({"cartesian", "--dir", folder.file("out\tdir"), a, b});
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.out.rfind(folder.file("out\\tdir") + "/", 0), 0u) << run.out;
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\t'), 0);

    const std::string oddA = folder.file("w\narm.txt");
    fs::copy_file(a, oddA);
    run = cli({"compare", "--json", oddA, b});
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(nlohmann::json::parse(run.out)["treatments"][0]["file"], oddA);

    // The messages that repeat a word of the command line, too.
    run = cli({"sort", "--bo\x1B[2Jgus", data});
    EXPECT_EQ(run.code, 2);
    EXPECT_NE(run.err.find("unknown option --bo\\x1B[2Jgus\n"), std::string::npos) << run.err;
    run = cli({"cartesian", "--dir", folder.file("no\nsuch"), a, b});
    EXPECT_EQ(run.code, 1);
    EXPECT_EQ(run.err, "lumera-cli: cartesian: the folder " + folder.file("no\\nsuch") + " does not exist\n");
}

// The script's lines have the data files' limit, and a read that fails is
// an error: neither is the end of a script that ran well.
TEST_F(ConventionsTest, ScriptLinesHaveALimitAndReadErrorsAreErrors) {
    const std::string longest = "#" + std::string(65535, 'x');
    write(scratch, "fits.txt", "--version\r\n" + longest + "\r\n--version\n");
    CliRun run = cli({"script", scratch.file("fits.txt")});
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.out, cli({"--version"}).out + cli({"--version"}).out);

    write(scratch, "long.txt", "--version\n" + longest + "y\n--version\n");
    run = cli({"script", scratch.file("long.txt")});
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("long.txt, line 2 is too long (more than 65536 characters)"), std::string::npos) << run.err;
    EXPECT_EQ(run.out, cli({"--version"}).out);  // the first line ran, the third did not

    // Reading this file fails (nothing is mapped at address 0).
    run = cli({"script", "/proc/self/mem"});
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("cannot read the script /proc/self/mem after line 0: "), std::string::npos) << run.err;

    // NUL bytes without a line end through a named pipe: a message, soon.
    const std::string fifo = scratch.file("zeros");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const test::ShellRun nul = test::runShell("yes '' | head -c 4000000 | tr '\\n' '\\0' > " + test::shellQuoted(fifo) +
                                                  " & writer=$!; timeout -s KILL 60 " + test::cliPath() + " script " +
                                                  test::shellQuoted(fifo) + "; code=$?; kill $writer 2>&1; exit $code",
                                              scratch);
    EXPECT_EQ(nul.exitCode, 1) << nul.err;
    EXPECT_NE(nul.err.find("zeros, line 1 is too long"), std::string::npos) << nul.err;
}

// A child's standard output that fails: its read end closed, or a file
// past the file-size limit. stderr comes back through a pipe.
CliRun runWithFailingStdout(const std::vector<std::string>& args, rlim_t fileSizeLimit, const std::string& outFile) {
    int out[2], err[2];
    if (pipe(out) != 0 || pipe(err) != 0) return {-1, "", "pipe failed"};
    std::vector<std::string> words = {LUMERA_CLI_PATH};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    const int file = outFile.empty() ? -1 : open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    close(out[0]);  // nobody will read
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(file >= 0 ? file : out[1], STDOUT_FILENO);
        dup2(err[1], STDERR_FILENO);
        close(err[0]);
        // As a shell script would have it: no signal, only the failed write.
        signal(SIGPIPE, SIG_IGN);
        signal(SIGXFSZ, SIG_IGN);
        if (fileSizeLimit != RLIM_INFINITY) {
            rlimit limit{fileSizeLimit, fileSizeLimit};
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(out[1]);
    close(err[1]);
    if (file >= 0) close(file);
    CliRun run{-1, "", ""};
    char buf[4096];
    for (ssize_t n; (n = read(err[0], buf, sizeof buf)) > 0;) run.err.append(buf, static_cast<std::size_t>(n));
    close(err[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    run.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return run;
}

TEST_F(ConventionsTest, AFailedWriteOnStdoutIsAnErrorForEveryCommand) {
    const std::string script = write(folder, "run.txt", "--version\nsort --help\n");
    const std::string cohort = write(folder, "cohort.csv", "id,sex,egg,adult,d1\n1,F,2,3,4\n");
    const std::vector<std::vector<std::string>> commands = {
        {"--help"},
        {"--version"},
        {"help", "compare"},
        {"sort", "--help"},
        {"compare", a, b},
        {"compare", "--json", a, b},
        {"compare", "--csv", "-", a, b},
        {"normality", data},
        {"normality", "--json", data},
        {"sort", data},
        {"cartesian", "--dir", folder.path().string(), a, b},
        {"lifetable", cohort},
        {"lifetable", "--json", cohort},
        {"script", script},
        {"bootstrap", "--replicates", "10", "--dir", scratch.path().string(),
         write(folder, "cohort.csv", "id,sex,egg,adult,d1\n1,F,2,3,4\n2,M,2,2\n")},
    };
    for (const auto& words : commands) {
        const CliRun run = runWithFailingStdout(words, RLIM_INFINITY, "");
        EXPECT_EQ(run.code, 1) << words[0] << " " << words.back() << "\n" << run.err;
        EXPECT_NE(run.err.find("lumera-cli: write error: standard output: "), std::string::npos) << run.err;
    }
    // A full disk: the JSON is cut at the limit, and that is no success.
    const std::string json = scratch.file("r.json");
    const CliRun full = runWithFailingStdout({"compare", "--json", a, b}, 512, json);
    EXPECT_EQ(full.code, 1) << full.err;
    EXPECT_NE(full.err.find("write error: standard output: File too large"), std::string::npos) << full.err;
    EXPECT_LE(fs::file_size(json), 512u);
    // A command that fails keeps its own code.
    EXPECT_EQ(runWithFailingStdout({"sort", "--bogus", data}, RLIM_INFINITY, "").code, 2);
}

}  // namespace
}  // namespace lumera::cli
