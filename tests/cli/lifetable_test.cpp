// lumera-cli lifetable: the JSON document read back, the summary's notes,
// the two CSV files, the figures, and the runs that must write nothing.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "analysis/life_table.h"
#include "cli/cli_app.h"
#include "cli/lifetable_command.h"
#include "support/cli_run.h"
#include "support/file_size_limit.h"
#include "support/treatment_files.h"
#include "textio/cohort_reader.h"

namespace lumera::cli {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using test::TempFolder;

// Derived on paper (ages of death a 7, b 7, c 6, d 3, e 1, f 6; eggs at
// ages 5 and 6): see the expectations below.
const char* const kSix =
    "id,sex,egg,larva,adult,d1,d2,d3\n"
    "a,F,2,2,3,0,4,2\n"
    "b,F,2,3,2,6\n"
    "c,M,2,2,2\n"
    "d,N,2,1\n"
    "e,N,1\n"
    "f,M,3,2,1\n";

// r is the root of (10 z^6 + 2 z^7) / 6 = 1 with z = e^-r, found with
// mpmath at 40 digits (findroot); lambda = e^r, T = ln 2 / r.
constexpr double kSixR = 0.1125413350672317504606778660155343395591;
constexpr double kSixLambda = 1.119118514795787005408150909237926231228;
constexpr double kSixT = 6.159045297853112484190455726255797077671;

using test::cli;
using test::CliRun;

std::string write(const TempFolder& folder, const std::string& name, const std::string& text) {
    std::ofstream(folder.file(name), std::ios::binary) << text;
    return folder.file(name);
}

// The summary's line for a name (leading blanks dropped), or "" when none.
std::string lineOf(const std::string& text, const std::string& name) {
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        line.erase(0, line.find_first_not_of(' '));
        if (line.rfind(name + " ", 0) == 0) return line;
    }
    return "";
}

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> all;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) all.push_back(line);
    return all;
}

void expectRelative(double got, double want, const std::string& what) {
    EXPECT_LE(std::abs(got - want), 1e-12 * std::abs(want) + 1e-15) << what << ": " << got << " vs " << want;
}

class LifeTableCliTest : public ::testing::Test {
protected:
    LifeTableCliTest() : folder("lifetable"), out("lifetable_out") { six = write(folder, "six.csv", kSix); }
    TempFolder folder, out;
    std::string six;
};

