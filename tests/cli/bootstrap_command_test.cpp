#include "cli/bootstrap_command.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli_app.h"
#include "support/cli_run.h"
#include "support/shell_run.h"
#include "support/treatment_files.h"
#include "textio/cohort_reader.h"

namespace lumera::cli {
namespace {

namespace fs = std::filesystem;
using test::readFile;
using test::TempFolder;

using test::cli;
using test::CliRun;

// Three females with different eggs, two males, an N.
const char* const kWarm =
    "id,sex,egg,larva,adult,d1,d2,d3,d4\n"
    "1,F,2,3,4,0,4,2,1\n"
    "2,F,2,2,3,3,1\n"
    "3,M,2,3,4\n"
    "4,N,2,1\n"
    "5,F,3,2,4,7,0,5\n"
    "6,M,3,3,2\n";
// Fewer eggs: r near zero, some replicates below.
const char* const kCool =
    "id,sex,egg,larva,adult,d1,d2,d3\n"
    "1,F,3,4,3,0,1,1\n"
    "2,F,3,3,3,0,0,2\n"
    "3,M,3,4,5\n"
    "4,N,3,2\n"
    "5,N,2\n";
// No male at all.
const char* const kNoMales =
    "id,sex,egg,larva,adult,d1,d2\n"
    "1,F,2,3,3,0,4\n"
    "2,F,2,2,2,3,1\n"
    "3,N,2,1\n";

std::string write(const TempFolder& folder, const std::string& name, const std::string& text) {
    std::ofstream(folder.file(name), std::ios::binary) << text;
    return folder.file(name);
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        out.push_back(text.substr(start, end - start));
    EXPECT_EQ(start, text.size()) << "every line ends in CR LF";
    return out;
}

class BootstrapCommandTest : public ::testing::Test {
protected:
    BootstrapCommandTest() : folder("bootstrap_cli"), out("bootstrap_cli_out") {
        warm = write(folder, "warm.csv", kWarm);
        cool = write(folder, "cool.csv", kCool);
        noMales = write(folder, "nomales.csv", kNoMales);
    }
    TempFolder folder, out;
    std::string warm, cool, noMales;
};

TEST_F(BootstrapCommandTest, FilesInTheTreatmentFormat) {
    const CliRun run =
        cli({"bootstrap", "--replicates", "20", "--seed", "3", "--dir", out.path().string(), warm, cool});
    ASSERT_EQ(run.code, 0) << run.err;
    // Every statistic of both cohorts: the five parameters, two durations, 14 more.
    EXPECT_EQ(out.names().size(), 2u * 21u);
    const std::vector<std::string> r = lines(readFile(out.file("warm-r.txt")));
    // Replicates that drew no eggs have no r: W = lines - 2.
    ASSERT_GE(r.size(), 12u);
    EXPECT_EQ(r.back(), "-1");
    // The estimate by hand: eggs at ages 6..8 of female 1 (4, 2, 1 from age 6),
    // female 2 at 4, 5 (3, 1), female 5 at 5, 7 (7, 5), n = 6: checked by
    // the Euler-Lotka sum being 1 at the written r.
    const std::string prefix = "\"warm\",\"r\",6,\"seed 3\"," + std::to_string(r.size() - 2) + ",\"warm\",6,";
    ASSERT_EQ(r[0].rfind(prefix, 0), 0u) << r[0];
    const double estimate = std::stod(r[0].substr(prefix.size()));
    const double eggs[] = {0, 0, 0, 0, 3, 1 + 7, 4, 2 + 5, 1};
    double sum = 0;
    for (int x = 0; x < 9; ++x) sum += std::exp(-estimate * (x + 1)) * eggs[x] / 6;
    EXPECT_NEAR(sum, 1, 1e-12);
    // The second cohort has the next seed; R0's file holds the eggs over n
    // of each replicate's rows, drawn here by hand.
    const std::vector<std::string> R0 = lines(readFile(out.file("cool-R0.txt")));
    ASSERT_EQ(R0.size(), 22u);
    EXPECT_EQ(R0[0], "\"cool\",\"R0\",5,\"seed 4\",20,\"cool\",5,0.8");
    const double coolEggs[] = {2, 2, 0, 0, 0};
    std::mt19937_64 generator(4);
    for (int b = 1; b <= 20; ++b) {
        double total = 0;
        for (int i = 0; i < 5; ++i) {
            // floor(u 5 / 2^64) from 32-bit halves.
            const std::uint64_t u = generator(), low = (u & 0xffffffffu) * 5, high = (u >> 32) * 5;
            total += coolEggs[(high + (low >> 32)) >> 32];
        }
        EXPECT_NEAR(std::stod(R0[b]), total / 5, 1e-12) << "replicate " << b;
        // Written in the shortest form that reads back.
        EXPECT_EQ(R0[b].find("e"), std::string::npos);
    }
}

TEST_F(BootstrapCommandTest, ThreadsSeedsAndBytes) {
    const TempFolder one("bootstrap_cli_1"), two("bootstrap_cli_2"), again("bootstrap_cli_3"), other("bootstrap_cli_4");
    const auto run = [&](const TempFolder& dir, const std::string& threads, const std::string& seed) {
        const CliRun r = cli({"bootstrap", "--replicates", "2001", "--seed", seed, "--threads", threads, "--dir",
                              dir.path().string(), warm, cool});
        EXPECT_EQ(r.code, 0) << r.err;
        // The summary names the folder.
        std::string summary = r.out;
        for (std::size_t at; (at = summary.find(dir.path().string())) != std::string::npos;)
            summary.replace(at, dir.path().string().size(), "DIR");
        return summary;
    };
    const std::string summary = run(one, "1", "17");
    EXPECT_EQ(run(two, "2", "17"), summary);
    EXPECT_EQ(run(again, "2", "17"), summary);
    run(other, "2", "18");
    ASSERT_EQ(one.names(), two.names());
    ASSERT_EQ(one.names(), other.names());
    int differing = 0;
    for (const std::string& name : one.names()) {
        EXPECT_EQ(readFile(one.file(name)), readFile(two.file(name))) << name;
        EXPECT_EQ(readFile(one.file(name)), readFile(again.file(name))) << name;
        differing += readFile(one.file(name)) != readFile(other.file(name));
    }
    // Every file differs, even where the values cannot vary (the cool
    // cohort's fecundity): the seed is in its header.
    EXPECT_EQ(differing, static_cast<int>(one.names().size()));
    EXPECT_NE(readFile(one.file("warm-r.txt")), readFile(other.file("warm-r.txt")));
    // Cohort 2 of seed 17 draws as cohort 1 of seed 18: the same cohort
    // under another name shows it.
    const std::string twin = write(folder, "twin.csv", kWarm);
    const TempFolder pair("bootstrap_cli_5");
    ASSERT_EQ(cli({"bootstrap", "--replicates", "2001", "--seed", "17", "--statistics", "r,R0", "--dir",
                   pair.path().string(), cool, twin})
                  .code,
              0);
    std::string a = readFile(pair.file("twin-r.txt")), b = readFile(other.file("warm-r.txt"));
    a = a.substr(a.find("\r\n")), b = b.substr(b.find("\r\n"));
    EXPECT_EQ(a, b);
}

// The JSON's mean and SE are those compare computes for the file, to the
// bit; the percentile points are the replicates at the Cartesian test's
// ranks, found here by sorting the file's values.
TEST_F(BootstrapCommandTest, JsonAgreesWithCompareAndTheSortedFile) {
    const CliRun run = cli({"bootstrap", "--json", "--replicates", "3000", "--seed", "5", "--dir", out.path().string(),
                            warm, cool, noMales});
    ASSERT_EQ(run.code, 0) << run.err;
    const nlohmann::json doc = nlohmann::json::parse(run.out);
    EXPECT_EQ(doc["format"], "lumera-bootstrap");
    EXPECT_EQ(doc["replicates"], 3000);
    EXPECT_EQ(doc["seed"], 5);
    ASSERT_EQ(doc["cohorts"].size(), 3u);
    EXPECT_EQ(doc["cohorts"][2]["seed"], 7);
    EXPECT_EQ(doc["cohorts"][1]["n"], 5);
    EXPECT_EQ(doc["cohorts"][0]["file"], warm);
    for (const auto& cohort : doc["cohorts"]) {
        for (const auto& [name, s] : cohort["statistics"].items()) {
            SCOPED_TRACE(cohort["name"].get<std::string>() + " " + name);
            EXPECT_EQ(s["written"].get<std::int64_t>() + s["left_out"].get<std::int64_t>(), 3000);
            if (s["file"].is_null()) {
                EXPECT_TRUE(s["mean"].is_null());
                continue;
            }
            const std::string file = s["file"];
            EXPECT_EQ(file, (out.path() / (cohort["name"].get<std::string>() + "-" + name + ".txt")).string());
            const std::vector<std::string> text = lines(readFile(file));
            ASSERT_EQ(text.back(), "-1");
            std::vector<double> values;
            for (std::size_t i = 1; i + 1 < text.size(); ++i) values.push_back(std::stod(text[i]));
            ASSERT_EQ(values.size(), s["written"].get<std::size_t>());
            std::sort(values.begin(), values.end());
            const double w = static_cast<double>(values.size());
            const auto lower = static_cast<std::size_t>(std::nearbyint(w * 0.025 + 0.5));
            const auto upper = static_cast<std::size_t>(std::nearbyint(w * 0.975 + 0.5));
            EXPECT_EQ(s["percentile_lower"].get<double>(), values[lower - 1]);
            EXPECT_EQ(s["percentile_upper"].get<double>(), values[upper - 1]);
            const CliRun compare = cli({"compare", "--json", file, file});
            ASSERT_EQ(compare.code, 0) << compare.err;
            const nlohmann::json c = nlohmann::json::parse(compare.out);
            EXPECT_EQ(s["mean"].get<double>(), c["treatments"][0]["mean"].get<double>());
            EXPECT_EQ(s["se"].get<double>(), c["treatments"][0]["se"].get<double>());
        }
    }
    // A cohort without males: no file of theirs, every replicate left out.
    const auto& male = doc["cohorts"][2]["statistics"]["longevity_male"];
    EXPECT_TRUE(male["file"].is_null());
    EXPECT_TRUE(male["estimate"].is_null());
    EXPECT_EQ(male["written"], 0);
    EXPECT_EQ(male["left_out"], 3000);
    EXPECT_EQ(male["left_out_reason"], "no male");
    EXPECT_FALSE(fs::exists(out.file("nomales-longevity_male.txt")));
    EXPECT_TRUE(doc["cohorts"][0]["statistics"]["longevity_all"]["left_out_reason"].is_null());
    // The summary says so too.
    const CliRun text = cli({"bootstrap", "--replicates", "50", "--dir", out.path().string(), noMales});
    EXPECT_NE(text.out.find("longevity_male: no file: the cohort itself has no value (no male)"), std::string::npos)
        << text.out;
    EXPECT_NE(text.out.find("longevity_male: 50 replicates left out (no male)"), std::string::npos);
}

// The Cartesian test reads the files (B = 3000, its limit) and prints the
// means the summary gives.
TEST_F(BootstrapCommandTest, CartesianReadsTheFilesAndGivesTheSameMeans) {
    const CliRun run = cli({"bootstrap", "--json", "--replicates", "3000", "--statistics", "R0", "--dir",
                            out.path().string(), warm, cool});
    ASSERT_EQ(run.code, 0) << run.err;
    const nlohmann::json doc = nlohmann::json::parse(run.out);
    const TempFolder report("bootstrap_cli_report");
    const CliRun cartesian =
        cli({"cartesian", "--dir", report.path().string(), out.file("warm-R0.txt"), out.file("cool-R0.txt")});
    ASSERT_EQ(cartesian.code, 0) << cartesian.err;
    ASSERT_EQ(report.names().size(), 1u);
    const std::string text = readFile(report.file(report.names()[0]));
    const std::size_t at = text.find("Bootstrap mean =");
    ASSERT_NE(at, std::string::npos);
    std::istringstream means(text.substr(at + 16, text.find('\n', at) - at - 16));
    double first = 0, second = 0;
    means >> first >> second;
    // Warm lays more: it comes first; the report prints 15 digits.
    const double warmMean = doc["cohorts"][0]["statistics"]["R0"]["mean"];
    const double coolMean = doc["cohorts"][1]["statistics"]["R0"]["mean"];
    EXPECT_NEAR(first, warmMean, 1e-14 * warmMean);
    EXPECT_NEAR(second, coolMean, 1e-14 * coolMean);
}

// compare --cohorts is bootstrap followed by compare of its files, to the bit.
TEST_F(BootstrapCommandTest, CompareCohortsIsBootstrapThenCompare) {
    for (const char* statistic : {"r", "R0", "duration-larva"}) {
        SCOPED_TRACE(statistic);
        ASSERT_EQ(cli({"bootstrap", "--replicates", "4000", "--seed", "21", "--statistics", statistic, "--dir",
                       out.path().string(), warm, cool})
                      .code,
                  0);
        const std::string fileA = out.file(std::string("warm-") + statistic + ".txt");
        const std::string fileB = out.file(std::string("cool-") + statistic + ".txt");
        const CliRun files = cli({"compare", "--json", "--sidak", "--alpha", "0.1", fileA, fileB});
        const CliRun cohorts = cli({"compare", "--cohorts", "--statistic", statistic, "--replicates", "4000", "--seed",
                                    "21", "--json", "--sidak", "--alpha", "0.1", warm, cool});
        ASSERT_EQ(files.code, 0) << files.err;
        ASSERT_EQ(cohorts.code, 0) << cohorts.err;
        nlohmann::json a = nlohmann::json::parse(files.out), b = nlohmann::json::parse(cohorts.out);
        const nlohmann::json boot = b["bootstrap"];
        EXPECT_EQ(boot["statistic"], statistic);
        EXPECT_EQ(boot["replicates"], 4000);
        EXPECT_EQ(boot["seed"], 21);
        ASSERT_EQ(boot["cohorts"].size(), 2u);
        EXPECT_EQ(boot["cohorts"][0]["name"], "warm");
        EXPECT_EQ(boot["cohorts"][1]["seed"], 22);
        EXPECT_EQ(boot["cohorts"][0]["written"].get<int>() + boot["cohorts"][0]["left_out"].get<int>(), 4000);
        // Only the files' names differ, and what names the inputs.
        b.erase("bootstrap");
        for (auto* doc : {&a, &b}) {
            for (auto& t : (*doc)["treatments"]) t.erase("file");
            doc->erase("command_line");
            doc->erase("inputs");
        }
        EXPECT_EQ(a, b);
        // The tables and the CSV rows, too.
        EXPECT_EQ(cli({"compare", fileA, fileB}).out, cli({"compare", "--cohorts", "--statistic", statistic,
                                                           "--replicates", "4000", "--seed", "21", warm, cool})
                                                          .out);
        EXPECT_EQ(cli({"compare", "--csv", "-", fileA, fileB}).out,
                  cli({"compare", "--cohorts", "--csv", "-", "--statistic", statistic, "--replicates", "4000", "--seed",
                       "21", warm, cool})
                      .out);
    }
    // r of the cool cohort: the replicates without eggs are left out.
    const CliRun r = cli({"compare", "--cohorts", "--statistic", "r", "--replicates", "500", "--json", warm, cool});
    const nlohmann::json boot = nlohmann::json::parse(r.out)["bootstrap"]["cohorts"][1];
    EXPECT_GT(boot["left_out"].get<int>(), 0);
    EXPECT_EQ(boot["left_out_reason"], "no eggs (R0 = 0)");
}

TEST_F(BootstrapCommandTest, RefusalsNameTheCohortAndLeaveNothing) {
    const CliRun male = cli({"compare", "--cohorts", "--statistic", "longevity_male", warm, noMales});
    EXPECT_EQ(male.code, 1);
    EXPECT_NE(male.err.find("Cohort nomales (" + noMales + ") cannot be compared by longevity_male"), std::string::npos)
        << male.err;
    EXPECT_NE(male.err.find("no male"), std::string::npos) << male.err;
    EXPECT_EQ(male.out, "");
    const CliRun stage =
        cli({"compare", "--cohorts", "--statistic", "duration-pupa", "--replicates", "10", warm, cool});
    EXPECT_EQ(stage.code, 1);
    EXPECT_NE(stage.err.find("Cohort warm"), std::string::npos) << stage.err;

    // A folder that does not exist.
    const CliRun missing = cli({"bootstrap", "--replicates", "10", "--dir", out.file("none"), warm});
    EXPECT_EQ(missing.code, 1);
    EXPECT_NE(missing.err.find("does not exist"), std::string::npos) << missing.err;
    // A bad second cohort: nothing of the first is written.
    const std::string bad = write(folder, "bad.csv", "id,sex,egg,adult\n1,F,x,3\n");
    const CliRun badRun = cli({"bootstrap", "--replicates", "10", "--dir", out.path().string(), warm, bad});
    EXPECT_EQ(badRun.code, 1);
    EXPECT_NE(badRun.err.find("bad.csv, line 2"), std::string::npos) << badRun.err;
    EXPECT_TRUE(out.names().empty());
    // A file that cannot be written (a folder stands in its name): the
    // files already in place are taken back.
    fs::create_directory(out.file("cool-T.txt"));
    const CliRun blocked = cli({"bootstrap", "--replicates", "10", "--dir", out.path().string(), warm, cool});
    EXPECT_EQ(blocked.code, 1);
    EXPECT_NE(blocked.err.find("cool-T.txt"), std::string::npos) << blocked.err;
    EXPECT_EQ(out.names(), std::vector<std::string>{"cool-T.txt"});
    EXPECT_EQ(blocked.out, "");
    // A statistic the cohort does not have.
    const CliRun unknown =
        cli({"bootstrap", "--replicates", "10", "--statistics", "duration-pupa", "--dir", out.path().string(), warm});
    EXPECT_EQ(unknown.code, 1);
    EXPECT_NE(unknown.err.find("no statistic duration-pupa"), std::string::npos) << unknown.err;
}

// A cohort whose one male is drawn in fewer than 2 of B = 2 replicates:
// the seed is found here by drawing as the bootstrap must.
TEST_F(BootstrapCommandTest, FewerThanTwoReplicatesOfTheStatisticAreRefused) {
    std::string text = "id,sex,egg,adult\n1,M,2,3\n";
    for (int i = 2; i <= 20; ++i) text += std::to_string(i) + ",N,1\n";
    const std::string rare = write(folder, "rare.csv", text);
    std::uint64_t seed = 0;
    int withMale = 0;
    for (seed = 1; seed < 200; ++seed) {
        std::mt19937_64 generator(seed);
        withMale = 0;
        for (int b = 0; b < 2; ++b) {
            bool male = false;
            for (int i = 0; i < 20; ++i) {
                const std::uint64_t u = generator(), low = (u & 0xffffffffu) * 20, high = (u >> 32) * 20;
                male |= ((high + (low >> 32)) >> 32) == 0;
            }
            withMale += male;
        }
        if (withMale < 2) break;
    }
    ASSERT_LT(withMale, 2);
    // The rare cohort is the second: its seed is S + 1.
    const std::string s = std::to_string(seed - 1);
    const CliRun run =
        cli({"compare", "--cohorts", "--statistic", "longevity_male", "--replicates", "2", "--seed", s, warm, rare});
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("Cohort rare (" + rare +
                           ") cannot be compared by longevity_male: " + std::to_string(withMale) + " replicate"),
              std::string::npos)
        << run.err;
    const CliRun boot = cli({"bootstrap", "--replicates", "2", "--seed", s, "--statistics", "longevity_male", "--dir",
                             out.path().string(), warm, rare});
    EXPECT_EQ(boot.code, 0) << boot.err;
    EXPECT_EQ(out.names(), std::vector<std::string>{"warm-longevity_male.txt"});
    EXPECT_NE(boot.out.find("longevity_male: no file: " + std::to_string(withMale) + " replicate"), std::string::npos)
        << boot.out;
}

// A real process reading its cohort from standard input: named "stdin",
// its file "-" as given.
TEST_F(BootstrapCommandTest, StandardInputIsTheCohortStdin) {
    const TempFolder scratch("bootstrap_cli_shell");
    const test::ShellRun run =
        test::runShell(test::cliPath() + " bootstrap --json --replicates 30 --statistics R0 --dir " +
                           test::shellQuoted(out.path().string()) + " - < " + test::shellQuoted(warm),
                       scratch);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const nlohmann::json doc = nlohmann::json::parse(run.out);
    EXPECT_EQ(doc["cohorts"][0]["name"], "stdin");
    EXPECT_EQ(doc["cohorts"][0]["file"], "-");
    EXPECT_EQ(out.names(), std::vector<std::string>{"stdin-R0.txt"});
    // The same replicates as from the file itself.
    const TempFolder again("bootstrap_cli_shell2");
    ASSERT_EQ(cli({"bootstrap", "--replicates", "30", "--statistics", "R0", "--dir", again.path().string(), warm}).code,
              0);
    const std::string a = readFile(out.file("stdin-R0.txt")), b = readFile(again.file("warm-R0.txt"));
    EXPECT_EQ(a.substr(a.find("\r\n")), b.substr(b.find("\r\n")));
}

// Every reason for writing no file; a replicate equal to the format's end
// marker would end the file early.
TEST(BootstrapCommand, NoFileReasons) {
    struct Case {
        std::optional<double> estimate;
        std::vector<double> values;
        std::string reason;  // empty: a file is written
    };
    const Case cases[] = {
        {std::nullopt, {1, 2}, "the cohort itself has no value (no male)"},
        {3, {}, "0 replicates have a value; at least 2 are needed"},
        {3, {2}, "1 replicate has a value; at least 2 are needed"},
        {3, {1.5, -1, 2}, "a replicate equals -1, the end marker of the file format"},
        {3, {-1.5, -0.5, -1.0000000000000002}, ""},
    };
    for (const Case& c : cases) {
        analysis::StatisticReplicates s;
        s.name = "longevity_male";
        s.estimate = c.estimate;
        s.values.assign(c.values.begin(), c.values.end());
        EXPECT_EQ(noFileReason(s).value_or(""), c.reason) << c.reason;
    }
}

// The display runs beside the bootstrap and changes none of its replicates;
// off a terminal it writes nothing.
TEST_F(BootstrapCommandTest, ProgressOnATerminalOnly) {
    const std::vector<CohortRecords> records = readCohorts({warm}, "bootstrap");
    const analysis::Cohort cohort(records[0]);
    analysis::BootstrapRequest request;
    request.replicates = 40000;
    request.threads = 2;
    const std::vector<analysis::StatisticReplicates> plain = analysis::bootstrapCohort(cohort, request);
    std::ostringstream quiet, shown;
    const auto off = bootstrapWithProgress(cohort, request, "warm", quiet, ProgressDisplay{});
    const auto on =
        bootstrapWithProgress(cohort, request, "warm", shown,
                              ProgressDisplay{true, std::chrono::milliseconds(0), std::chrono::milliseconds(1)});
    EXPECT_EQ(quiet.str(), "");
    ASSERT_EQ(on.size(), plain.size());
    for (std::size_t i = 0; i < plain.size(); ++i) {
        EXPECT_EQ(off[i].values, plain[i].values) << plain[i].name;
        EXPECT_EQ(on[i].values, plain[i].values) << plain[i].name;
    }
    const std::string text = shown.str();
    ASSERT_FALSE(text.empty()) << "40,000 replicates take longer than a millisecond";
    EXPECT_EQ(text.back(), '\n');
    std::istringstream updates(text.substr(0, text.size() - 1));
    std::uint64_t last = 0;
    for (std::string update; std::getline(updates, update, '\r');) {
        if (update.empty()) continue;
        std::uint64_t done = 0;
        ASSERT_EQ(std::sscanf(update.c_str(), "bootstrap warm: %llu of 40000 replicates",
                              reinterpret_cast<unsigned long long*>(&done)),
                  1)
            << update;
        EXPECT_GE(done, last);
        EXPECT_LE(done, 40000u);
        last = done;
    }
}

TEST(BootstrapCommandLine, OptionsAndTheirDefaults) {
    const Command c = parseCommand({"bootstrap", "a.csv", "b.csv"});
    ASSERT_EQ(c.kind, Command::Kind::Bootstrap);
    EXPECT_EQ(c.bootstrap.replicates, 100000u);
    EXPECT_EQ(c.bootstrap.seed, 1u);
    EXPECT_EQ(c.bootstrap.threads, 0u);
    EXPECT_TRUE(c.bootstrap.statistics.empty());
    EXPECT_EQ(c.bootstrap.files, (std::vector<std::string>{"a.csv", "b.csv"}));
    const Command d = parseCommand({"bootstrap", "--replicates", "2", "--seed", "18446744073709551615", "--threads",
                                    "3", "--statistics", "r,R0,duration-L1,r", "--json", "--dir", "out", "a.csv"});
    EXPECT_EQ(d.bootstrap.replicates, 2u);
    EXPECT_EQ(d.bootstrap.seed, ~std::uint64_t{0});
    EXPECT_EQ(d.bootstrap.threads, 3u);
    EXPECT_EQ(d.bootstrap.statistics, (std::vector<std::string>{"r", "R0", "duration-L1"}));
    EXPECT_TRUE(d.bootstrap.json);
    EXPECT_EQ(d.bootstrap.dir, "out");
    const Command e = parseCommand({"compare", "--cohorts", "--statistic", "T", "--seed", "0", "a.csv", "b.csv"});
    EXPECT_TRUE(e.compare.cohorts);
    EXPECT_EQ(e.compare.statistic, "T");
    EXPECT_EQ(e.compare.seed, 0u);
    EXPECT_EQ(e.compare.replicates, 100000u);
}

}  // namespace
}  // namespace lumera::cli
