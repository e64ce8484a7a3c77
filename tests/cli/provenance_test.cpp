// Where a JSON document came from: the command line and every input as read,
// in each of the four documents; compare's long-form input beside its
// treatment files.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli/compare_input.h"
#include "support/cli_run.h"
#include "support/shell_run.h"
#include "support/treatment_files.h"
#include "textio/long_form_reader.h"
#include "textio/sha256.h"

namespace lumera::cli {
namespace {

using test::cli;
using test::CliRun;
using test::TempFolder;
using Json = nlohmann::json;

const std::string kExamples = LUMERA_EXAMPLES_DIR;

std::string example(const char* name) { return kExamples + "/" + name; }

std::string write(const TempFolder& folder, const std::string& name, const std::string& text) {
    std::ofstream(folder.file(name), std::ios::binary) << text;
    return folder.file(name);
}

struct Input {
    std::string file;
    std::uint64_t bytes;
    std::string sha256;
};

// An input as `sha256sum` and `wc -c` give it for a file of the test's own.
Input digestOf(const std::string& path) {
    const std::string text = test::readFile(path);
    return {path, text.size(), sha256Hex(text)};
}

void expectInputs(const Json& doc, const std::vector<Input>& expected) {
    ASSERT_TRUE(doc["inputs"].is_array()) << doc.dump();
    ASSERT_EQ(doc["inputs"].size(), expected.size()) << doc["inputs"].dump();
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(expected[i].file);
        EXPECT_EQ(doc["inputs"][i]["file"], expected[i].file);
        EXPECT_EQ(doc["inputs"][i]["bytes"], expected[i].bytes);
        EXPECT_EQ(doc["inputs"][i]["sha256"], expected[i].sha256);
    }
}

TEST(Provenance, EveryDocumentNamesItsCommandLineAndInputs) {
    TempFolder folder("provenance_docs");
    // Text after the end marker is read (and hashed) too, past the readers' first block.
    std::string notes;
    while (notes.size() < (std::size_t{3} << 20)) notes += "notes after the end marker\r\n";
    const std::string tail =
        write(folder, "tail.txt", "\"Warm\",\"R0\",9,\"x\",3,\"W\",9,2\r\n1\r\n2\r\n-1\r\n" + notes);
    const std::string plain = write(folder, "plain.txt", "Cold\n0.5\n0.25\n0.75\n");
    // Digests from coreutils' sha256sum of the committed sample files.
    const Input r18{example("r0-18C.txt"), 24020, "03ee215bfb6717d5ca2e55fadb356606fbce316476c01fe6cc1b366947e545b1"};
    const Input r24{example("r0-24C.txt"), 24775, "0aeae25f25e040ce2e7ab29a8485f7f3f6b4c93a5755d326f9b89c68fca5ed7f"};
    const Input moth20{example("moth-20C.csv"), 1963,
                       "178c82e89a038757f967e51df58afa2cac5c29d4b7bc496a051307388c82d390"};
    const Input moth25{example("moth-25C.csv"), 2473,
                       "c14fedbd6fc455bc7523696ec14633a4d9133ac36343c2ce29b99f3b6feb0c87"};
    const Input days{example("development-days.txt"), 1343,
                     "2583903327f2b0f75a666abc9bd0357946adbbe0bda4659cc49af1da3637a4af"};
    const Input longForm{example("r0-long.csv"), 189257,
                         "4dd9d6df57f7bf37bb2f00401228ef4304d1d71c327cd97e07634adf5688d416"};
    const struct {
        std::vector<std::string> words;
        std::vector<Input> inputs;
        const char* format;
    } cases[] = {
        {{"compare", "--json", r18.file, r24.file}, {r18, r24}, "lumera-compare"},
        {{"compare", "--alpha", "0.1", "--json", tail, plain}, {digestOf(tail), digestOf(plain)}, "lumera-compare"},
        {{"compare", "--json", "--long", longForm.file}, {longForm}, "lumera-compare"},
        {{"compare", "--cohorts", "--statistic", "R0", "--replicates", "50", "--json", moth20.file, moth25.file},
         {moth20, moth25},
         "lumera-compare"},
        {{"normality", "--json", days.file}, {days}, nullptr},
        {{"lifetable", "--json", moth20.file, moth25.file}, {moth20, moth25}, "lumera-lifetable"},
        {{"bootstrap", "--replicates", "20", "--statistics", "R0", "--dir", folder.path().string(), "--json",
          moth25.file},
         {moth25},
         "lumera-bootstrap"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.words[0] + " " + c.words[1] + " " + c.words[2]);
        const CliRun run = cli(c.words);
        ASSERT_EQ(run.code, 0) << run.err;
        const Json doc = Json::parse(run.out);
        if (c.format) {
            EXPECT_EQ(doc["format"], c.format);
        }
        EXPECT_EQ(doc["command_line"], Json(c.words));
        expectInputs(doc, c.inputs);
        // No time stamp: the same inputs give the same bytes.
        EXPECT_EQ(cli(c.words).out, run.out);
    }
}

// The header's fields 6 to 8 of a treatment file; none for other inputs.
TEST(Provenance, TreatmentFilesCarryTheirHeadersEstimateSampleSizeAndCode) {
    TempFolder folder("provenance_fields");
    const std::string plain = write(folder, "plain.txt", "Cold\n0.5\n0.25\n0.75\n");
    const CliRun run = cli({"compare", "--json", example("r0-18C.txt"), plain, example("r0-30C.txt")});
    ASSERT_EQ(run.code, 0) << run.err;
    const Json doc = Json::parse(run.out);
    std::map<std::string, Json> byName;
    for (const Json& t : doc["treatments"]) byName[t["name"]] = t;
    EXPECT_EQ(byName["18 C"]["estimate"], 14.7625);
    EXPECT_EQ(byName["18 C"]["sample_size"], 80);
    EXPECT_EQ(byName["18 C"]["code"], "T18");
    EXPECT_EQ(byName["30 C"]["estimate"], 75.375);
    EXPECT_EQ(byName["30 C"]["code"], "T30");
    for (const char* key : {"estimate", "sample_size", "code"}) {
        ASSERT_TRUE(byName["Cold"].contains(key)) << key;
        EXPECT_TRUE(byName["Cold"][key].is_null()) << key;
    }
    const CliRun long_ = cli({"compare", "--json", "--long", example("r0-long.csv")});
    ASSERT_EQ(long_.code, 0) << long_.err;
    const Json longDoc = Json::parse(long_.out);
    for (const Json& t : longDoc["treatments"])
        for (const char* key : {"estimate", "sample_size", "code"}) EXPECT_TRUE(t[key].is_null()) << key;
}

// The sample long-form file holds the three R0 files' replicates, so compare
// finds the same pairs and the same treatments but for their files.
TEST(LongFormCompare, TheSampleLongFileGivesThePairsOfTheThreeFiles) {
    const CliRun files =
        cli({"compare", "--json", example("r0-18C.txt"), example("r0-24C.txt"), example("r0-30C.txt")});
    const CliRun longForm = cli({"compare", "--json", "--long", example("r0-long.csv")});
    ASSERT_EQ(files.code, 0) << files.err;
    ASSERT_EQ(longForm.code, 0) << longForm.err;
    Json a = Json::parse(files.out), b = Json::parse(longForm.out);
    EXPECT_EQ(a["pairs"], b["pairs"]);
    EXPECT_EQ(a["pairs"].size(), 3u);
    ASSERT_EQ(a["treatments"].size(), 3u);
    for (std::size_t t = 0; t < 3; ++t)
        for (const char* key : {"name", "replicates", "mean", "se", "letters"})
            EXPECT_EQ(a["treatments"][t][key], b["treatments"][t][key]) << key;
    EXPECT_EQ(b["treatments"][0]["file"], example("r0-long.csv"));
    // Value for value, in file order.
    const LongFormTable table = readLongForm(example("r0-long.csv"), {}, "compare");
    ASSERT_EQ(table.treatments.size(), 3u);
    const char* names[] = {"r0-18C.txt", "r0-24C.txt", "r0-30C.txt"};
    for (std::size_t t = 0; t < 3; ++t) {
        const analysis::TreatmentSample sample = readCompareFile(example(names[t]));
        EXPECT_EQ(table.treatments[t].name, sample.name);
        EXPECT_EQ(table.treatments[t].values, sample.replicates) << names[t];
    }
    // The tables and the CSV rows as well.
    EXPECT_EQ(cli({"compare", "--csv", "-", "--long", example("r0-long.csv")}).out,
              cli({"compare", "--csv", "-", example("r0-18C.txt"), example("r0-24C.txt"), example("r0-30C.txt")}).out);
}

TEST(LongFormCompare, ColumnsByNameStandardInputAndRefusals) {
    TempFolder folder("long_form_cli");
    const std::string csv = write(folder, "t.csv",
                                  "\"R0\",\"temp\",\"rep\"\r\n1.5,\"hot\",1\r\n2.5,\"hot\",2\r\n0.5,\"cold\",1\r\n"
                                  "0.25,\"cold\",2\r\n0.75,\"cold\",3\r\n");
    const CliRun named =
        cli({"compare", "--json", "--long", csv, "--treatment-column", "temp", "--value-column", "R0"});
    ASSERT_EQ(named.code, 0) << named.err;
    const Json doc = Json::parse(named.out);
    ASSERT_EQ(doc["treatments"].size(), 2u);
    EXPECT_EQ(doc["treatments"][0]["name"], "hot");
    EXPECT_EQ(doc["treatments"][0]["mean"], 2.0);
    EXPECT_EQ(doc["treatments"][1]["replicates"], 3);

    // Standard input: named "-", hashed as read.
    TempFolder scratch("long_form_stdin");
    const test::ShellRun piped =
        test::runShell("cat " + test::shellQuoted(csv) + " | " + test::cliPath() +
                           " compare --json --long - --treatment-column temp --value-column R0",
                       scratch);
    ASSERT_EQ(piped.exitCode, 0) << piped.err;
    const Json fromPipe = Json::parse(piped.out);
    Input stdinInput = digestOf(csv);
    stdinInput.file = "-";
    expectInputs(fromPipe, {stdinInput});
    EXPECT_EQ(fromPipe["pairs"], doc["pairs"]);
    // A treatment file from a pipe and from a redirected file.
    const std::string r24 = test::shellQuoted(example("r0-24C.txt"));
    const std::string compare = test::cliPath() + " compare --json " + test::shellQuoted(example("r0-18C.txt")) + " -";
    for (const std::string& script : {"cat " + r24 + " | " + compare, compare + " < " + r24}) {
        const test::ShellRun run = test::runShell(script, scratch);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        expectInputs(
            Json::parse(run.out),
            {{example("r0-18C.txt"), 24020, "03ee215bfb6717d5ca2e55fadb356606fbce316476c01fe6cc1b366947e545b1"},
             {"-", 24775, "0aeae25f25e040ce2e7ab29a8485f7f3f6b4c93a5755d326f9b89c68fca5ed7f"}});
    }

    // Wrong command lines: exit 2.
    for (const std::vector<std::string>& words : std::vector<std::vector<std::string>>{
             {"compare", "--long", csv, csv},
             {"compare", "--long", csv, "--cohorts", "--statistic", "R0"},
             {"compare", "--treatment-column", "temp", csv, csv},
             {"compare", "--long", csv, "--treatment-column", "x", "--value-column", "x"},
         }) {
        const CliRun wrong = cli(words);
        EXPECT_EQ(wrong.code, 2) << words[1] << " " << words[2];
        EXPECT_EQ(wrong.out, "");
    }
    // Bad input: exit 1, named.
    const CliRun defaults = cli({"compare", "--long", csv});
    EXPECT_EQ(defaults.code, 1);
    EXPECT_NE(defaults.err.find(csv + ", line 1: the header has no column \"treatment\"; its columns are \"R0\", "
                                      "\"temp\", \"rep\""),
              std::string::npos)
        << defaults.err;
    const std::string one = write(folder, "one.csv", "treatment,value\nA,1\nA,2\n");
    const CliRun single = cli({"compare", "--long", one});
    EXPECT_EQ(single.code, 1);
    EXPECT_NE(single.err.find(one + ": the file holds 1 treatment; at least 2 are needed."), std::string::npos)
        << single.err;
}

}  // namespace
}  // namespace lumera::cli