TEST_F(LifeTableCliTest, JsonOfASmallCohortHoldsTheValuesDerivedOnPaper) {
    const CliRun run = cli({"lifetable", "--json", six});
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.err, "");
    const json doc = json::parse(run.out);
    EXPECT_EQ(doc["format"], "lumera-lifetable");
    EXPECT_EQ(doc["version"], 1);
    EXPECT_TRUE(doc["program_version"].is_string());
    ASSERT_EQ(doc["cohorts"].size(), 1u);
    const json& c = doc["cohorts"][0];
    EXPECT_EQ(c["name"], "six");
    EXPECT_EQ(c["file"], six);
    EXPECT_EQ(c["n"], 6);
    EXPECT_EQ(c["females"], 2);
    EXPECT_EQ(c["males"], 2);
    EXPECT_EQ(c["immature_deaths"], 2);
    EXPECT_EQ(c["stages"], json({"egg", "larva", "female", "male"}));

    const json& p = c["parameters"];
    expectRelative(p["r"], kSixR, "r");
    expectRelative(p["lambda"], kSixLambda, "lambda");
    EXPECT_EQ(p["R0"], 2.0);
    expectRelative(p["T"], kSixT, "T");
    EXPECT_EQ(p["GRR"], 3.5);  // m_5 = 10 / 4, m_6 = 2 / 2

    const json& s = c["statistics"];
    const std::vector<std::pair<json::json_pointer, double>> stats = {
        {"/duration/egg"_json_pointer, 2.2},  // e died in the egg
        {"/duration/larva"_json_pointer, 2.25},
        {"/preadult"_json_pointer, 4.5},
        {"/adult_longevity_female"_json_pointer, 2.5},
        {"/adult_longevity_male"_json_pointer, 1.5},
        {"/longevity_female"_json_pointer, 7},
        {"/longevity_male"_json_pointer, 6},
        {"/longevity_all"_json_pointer, 5},
        {"/fecundity"_json_pointer, 6},
        {"/APOP"_json_pointer, 0.5},
        {"/TPOP"_json_pointer, 5},
        {"/oviposition_days"_json_pointer, 1.5},
        {"/proportion_female"_json_pointer, 2.0 / 6},
        {"/proportion_male"_json_pointer, 2.0 / 6},
        {"/proportion_N"_json_pointer, 2.0 / 6},
        {"/preadult_survival"_json_pointer, 4.0 / 6},
    };
    for (const auto& [key, want] : stats) expectRelative(s.at(key).get<double>(), want, key.to_string());

    const json& t = c["table"];
    EXPECT_EQ(t["age"], json({0, 1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(t["E"], json({0, 0, 0, 0, 0, 10, 2}));
    EXPECT_EQ(t["n"]["egg"], json({6, 5, 1, 0, 0, 0, 0}));
    EXPECT_EQ(t["n"]["larva"], json({0, 0, 4, 4, 2, 0, 0}));
    EXPECT_EQ(t["n"]["female"], json({0, 0, 0, 0, 1, 2, 2}));
    EXPECT_EQ(t["n"]["male"], json({0, 0, 0, 0, 1, 2, 0}));
    const std::vector<double> l = {1, 5.0 / 6, 5.0 / 6, 4.0 / 6, 4.0 / 6, 4.0 / 6, 2.0 / 6};
    const std::vector<double> f = {0, 0, 0, 0, 0, 5, 1}, m = {0, 0, 0, 0, 0, 2.5, 1};
    for (std::size_t x = 0; x < l.size(); ++x) {
        expectRelative(t["l"][x], l[x], "l_" + std::to_string(x));
        expectRelative(t["f"][x], f[x], "f_" + std::to_string(x));
        expectRelative(t["m"][x], m[x], "m_" + std::to_string(x));
        expectRelative(t["lm"][x], t["E"][x].get<double>() / 6, "lm_" + std::to_string(x));
    }
    // e: the mean days left of those in the stage; null where it is empty.
    const json nul;
    EXPECT_EQ(t["e"]["egg"], json({5.0, 4.8, 4.0, nul, nul, nul, nul}));
    EXPECT_EQ(t["e"]["larva"], json({nul, nul, 3.75, 3.5, 2.5, nul, nul}));
    EXPECT_EQ(t["e"]["female"], json({nul, nul, nul, nul, 3.0, 2.0, 1.0}));
    EXPECT_EQ(t["e"]["male"], json({nul, nul, nul, nul, 2.0, 1.0, nul}));
    // v: at age 0 lambda; the two females at 5 lay 5 a head, then 1 a day later.
    const double z = std::exp(-kSixR);
    expectRelative(t["v"]["egg"][0], kSixLambda, "v egg 0");
    expectRelative(t["v"]["female"][6], 1, "v female 6");
    expectRelative(t["v"]["female"][5], 5 + z, "v female 5");
    expectRelative(t["v"]["larva"][4], 2.5 * z + 0.5 * z * z, "v larva 4");  // b and f: only b lays
    EXPECT_EQ(t["v"]["male"][5], 0.0);
    EXPECT_TRUE(t["v"]["male"][6].is_null());
}

// Every number of the document is the core's own double, bit for bit, and
// each key is where the documented layout puts it.
TEST_F(LifeTableCliTest, JsonCarriesTheCoresValuesExactly) {
    const std::string other = write(folder, "Other.csv",
                                    "id,sex,egg,L1,pupa,adult,d1,d2\n"
                                    "1,F,3,4,5,6,7,8\n2,F,3,5,5,2,0,3\n3,M,4,4,6,5\n4,N,3,4\n5,F,2,4,6,1,1\n");
    const CliRun run = cli({"lifetable", "--json", six, other});
    ASSERT_EQ(run.code, 0) << run.err;
    const json doc = json::parse(run.out);
    ASSERT_EQ(doc["cohorts"].size(), 2u);
    std::size_t i = 0;
    for (const std::string& path : {six, other}) {
        const CohortRecords records = readCohort(path, "t");
        const analysis::Cohort cohort(records);
        const analysis::LifeTableResult r = analysis::lifeTable(cohort);
        const json& c = doc["cohorts"][i++];
        SCOPED_TRACE(path);
        EXPECT_EQ(c["name"], records.name);
        // The flat list of the bootstrap's statistics, found in the nested document.
        const std::vector<std::string> names = analysis::statisticNames(cohort);
        std::vector<std::optional<double>> values(names.size());
        analysis::statisticValues(r.parameters, r.statistics, values);
        for (std::size_t k = 0; k < names.size(); ++k) {
            const std::string& name = names[k];
            const json* at = nullptr;
            if (c["parameters"].contains(name))
                at = &c["parameters"][name];
            else if (name.rfind("duration-", 0) == 0)
                at = &c["statistics"]["duration"][name.substr(9)];
            else
                at = &c["statistics"][name];
            ASSERT_TRUE(at != nullptr && (at->is_number() || at->is_null())) << name;
            if (values[k])
                EXPECT_EQ(at->get<double>(), *values[k]) << name;
            else
                EXPECT_TRUE(at->is_null()) << name;
        }
        const analysis::LifeTable& t = r.table;
        EXPECT_EQ(c["table"]["age"].size(), t.ages());
        EXPECT_EQ(c["table"]["l"].get<std::vector<double>>(), t.l);
        EXPECT_EQ(c["table"]["E"].get<std::vector<std::int64_t>>(), t.E);
        EXPECT_EQ(c["table"]["f"].get<std::vector<double>>(), t.f);
        EXPECT_EQ(c["table"]["m"].get<std::vector<double>>(), t.m);
        EXPECT_EQ(c["table"]["lm"].get<std::vector<double>>(), t.lm);
        for (std::size_t j = 0; j < t.stages.size(); ++j) {
            const std::string& stage = t.stages[j];
            EXPECT_EQ(c["table"]["n"][stage].get<std::vector<std::int64_t>>(), t.n[j]) << stage;
            EXPECT_EQ(c["table"]["s"][stage].get<std::vector<double>>(), t.s[j]) << stage;
            for (std::size_t x = 0; x < t.ages(); ++x) {
                const json& e = c["table"]["e"][stage][x];
                const json& v = c["table"]["v"][stage][x];
                EXPECT_EQ(e.is_null() ? std::nullopt : std::optional<double>(e.get<double>()), t.e[j][x]);
                EXPECT_EQ(v.is_null() ? std::nullopt : std::optional<double>(v.get<double>()), t.v[j][x]);
            }
        }
    }
}

// Each value that does not exist reads "none" with its reason, in the
// summary and as null in the JSON.
TEST_F(LifeTableCliTest, ValuesThatDoNotExistAreNotedWithTheirReason) {
    struct Case {
        const char* what;
        const char* cohort;
        std::vector<std::pair<std::string, std::string>> summary;  // the line of a name holds the text
        std::vector<const char*> nullKeys;                         // JSON pointers below the cohort
    };
    const std::vector<Case> cases = {
        {"no eggs",
         "id,sex,egg,adult,d1\n1,F,2,3,0\n2,M,2,2\n",
         {{"r", "none  (no eggs were laid: R0 = 0)"},
          {"T", "none  (no eggs were laid: R0 = 0)"},
          {"lambda", "0     (0: no eggs were laid)"},
          {"APOP", "(no female laid eggs)"},
          {"oviposition_days", "(no female laid eggs)"}},
         {"/parameters/r", "/parameters/T", "/statistics/APOP", "/statistics/TPOP", "/statistics/oviposition_days",
          "/table/v/egg/0"}},
        {"no male",
         "id,sex,egg,adult,d1\n1,F,2,3,4\n2,N,1\n",
         {{"adult_longevity_male", "none"}, {"adult_longevity_male", "(no male)"}, {"longevity_male", "(no male)"}},
         {"/statistics/adult_longevity_male", "/statistics/longevity_male"}},
        {"no adult",
         "id,sex,egg,pupa,adult\n1,N,2\n2,N,1\n",
         {{"n", "= 2: 0 females, 0 males, 2 died before adulthood"},
          {"duration-egg", "(no individual completed egg)"},
          {"preadult", "(no individual became adult)"},
          {"fecundity", "(no female)"}},
         {"/statistics/duration/egg", "/statistics/duration/pupa", "/statistics/preadult", "/statistics/fecundity",
          "/statistics/longevity_female"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = write(folder, "case.csv", c.cohort);
        const CliRun text = cli({"lifetable", path});
        ASSERT_EQ(text.code, 0) << text.err;
        for (const auto& [name, part] : c.summary)
            EXPECT_NE(lineOf(text.out, name).find(part), std::string::npos) << name << ": " << part << "\n" << text.out;
        const CliRun run = cli({"lifetable", "--json", path});
        ASSERT_EQ(run.code, 0) << run.err;
        const json cohort = json::parse(run.out)["cohorts"][0];
        for (const char* key : c.nullKeys) EXPECT_TRUE(cohort.at(json::json_pointer(key)).is_null()) << key;
    }
}

TEST_F(LifeTableCliTest, SummaryGivesCountsParametersAndStatistics) {
    const CliRun run = cli({"lifetable", six});
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.out.rfind("six (" + six + ")\n", 0), 0u) << run.out;
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"n", "= 6: 2 females, 2 males, 2 died before adulthood"},
        {"Immature", "stages: egg, larva"},
        {"R0", " 2 "},
        {"GRR", " 3.5 "},
        {"T", " 6.15905 "},
        {"r", " 0.112541 "},
        {"lambda", " 1.11912 "},
        {"duration-egg", " 2.2 "},
        {"duration-larva", " 2.25 "},
        {"TPOP", " 5 "},
        {"APOP", " 0.5 "},
        {"preadult_survival", " 0.666667"},
    };
    for (const auto& [name, part] : expected)
        EXPECT_NE(lineOf(run.out, name).find(part), std::string::npos) << name << ": " << part << "\n" << run.out;
    EXPECT_EQ(run.out.find("none"), std::string::npos);

    // A name from the file system cannot steer the terminal.
    const std::string odd = write(folder, "odd\x1b[2Jname.csv", kSix);
    const CliRun escaped = cli({"lifetable", odd});
    ASSERT_EQ(escaped.code, 0) << escaped.err;
    EXPECT_EQ(escaped.out.rfind("odd\\x1B[2Jname (", 0), 0u) << escaped.out;
    EXPECT_EQ(escaped.out.find('\x1b'), std::string::npos);
}

TEST_F(LifeTableCliTest, TablesAreLongFormCsvWithNa) {
    const CliRun run = cli({"lifetable", "--tables", out.path().string(), six});
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(out.names(), (std::vector<std::string>{"six-age.csv", "six-stage.csv"}));
    const std::string age = slurp(out.file("six-age.csv"));
    const std::string stage = slurp(out.file("six-stage.csv"));
    EXPECT_EQ(age.find('\r'), std::string::npos);
    EXPECT_EQ(stage.find('\r'), std::string::npos);
    const std::vector<std::string> ageRows = lines(age), stageRows = lines(stage);
    ASSERT_EQ(ageRows.size(), 1u + 7);        // a row per age 0..6
    ASSERT_EQ(stageRows.size(), 1u + 7 * 4);  // a row per age and stage
    EXPECT_EQ(ageRows[0], "age,l,E,f,m,lm");
    EXPECT_EQ(stageRows[0], "age,stage,n,s,e,v");
    EXPECT_EQ(ageRows[1], "0,1,0,0,0,0");
    EXPECT_EQ(ageRows[6], "5,0.6666666666666666,10,5,2.5,1.6666666666666667");
    // Rows by age, then stage in the table's order; NA where nobody is in the stage.
    EXPECT_EQ(stageRows[1].substr(0, 12), "0,egg,6,1,5,");
    EXPECT_EQ(stageRows[2], "0,larva,0,0,NA,NA");
    EXPECT_EQ(stageRows[3], "0,female,0,0,NA,NA");
    EXPECT_EQ(stageRows[4], "0,male,0,0,NA,NA");
    EXPECT_EQ(stageRows[28], "6,male,0,0,NA,NA");
    EXPECT_EQ(stageRows[27].rfind("6,female,2,0.3333333333333333,1,", 0), 0u) << stageRows[27];
    std::size_t na = 0;
    for (std::size_t pos = stage.find("NA"); pos != std::string::npos; pos = stage.find("NA", pos + 1)) ++na;
    EXPECT_EQ(na, 2u * (28 - 11));  // 11 of the 28 age-stage cells hold someone; e and v NA in the rest

    // Without r every v is NA, e is not.
    const std::string barren = write(folder, "barren.csv", "id,sex,egg,adult\n1,F,2,3\n");
    ASSERT_EQ(cli({"lifetable", "--tables", out.path().string(), barren}).code, 0);
    EXPECT_EQ(lines(slurp(out.file("barren-stage.csv")))[1], "0,egg,1,1,5,NA");
}

// A run that cannot finish leaves none of its files, and a folder that is
// not there is refused before any cohort is read.
TEST_F(LifeTableCliTest, FailedRunsWriteNothing) {
    const std::string bad = write(folder, "bad.csv", "id,sex,egg,adult\n1,F,2,3\n2,X,2,3\n");
    const std::string same = write(folder, "SIX.csv", kSix);
    const std::string missing = (out.path() / "nowhere").string();
    const std::string aFile = write(folder, "plain.txt", "x");
    struct Case {
        const char* what;
        std::vector<std::string> words;  // after lifetable --tables OUT --plot OUT
        std::string message;
    };
    const std::vector<Case> cases = {
        {"a refused cohort after a good one", {six, bad}, "bad.csv, line 3, column sex"},
        {"names equal but for case", {six, same}, "SIX"},
        {"a cohort that is not there", {six, folder.file("absent.csv")}, "absent.csv"},
        {"--tables missing", {"--tables", missing, six}, "--tables: the folder " + missing + " does not exist"},
        {"--plot missing", {"--plot", missing, six}, "--plot: the folder " + missing + " does not exist"},
        {"--tables a file", {"--tables", aFile, six}, "is not a folder"},
        {"--plot a file, the cohort bad too", {"--plot", aFile, bad}, "--plot: " + aFile + " is not a folder"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::string> words = {"lifetable", "--json"};
        if (c.words[0].rfind("--", 0) != 0) {
            words.insert(words.end(), {"--tables", out.path().string()});
            if (LUMERA_HAVE_CHART_MODULE) words.insert(words.end(), {"--plot", out.path().string()});
        }
        words.insert(words.end(), c.words.begin(), c.words.end());
        const CliRun run = cli(words);
        EXPECT_EQ(run.code, 1);
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_EQ(run.err.rfind("Life table: ", 0), 0u) << run.err;
        EXPECT_TRUE(out.names().empty());
    }
}

// A write that fails part way takes back the files already written, and
// what stood under a name before stays.
TEST_F(LifeTableCliTest, AFailedWriteTakesBackTheRunsFiles) {
    const std::string second = write(folder, "second.csv", kSix);
    fs::create_directory(out.path() / "second-stage.csv");  // cannot be replaced by a file
    write(out, "six-age.csv", "old");
    CliRun run = cli({"lifetable", "--tables", out.path().string(), six, second});
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("second-stage.csv"), std::string::npos) << run.err;
    EXPECT_EQ(out.names(), (std::vector<std::string>{"second-stage.csv", "six-age.csv"}));
    EXPECT_EQ(slurp(out.file("six-age.csv")), "old");

    // A full disk: the first file cannot be written whole.
    fs::remove(out.path() / "second-stage.csv");
    fs::remove(out.path() / "six-age.csv");
    {
        test::FileSizeLimit limit(40);
        run = cli({"lifetable", "--tables", out.path().string(), six});
    }
    EXPECT_EQ(run.code, 1);
    EXPECT_TRUE(out.names().empty());

    // The same for a figure, with the tables of the run in another folder.
    if (!LUMERA_HAVE_CHART_MODULE) GTEST_SKIP() << "this build has no chart module";
    TempFolder tables("lifetable_tables");
    fs::create_directory(out.path() / "second-vxj.svg");
    write(out, "six-sxj.png", "old");
    run = cli({"lifetable", "--tables", tables.path().string(), "--plot", out.path().string(), six, second});
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("second-vxj.svg"), std::string::npos) << run.err;
    EXPECT_EQ(out.names(), (std::vector<std::string>{"second-vxj.svg", "six-sxj.png"}));
    EXPECT_EQ(slurp(out.file("six-sxj.png")), "old");
    EXPECT_TRUE(tables.names().empty());
}

