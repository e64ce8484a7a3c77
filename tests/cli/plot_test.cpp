// --plot: every pair's chart files, their bins checked against every difference.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

#include "cli/cli_app.h"
#include "support/treatment_files.h"
#include "textio/number_forms.h"

namespace lumera::cli {
namespace {

namespace fs = std::filesystem;
using test::TempFolder;

struct Bin {
    double lower, upper;
    long long count;
};

// The CSV's invariants; its bins.
std::vector<Bin> readBins(const std::string& path) {
    std::istringstream in(test::readFile(path));
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, "lower,upper,count") << path;
    std::vector<Bin> bins;
    while (std::getline(in, line)) {
        Bin b{};
        EXPECT_EQ(std::sscanf(line.c_str(), "%lf,%lf,%lld", &b.lower, &b.upper, &b.count), 3) << line;
        EXPECT_LT(b.lower, b.upper) << line;
        if (!bins.empty()) {
            EXPECT_EQ(b.lower, bins.back().upper) << path << ": bins must be contiguous";
        }
        bins.push_back(b);
    }
    return bins;
}

void expectBinsHoldEveryDifference(const std::vector<Bin>& bins, const std::vector<double>& minuend,
                                   const std::vector<double>& subtrahend, const std::string& what) {
    ASSERT_FALSE(bins.empty()) << what;
    std::vector<double> d;
    for (double x : minuend)
        for (double y : subtrahend) d.push_back(x - y);
    EXPECT_LE(bins.front().lower, *std::min_element(d.begin(), d.end())) << what;
    EXPECT_GE(bins.back().upper, *std::max_element(d.begin(), d.end())) << what;
    long long total = 0;
    for (std::size_t i = 0; i < bins.size(); ++i) {
        const bool last = i + 1 == bins.size();
        const auto n = std::count_if(d.begin(), d.end(), [&](double v) {
            return bins[i].lower <= v && (v < bins[i].upper || (last && v == bins[i].upper));
        });
        EXPECT_EQ(bins[i].count, n) << what << " bin " << i;
        total += bins[i].count;
    }
    EXPECT_EQ(total, static_cast<long long>(d.size())) << what;
}

// Width and height from a PNG's header.
std::pair<unsigned, unsigned> pngSize(const std::string& path) {
    const std::string bytes = test::readFile(path);
    if (bytes.size() < 24 || bytes.compare(1, 3, "PNG") != 0) return {0, 0};
    auto word = [&](std::size_t at) {
        unsigned v = 0;
        for (std::size_t k = 0; k < 4; ++k) v = v << 8 | static_cast<unsigned char>(bytes[at + k]);
        return v;
    };
    return {word(16), word(20)};
}

void expectPictures(const fs::path& stem) {
    const auto [w, h] = pngSize(stem.string() + ".png");
    EXPECT_GE(w, 1200u) << stem;
    EXPECT_GE(h, 800u) << stem;
    const std::string svg = test::readFile(stem.string() + ".svg");
    EXPECT_NE(svg.find("<svg"), std::string::npos) << stem;
    EXPECT_NE(svg.find("</svg>"), std::string::npos) << stem << ": the SVG is complete";
}

TEST(PlotFiles, EveryPairOfCompareAndCartesianWithExactBins) {
    if (!LUMERA_HAVE_CHART_MODULE) GTEST_SKIP() << "this build has no chart module";
    TempFolder folder("plot_files");
    // Unequal B; the first two on a lattice of 0.5, the third not.
    const std::map<std::string, std::vector<double>> values = {
        {"Cold", {1, 1.5, 2.5, 4, 4, 6}},
        {"Mild", {2, 3.5, 3.5, 5, 7.5, 8, 9, 9.5}},
        {"Hot", {7.1, 8.3, 9.05, 9.5, 11.25}},
    };
    std::vector<std::string> words = {"compare", "--json", "--plot", folder.path().string()};
    for (const auto& [name, v] : values) {
        std::string text = name + "\n";
        for (double x : v) text += writeForm(x) + "\n";
        std::ofstream(folder.file(name + ".txt"), std::ios::binary) << text;
        words.push_back(folder.file(name + ".txt"));
    }
    std::ostringstream out, err;
    ASSERT_EQ(runCli(words, out, err), 0) << err.str();
    const nlohmann::json doc = nlohmann::json::parse(out.str());
    for (const auto& pair : doc["pairs"]) {
        const int i = std::min(pair["first_index"].get<int>(), pair["second_index"].get<int>());
        const int j = std::max(pair["first_index"].get<int>(), pair["second_index"].get<int>());
        const fs::path stem = folder.path() / ("pair-" + std::to_string(i) + "-" + std::to_string(j));
        expectBinsHoldEveryDifference(readBins(stem.string() + ".csv"), values.at(pair["first"]),
                                      values.at(pair["second"]), stem.string());
        expectPictures(stem);
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), fs::directory_iterator()), 3 + 9);

    // The window's test of the same two treatments draws the same bins.
    TempFolder run("plot_cartesian");
    const std::string cold =
        test::writeTreatment(run.file("cold.txt"), {.name = "Cold", .replicates = values.at("Cold")});
    const std::string mild =
        test::writeTreatment(run.file("mild.txt"), {.name = "Mild", .replicates = values.at("Mild")});
    std::ostringstream out2, err2;
    ASSERT_EQ(
        runCli({"cartesian", "--dir", run.path().string(), "--plot", run.path().string(), cold, mild}, out2, err2), 0)
        << err2.str();
    std::ostringstream out3, err3;
    ASSERT_EQ(runCli({"compare", "--plot", folder.path().string(), cold, mild}, out3, err3), 0) << err3.str();
    EXPECT_EQ(test::readFile(run.file("pair-1-2.csv")), test::readFile(folder.file("pair-1-2.csv")));
    expectPictures(run.path() / "pair-1-2");
}

