// compare's outputs beyond the ordinary: the JSON written a pair at a time,
// names holding control characters, values at the ends of the double range,
// and a memory limit that ends the run with a message.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "analysis/comparison.h"
#include "cli/cli_app.h"
#include "cli/compare_output.h"
#include "support/treatment_files.h"
#include "textio/version.h"

namespace lumera::cli {
namespace {

using test::TempFolder;

// Built by appending: g++ 12 warns falsely on "f" + std::to_string(t).
std::string numbered(const char* prefix, std::size_t t, const char* suffix = "") {
    std::string name = prefix;
    name += std::to_string(t);
    name += suffix;
    return name;
}

std::string write(const TempFolder& folder, const std::string& name, const std::string& text) {
    std::ofstream(folder.file(name), std::ios::binary) << text;
    return folder.file(name);
}

// The document as one tree dumped at once, as compare wrote it before the
// pairs were streamed; the program's version, the letters' method, the
// provenance, the treatment files' header fields, the rule, the level and
// the per-pair limits are the keys added since.
std::string wholeDocument(const analysis::Comparison& c, const Provenance& provenance) {
    nlohmann::ordered_json doc;
    doc["format"] = "lumera-compare";
    doc["version"] = 1;
    doc["program_version"] = kProgramVersion;
    doc["command_line"] = nlohmann::ordered_json::array();
    for (const std::string& w : provenance.commandLine) doc["command_line"].push_back(w);
    doc["inputs"] = nlohmann::ordered_json::array();
    for (const InputDigest& d : provenance.inputs)
        doc["inputs"].push_back({{"file", d.file}, {"bytes", d.bytes}, {"sha256", d.sha256}});
    doc["alpha"] = c.alpha;
    doc["sidak_alpha"] = c.sidakAlpha;
    doc["adjust"] = c.adjust;
    doc["level"] = c.level;
    doc["pair_count"] = c.pairs.size();
    doc["letters_method"] = "insert-absorb";
    doc["treatments"] = nlohmann::ordered_json::array();
    for (std::size_t t = 0; t < c.treatments.size(); ++t)
        doc["treatments"].push_back(
            {{"name", c.treatments[t].name},
             {"file", c.treatments[t].file},
             {"estimate",
              c.treatments[t].estimate ? nlohmann::ordered_json(*c.treatments[t].estimate) : nlohmann::ordered_json()},
             {"sample_size", c.treatments[t].sampleSize ? nlohmann::ordered_json(*c.treatments[t].sampleSize)
                                                        : nlohmann::ordered_json()},
             {"code", c.treatments[t].code ? nlohmann::ordered_json(*c.treatments[t].code) : nlohmann::ordered_json()},
             {"replicates", c.treatments[t].replicates.size()},
             {"mean", c.treatments[t].mean},
             {"se", c.treatments[t].se},
             {"letters", c.letters[t]}});
    doc["pairs"] = nlohmann::ordered_json::array();
    for (std::size_t k = 0; k < c.pairs.size(); ++k) {
        const analysis::PairResult& p = c.pairs[k];
        doc["pairs"].push_back({{"first", c.treatments[p.first].name},
                                {"second", c.treatments[p.second].name},
                                {"first_index", p.first + 1},
                                {"second_index", p.second + 1},
                                {"differences", p.differences},
                                {"mean_difference", p.meanDifference},
                                {"se", p.se},
                                {"t_lower", p.tLower},
                                {"t_upper", p.tUpper},
                                {"lower_position", p.lowerPosition},
                                {"upper_position", p.upperPosition},
                                {"percentile_lower", p.percentileLower},
                                {"percentile_upper", p.percentileUpper},
                                {"at_most_zero", p.atMostZero},
                                {"at_least_twice", p.atLeastTwice},
                                {"p_value", p.pValue},
                                {"p_adjusted", c.pAdjusted[k]},
                                {"p_resolution", 1.0 / static_cast<double>(p.differences)},
                                {"significant", static_cast<bool>(c.significant[k])},
                                {"t_excludes_zero", static_cast<bool>(c.tExcludesZero[k])},
                                {"percentile_excludes_zero", static_cast<bool>(c.percentileExcludesZero[k])}});
    }
    return doc.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

TEST(CompareStreams, StreamedJsonIsTheWholeDocumentByteForByte) {
    const std::vector<std::vector<std::string>> nameSets = {
        {"Only"},
        {"Cold", "Mild"},
        {"A \"quoted\"\tname", "Esc\x1B[31m", "bad \xFF utf-8", "Hot", "Warm 30 C"},
    };
    for (const auto& names : nameSets) {
        SCOPED_TRACE(names.size());
        std::vector<analysis::TreatmentSample> samples;
        for (std::size_t t = 0; t < names.size(); ++t) {
            std::vector<double> v;
            for (int r = 0; r < 6; ++r) v.push_back(1.5 * static_cast<double>(t) + 0.1 * ((r * 5) % 7));
            samples.push_back(analysis::makeSample(names[t], numbered("f", t, ".txt"), v));
            if (t % 2 == 1) {
                samples.back().estimate = 0.25 * static_cast<double>(t);
                samples.back().sampleSize = 40;
                samples.back().code = "T\"" + std::to_string(t);
            }
        }
        const analysis::Comparison c = analysis::compareTreatments(std::move(samples), 0.05, false);
        Provenance provenance;
        EXPECT_EQ(comparisonJson(c), wholeDocument(c, provenance));
        for (std::size_t t = 0; t < names.size(); ++t) {
            provenance.commandLine.push_back(numbered("word ", t));
            provenance.inputs.push_back({numbered("f", t, ".txt"), 100 + t, std::string(64, 'a')});
        }
        EXPECT_EQ(comparisonJson(c, provenance), wholeDocument(c, provenance));
    }
}

TEST(CompareStreams, ControlCharactersEscapedInTablesExactInJson) {
    TempFolder folder("compare_controls");
    const std::string a = write(folder, "a.txt", "Red\x1B[31m\x7F\n1\n2\n3\n");
    const std::string b = write(folder, "b.txt", "Bell\x07\n4\n5\n6\n");
    std::ostringstream out, err;
    ASSERT_EQ(runCli({"compare", a, b}, out, err), 0) << err.str();
    const std::string table = out.str();
    for (char control = 0; control < 0x20; ++control) {
        if (control != '\n') {
            EXPECT_EQ(table.find(control), std::string::npos) << int(control);
        }
    }
    EXPECT_EQ(table.find('\x7F'), std::string::npos);
    EXPECT_NE(table.find("2. Red\\x1B[31m\\x7F"), std::string::npos) << table;
    EXPECT_NE(table.find("1 - 2. Bell\\x07 - Red\\x1B[31m\\x7F"), std::string::npos) << table;

    std::ostringstream json, err2;
    ASSERT_EQ(runCli({"compare", "--json", a, b}, json, err2), 0) << err2.str();
    const nlohmann::json doc = nlohmann::json::parse(json.str());
    EXPECT_EQ(doc["treatments"][0]["name"], "Bell\x07");
    EXPECT_EQ(doc["treatments"][1]["name"], "Red\x1B[31m\x7F");
    EXPECT_EQ(doc["pairs"][0]["second"], "Red\x1B[31m\x7F");
    EXPECT_EQ(doc["letters_method"], "insert-absorb");
}

std::string values(double base, int count) {
    std::string text;
    for (int k = 0; k < count; ++k) {
        std::ostringstream v;
        v.precision(17);
        v << base * (1 + 0.05 * ((k * 7) % 11));
        text += v.str() + "\n";
    }
    return text;
}

TEST(CompareStreams, ValuesAt1EMinus200HaveTheirSpread) {
    TempFolder folder("compare_tiny");
    // The same values in two units: 1E+200 times the first.
    const std::string tinyA = write(folder, "ta.txt", "TA\n" + values(1E-200, 30));
    const std::string tinyB = write(folder, "tb.txt", "TB\n" + values(1.01E-200, 30));
    const std::string unitA = write(folder, "ua.txt", "UA\n" + values(1, 30));
    const std::string unitB = write(folder, "ub.txt", "UB\n" + values(1.01, 30));
    std::ostringstream tiny, unit, err;
    ASSERT_EQ(runCli({"compare", "--json", tinyA, tinyB}, tiny, err), 0) << err.str();
    ASSERT_EQ(runCli({"compare", "--json", unitA, unitB}, unit, err), 0) << err.str();
    const nlohmann::json t = nlohmann::json::parse(tiny.str()), u = nlohmann::json::parse(unit.str());
    for (int i = 0; i < 2; ++i)
        EXPECT_NEAR(t["treatments"][i]["se"].get<double>() * 1E+200, u["treatments"][i]["se"].get<double>(),
                    1e-12 * u["treatments"][i]["se"].get<double>());
    const double se = u["pairs"][0]["se"].get<double>();
    EXPECT_NEAR(t["pairs"][0]["se"].get<double>() * 1E+200, se, 1e-12 * se);
    EXPECT_LT(t["pairs"][0]["t_lower"].get<double>(), 0);
    EXPECT_EQ(t["pairs"][0]["significant"], u["pairs"][0]["significant"]);

    std::ostringstream normality, err2;
    ASSERT_EQ(runCli({"normality", tinyA}, normality, err2), 0) << err2.str();
    EXPECT_EQ(normality.str().find("do not vary"), std::string::npos) << normality.str();
    EXPECT_NE(normality.str().find("Shapiro-Wilk: W = "), std::string::npos) << normality.str();
}

#if !defined(__SANITIZE_ADDRESS__)
// lumera-cli in a child under an address-space limit: its exit code or signal,
// its stdout and stderr.
struct Limited {
    int exitCode = -1, signal = 0;
    std::string out, err;
};
Limited runLimited(rlim_t bytes, const std::vector<std::string>& args, const TempFolder& folder) {
    const std::string out = folder.file("out.json"), err = folder.file("err.txt");
    const pid_t child = fork();
    if (child == 0) {
        const rlimit limit{bytes, bytes};
        setrlimit(RLIMIT_AS, &limit);
        const int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(o, 1);
        dup2(e, 2);
        std::vector<char*> argv{const_cast<char*>(LUMERA_CLI_PATH)};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(LUMERA_CLI_PATH, argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(child, &status, 0);
    Limited r;
    if (WIFEXITED(status)) r.exitCode = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) r.signal = WTERMSIG(status);
    r.out = test::readFile(out);
    r.err = test::readFile(err);
    return r;
}

// 600 treatments, 179,700 pairs: the JSON (88 MB) once needed about 1.4 KB
// a pair held at once (250 MB); written a pair at a time it fits in 80 MB.
// Under 20 MB the run still ends with the message, never an abort.
TEST(CompareStreams, MemoryGrowsWithTheTreatmentsNotThePairsText) {
    TempFolder folder("compare_memory");
    std::vector<std::string> args = {"compare", "--json"};
    for (int t = 0; t < 600; ++t) args.push_back(write(folder, numbered("t", t, ".txt"), numbered("T", t, "\n1\n2\n")));
    const Limited fits = runLimited(80u << 20, args, folder);
    ASSERT_EQ(fits.signal, 0) << fits.err;
    ASSERT_EQ(fits.exitCode, 0) << fits.err;
    const nlohmann::json doc = nlohmann::json::parse(fits.out);
    EXPECT_EQ(doc["pairs"].size(), 179700u);

    const Limited tight = runLimited(20u << 20, args, folder);
    EXPECT_EQ(tight.signal, 0) << tight.err;
    EXPECT_EQ(tight.exitCode, 1) << tight.err;
    EXPECT_EQ(tight.err.rfind("Not enough memory: ", 0), 0u) << tight.err;
}
#endif

}  // namespace
}  // namespace lumera::cli