TEST_F(LifeTableCliTest, FiguresArePngAndSvgForEveryKind) {
    if (!LUMERA_HAVE_CHART_MODULE) GTEST_SKIP() << "this build has no chart module";
    const CliRun run = cli({"lifetable", "--plot", out.path().string(), six});
    ASSERT_EQ(run.code, 0) << run.err;
    std::vector<std::string> want;
    for (const char* kind : {"exj", "lxmx", "sxj", "vxj"})
        for (const char* ext : {".png", ".svg"}) want.push_back(std::string("six-") + kind + ext);
    EXPECT_EQ(out.names(), want);
    for (const std::string& name : want) {
        const std::string content = slurp(out.file(name));
        if (name.ends_with(".png"))
            EXPECT_EQ(content.substr(0, 8), "\x89PNG\r\n\x1a\n") << name;
        else
            EXPECT_NE(content.find("<svg"), std::string::npos) << name;
    }
}

// The figures' models: one curve per stage where the stage holds someone,
// l_x on the left axis and the egg curves on the right, and a word where
// v_xj does not exist.
TEST_F(LifeTableCliTest, FigureModelsCarryTheTablesCurves) {
    CohortLifeTable c{readCohort(six, "t"), {}};
    c.result = analysis::lifeTable(analysis::Cohort(c.records));
    const auto charts = lifeTableCharts(c);
    ASSERT_EQ(charts.size(), 4u);
    EXPECT_EQ(charts[0].stem, "six-sxj");
    EXPECT_EQ(charts[1].stem, "six-lxmx");
    EXPECT_EQ(charts[2].stem, "six-exj");
    EXPECT_EQ(charts[3].stem, "six-vxj");
    for (const LifeTableFigure& f : charts) {
        EXPECT_FALSE(f.chart->xTitle.empty()) << f.stem;
        EXPECT_FALSE(f.chart->yTitle.empty()) << f.stem;
        EXPECT_NE(f.chart->title.find("six: "), std::string::npos) << f.stem;
    }
    // s_xj: egg over ages 0..2, larva 2..4, female 4..6, male 4..5.
    const ChartControl& s = *charts[0].chart;
    ASSERT_EQ(s.lines.size(), 4u);
    const std::vector<std::pair<double, double>> egg = {{0, 1}, {1, 5.0 / 6}, {2, 1.0 / 6}};
    EXPECT_EQ(s.lines[0].label, "egg");
    EXPECT_EQ(s.lines[0].points, egg);
    EXPECT_EQ(s.lines[3].label, "male");
    EXPECT_EQ(s.lines[3].points.size(), 2u);
    EXPECT_NE(s.lines[2].colour, s.lines[3].colour);
    const ChartControl& lxmx = *charts[1].chart;
    ASSERT_EQ(lxmx.lines.size(), 4u);
    EXPECT_FALSE(lxmx.lines[0].rightAxis);
    EXPECT_EQ(lxmx.lines[0].points.size(), 7u);
    EXPECT_TRUE(lxmx.lines[1].rightAxis && lxmx.lines[2].rightAxis && lxmx.lines[3].rightAxis);
    for (std::size_t i = 1; i < 4; ++i) EXPECT_EQ(lxmx.lines[i].points.size(), 3u);  // where a female is alive
    const std::vector<std::pair<double, double>> mx = {{4, 0}, {5, 2.5}, {6, 1}};
    EXPECT_EQ(lxmx.lines[2].points, mx);
    EXPECT_FALSE(lxmx.rightYTitle.empty());
    EXPECT_NE(lxmx.title.find("R0 = 2,"), std::string::npos);

    // A stage emptied and refilled: its curve is two pieces under one name.
    CohortLifeTable gap{parseCohort("id,sex,egg,adult\n1,F,1,1\n2,F,3,1\n", "gap", "t"), {}};
    gap.result = analysis::lifeTable(analysis::Cohort(gap.records));
    const auto gapCharts = lifeTableCharts(gap);
    const ChartControl& vxj = *gapCharts[3].chart;
    EXPECT_TRUE(vxj.lines.empty());  // no eggs: no v
    EXPECT_NE(gapCharts[1].chart->title.find("(R0 = 0, no r)"), std::string::npos) << gapCharts[1].chart->title;
    EXPECT_FALSE(vxj.note.empty());
    const ChartControl& female = *gapCharts[0].chart;
    ASSERT_EQ(female.lines.size(), 3u);  // egg 0..2, female at 1, female at 3
    EXPECT_EQ(female.lines[1].label, "female");
    EXPECT_EQ(female.lines[2].label, "female");
    EXPECT_EQ(female.lines[1].colour, female.lines[2].colour);
}