TEST(PlotFiles, FolderProblemsAreMessagesThatLeaveNoChartFile) {
    TempFolder folder("plot_missing");
    const std::string a = test::writeTreatment(folder.file("a.txt"), {.code = "A", .replicates = {1, 2, 3, 4}});
    const std::string b = test::writeTreatment(folder.file("b.txt"), {.code = "B", .replicates = {2, 3, 5, 4}});
    for (const std::string command : {"cartesian", "compare"}) {
        std::vector<std::string> words = {command, "--plot", folder.file("missing"), a, b};
        if (command == "cartesian") words.insert(words.begin() + 1, {"--dir", folder.path().string()});
        std::ostringstream out, err;
        EXPECT_EQ(runCli(words, out, err), 1) << command;
        EXPECT_NE(err.str().find("does not exist"), std::string::npos) << err.str();
        EXPECT_TRUE(out.str().empty()) << out.str();
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), fs::directory_iterator()), 2)
        << "no report and no chart was written";

    // A picture that cannot be written takes the pair's CSV, already in place, with it.
    if (!LUMERA_HAVE_CHART_MODULE) GTEST_SKIP() << "this build has no chart module";
    fs::create_directory(folder.file("pair-1-2.png"));
    std::ostringstream out, err;
    EXPECT_EQ(runCli({"compare", "--plot", folder.path().string(), a, b}, out, err), 1);
    EXPECT_NE(err.str().find("Cannot write " + folder.file("pair-1-2.png")), std::string::npos) << err.str();
    EXPECT_FALSE(fs::exists(folder.file("pair-1-2.csv")));
    EXPECT_FALSE(fs::exists(folder.file("pair-1-2.svg")));
}

// --plot of sort and normality: the five files of the values' chart, whose
// classes are counted here again from the values.
TEST(PlotFiles, SortAndNormalityWriteTheFrequencyChartsAndTheirClasses) {
    if (!LUMERA_HAVE_CHART_MODULE) GTEST_SKIP() << "this build has no chart module";
    struct Case {
        const char* name;
        std::vector<double> values;
        std::vector<std::string> csv;  // counted by hand; empty: counted below
    };
    std::vector<double> spread;
    for (int i = 0; i < 90; ++i) spread.push_back(100 + ((i * 53) % 97) * 0.37 + (i % 7) * 0.011);
    const std::vector<Case> cases = {
        // Whole days: a bar per value, none where no value is.
        {"days",
         {3, 4, 4, 5, 5, 5, 6, 6, 7, 10},
         {"lower,upper,count", "2.5,3.5,1", "3.5,4.5,2", "4.5,5.5,3", "5.5,6.5,2", "6.5,7.5,1", "9.5,10.5,1"}},
        // No lattice: equal bins over the range.
        {"weights", spread, {}},
    };
    for (const Case& c : cases) {
        for (const std::string command : {"sort", "normality"}) {
            TempFolder folder(std::string("plot_values_") + c.name + "_" + command);
            std::string text = "\"P\",\"x\",\"V\"\r\n";
            for (double v : c.values) text += writeForm(v) + "\r\n";
            const std::string data = folder.file(std::string(c.name) + ".txt");
            std::ofstream(data, std::ios::binary) << text;
            fs::create_directory(folder.file("plots"));
            std::ostringstream out, err;
            ASSERT_EQ(runCli({command, "--plot", folder.file("plots"), data}, out, err), 0) << err.str();
            const fs::path stem = folder.path() / "plots" / c.name;
            std::vector<std::string> names;
            for (const auto& entry : fs::directory_iterator(folder.path() / "plots"))
                names.push_back(entry.path().filename().string());
            std::sort(names.begin(), names.end());
            const std::string n = c.name;
            EXPECT_EQ(names, (std::vector<std::string>{n + "-classes.csv", n + "-frequency.png", n + "-frequency.svg",
                                                       n + "-probability.png", n + "-probability.svg"}))
                << command;
            expectPictures(stem.string() + "-frequency");
            expectPictures(stem.string() + "-probability");
            // The probability plot is its own picture, not the frequency chart again.
            EXPECT_NE(test::readFile(stem.string() + "-frequency.svg"),
                      test::readFile(stem.string() + "-probability.svg"));
            const std::string csv = test::readFile(stem.string() + "-classes.csv");
            EXPECT_EQ(csv.find('\r'), std::string::npos) << "LF line ends";
            if (!c.csv.empty()) {
                std::string expected;
                for (const std::string& line : c.csv) expected += line + "\n";
                EXPECT_EQ(csv, expected) << command;
                continue;
            }
            const std::vector<Bin> bins = readBins(stem.string() + "-classes.csv");
            ASSERT_GE(bins.size(), 5u);
            long long total = 0;
            for (std::size_t i = 0; i < bins.size(); ++i) {
                const bool last = i + 1 == bins.size();
                const auto count = std::count_if(c.values.begin(), c.values.end(), [&](double v) {
                    return bins[i].lower <= v && (v < bins[i].upper || (last && v == bins[i].upper));
                });
                EXPECT_EQ(bins[i].count, count) << command << " bin " << i;
                total += bins[i].count;
            }
            EXPECT_EQ(total, static_cast<long long>(c.values.size()));
        }
    }
}

TEST(PlotFiles, AMissingPlotFolderWritesNothingAndAFailedChartLeavesNoChartFile) {
    TempFolder folder("plot_values_missing");
    const std::string data = folder.file("d.txt");
    std::ofstream(data, std::ios::binary) << "\"P\",\"x\",\"V\"\r\n1\r\n2\r\n";
    for (const std::string command : {"sort", "normality"}) {
        std::ostringstream out, err;
        EXPECT_EQ(runCli({command, "--plot", folder.file("missing"), data}, out, err), 1) << command;
        EXPECT_NE(err.str().find("does not exist"), std::string::npos) << err.str();
        EXPECT_TRUE(out.str().empty()) << out.str();
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), fs::directory_iterator()), 1)
        << "no sort file and no chart was written";

    // A picture that cannot be written takes the charts' CSV with it; the
    // sort's three files, written before, stay and are named.
    if (!LUMERA_HAVE_CHART_MODULE) GTEST_SKIP() << "this build has no chart module";
    fs::create_directories(folder.file("plots/d-probability.svg"));
    std::ostringstream out, err;
    EXPECT_EQ(runCli({"sort", "--plot", folder.file("plots"), data}, out, err), 1);
    EXPECT_NE(err.str().find("Cannot write " + folder.file("plots/d-probability.svg")), std::string::npos) << err.str();
    EXPECT_NE(err.str().find("the three files above are written"), std::string::npos) << err.str();
    EXPECT_NE(out.str().find(folder.file("d-2_Sorted.txt")), std::string::npos) << out.str();
    EXPECT_TRUE(fs::exists(folder.file("d-3_Sorted and counts.txt")));
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.file("plots")), fs::directory_iterator()), 1)
        << "only the folder in the way is left";
}

}  // namespace
}  // namespace lumera::cli