TEST_F(LifeTableCliTest, StandardInputIsTheCohortStdin) {
    int pipe[2];
    ASSERT_EQ(::pipe(pipe), 0);
    const std::string text = kSix;
    ASSERT_EQ(::write(pipe[1], text.data(), text.size()), static_cast<ssize_t>(text.size()));
    ::close(pipe[1]);
    const int saved = ::dup(0);
    ::dup2(pipe[0], 0);
    ::close(pipe[0]);
    const CliRun run = cli({"lifetable", "--json", "-"});
    ::dup2(saved, 0);
    ::close(saved);
    ASSERT_EQ(run.code, 0) << run.err;
    const json c = json::parse(run.out)["cohorts"][0];
    EXPECT_EQ(c["name"], "stdin");
    EXPECT_EQ(c["file"], "-");
    EXPECT_EQ(c["n"], 6);
}

// The sample cohorts: plausible sizes, the stages of the moth, and one
// treatment whose population declines.
TEST(LifeTableExamples, SampleCohortsGiveTheirTables) {
    const std::string dir = LUMERA_EXAMPLES_DIR;
    const std::vector<std::string> files = {dir + "/moth-20C.csv", dir + "/moth-25C.csv", dir + "/moth-32C.csv"};
    TempFolder out("lifetable_examples");
    std::vector<std::string> words = {"lifetable", "--json", "--tables", out.path().string()};
    words.insert(words.end(), files.begin(), files.end());
    const CliRun run = cli(words);
    ASSERT_EQ(run.code, 0) << run.err;
    const json doc = json::parse(run.out);
    ASSERT_EQ(doc["cohorts"].size(), 3u);
    int declining = 0;
    for (const json& c : doc["cohorts"]) {
        SCOPED_TRACE(c["name"].get<std::string>());
        EXPECT_GE(c["n"], 40);
        EXPECT_LE(c["n"], 100);
        EXPECT_EQ(c["stages"], json({"egg", "L1", "L2", "L3", "pupa", "female", "male"}));
        EXPECT_GT(c["females"], 0);
        EXPECT_GT(c["males"], 0);
        const double R0 = c["parameters"]["R0"];
        const double r = c["parameters"]["r"];
        EXPECT_EQ(R0 < 1, r < 0);
        declining += R0 < 1 ? 1 : 0;
    }
    EXPECT_EQ(declining, 1);
    // Warmer is faster: mean preadult time falls with the temperature.
    EXPECT_GT(doc["cohorts"][0]["statistics"]["preadult"], doc["cohorts"][1]["statistics"]["preadult"]);
    EXPECT_GT(doc["cohorts"][1]["statistics"]["preadult"], doc["cohorts"][2]["statistics"]["preadult"]);
    EXPECT_EQ(out.names().size(), 6u);
}

}  // namespace
}  // namespace lumera::cli
