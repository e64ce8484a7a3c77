// compare --figure: the values drawn, the files and a failed write.
#include "cli/paper_figure.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <random>
#include <sstream>

#include "analysis/interval_level.h"
#include "support/cli_run.h"
#include "support/treatment_files.h"

namespace lumera::cli {
namespace {

namespace fs = std::filesystem;

// round-half-even((n + 20) / 40) and of (39 n + 20) / 40, 1/40 being 0.025,
// in whole numbers.
std::size_t halfEvenQuotient(std::size_t numerator, std::size_t denominator) {
    const std::size_t whole = numerator / denominator, twice = 2 * (numerator % denominator);
    return whole + (twice > denominator || (twice == denominator && whole % 2 == 1) ? 1 : 0);
}

TEST(PaperFigure, PercentilePositionsAt95PercentAgreeWithWholeNumbers) {
    for (std::size_t b = 2; b <= 20000; ++b) {
        const auto [lower, upper] = percentilePositions(b, analysis::IntervalLevel{});
        ASSERT_EQ(lower, std::max<std::size_t>(1, halfEvenQuotient(b + 20, 40))) << b;
        ASSERT_EQ(upper, std::min(b, halfEvenQuotient(39 * b + 20, 40))) << b;
    }
    // 80 x 0.025 + 0.5 = 2.5 goes to 2; 40 x 0.025 + 0.5 = 1.5 to 2, 40 x 0.975 + 0.5 = 39.5 to 40.
    EXPECT_EQ(percentilePositions(80, analysis::IntervalLevel{}), (std::pair<std::size_t, std::size_t>{2, 78}));
    EXPECT_EQ(percentilePositions(40, analysis::IntervalLevel{}), (std::pair<std::size_t, std::size_t>{2, 40}));
    // 90 %: 100 x 0.05 + 0.5 = 5.5 to 6, 100 x 0.95 + 0.5 = 95.5 to 96.
    EXPECT_EQ(percentilePositions(100, analysis::parseLevel("0.9")->interval),
              (std::pair<std::size_t, std::size_t>{6, 96}));
}

struct CsvRow {
    std::string name;
    double estimate, lower, upper;
    std::string letters;
};

std::vector<CsvRow> readFigureCsv(const std::string& path) {
    std::istringstream in(test::readFile(path));
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, "treatment,estimate,lower,upper,letters");
    std::vector<CsvRow> rows;
    while (std::getline(in, line)) {
        // Names here hold no comma.
        std::vector<std::string> f;
        std::stringstream cells(line);
        for (std::string cell; std::getline(cells, cell, ',');) f.push_back(cell);
        EXPECT_EQ(f.size(), 5u) << line;
        if (f.size() == 5) rows.push_back({f[0], std::stod(f[1]), std::stod(f[2]), std::stod(f[3]), f[4]});
    }
    return rows;
}

struct Treatment {
    std::string name;
    std::vector<double> values;
    std::optional<double> estimate;  // a treatment file when given, else a plain file
};

std::vector<std::string> writeTreatments(const test::TempFolder& folder, const std::vector<Treatment>& all) {
    std::vector<std::string> files;
    for (const Treatment& t : all) {
        const std::string path = folder.file(t.name + ".txt");
        if (t.estimate) {
            test::writeTreatment(path, {.name = t.name, .original = *t.estimate, .replicates = t.values});
        } else {
            std::ofstream out(path);
            out << t.name << "\n";
            for (double v : t.values) out << writeForm(v) << "\n";
        }
        files.push_back(path);
    }
    return files;
}

TEST(PaperFigure, TheCsvHoldsTheEstimatesWithTheirBars) {
    if (!LUMERA_HAVE_CHART_MODULE) GTEST_SKIP() << "this build has no chart module";
    test::TempFolder folder("figure_values");
    // Shuffled, so that the percentile points must come from sorted values;
    // B = 80 and 40 put the lower position on a half (2.5 and 1.5).
    std::mt19937 gen(7);
    auto shuffled = [&gen](std::size_t n, double scale, double shift) {
        std::vector<double> v(n);
        std::iota(v.begin(), v.end(), 1.0);
        for (double& x : v) x = x * scale + shift;
        std::shuffle(v.begin(), v.end(), gen);
        return v;
    };
    // In the order of the tables: by mean (60.25, 24, 6.125), largest first.
    const std::vector<Treatment> all = {{"High", shuffled(80, 0.5, 40), 60.25},
                                        {"Mid", shuffled(7, 1, 20), 23.5},
                                        {"Low", shuffled(40, 0.25, 1), std::nullopt}};
    const std::vector<std::string> files = writeTreatments(folder, all);
    for (const bool ci : {false, true}) {
        SCOPED_TRACE(ci ? "ci" : "se");
        std::vector<std::string> words = {"compare", "--figure", folder.file("fig.svg")};
        if (ci) words.insert(words.end(), {"--bars", "ci"});
        words.insert(words.end(), files.begin(), files.end());
        const test::CliRun run = test::cli(words);
        ASSERT_EQ(run.code, 0) << run.err;
        const std::vector<CsvRow> rows = readFigureCsv(folder.file("fig.csv"));
        ASSERT_EQ(rows.size(), 3u);
        for (std::size_t i = 0; i < 3; ++i) {
            const Treatment& t = all[i];
            EXPECT_EQ(rows[i].name, t.name);
            const double mean = std::accumulate(t.values.begin(), t.values.end(), 0.0) / t.values.size();
            double squares = 0;
            for (double v : t.values) squares += (v - mean) * (v - mean);
            const double se = std::sqrt(squares / (t.values.size() - 1));
            const double estimate = t.estimate.value_or(mean);
            EXPECT_EQ(rows[i].estimate, estimate) << t.name;
            if (!ci) {
                EXPECT_NEAR(rows[i].lower, estimate - se, 1e-12 * std::abs(estimate)) << t.name;
                EXPECT_NEAR(rows[i].upper, estimate + se, 1e-12 * std::abs(estimate)) << t.name;
                continue;
            }
            std::vector<double> sorted = t.values;
            std::sort(sorted.begin(), sorted.end());
            const std::size_t b = sorted.size();
            // By hand: B 80 -> 2 and 78; B 40 -> 2 and 40; B 7 -> 1 (0.675) and 7 (7.325).
            const std::size_t lower = b == 80 ? 2 : b == 40 ? 2 : 1;
            const std::size_t upper = b == 80 ? 78 : b == 40 ? 40 : 7;
            EXPECT_EQ(rows[i].lower, sorted[lower - 1]) << t.name;
            EXPECT_EQ(rows[i].upper, sorted[upper - 1]) << t.name;
        }
        EXPECT_EQ(rows[0].letters, "a");
        EXPECT_EQ(rows[2].letters, "c");
    }
}

std::uint32_t bigEndian(const std::string& bytes, std::size_t at) {
    std::uint32_t v = 0;
    for (std::size_t k = 0; k < 4; ++k) v = v << 8 | static_cast<unsigned char>(bytes[at + k]);
    return v;
}

TEST(PaperFigure, PngAt300DpiSvgAndPdf) {
    if (!LUMERA_HAVE_CHART_MODULE) GTEST_SKIP() << "this build has no chart module";
    test::TempFolder folder("figure_files");
    const std::vector<std::string> files =
        writeTreatments(folder, {{"A", {1, 2, 3, 4}, 2.5}, {"B", {5, 6, 7, 9}, std::nullopt}});
    for (const std::string name : {"f.png", "f.svg", "f.pdf"}) {
        SCOPED_TRACE(name);
        std::vector<std::string> words = {"compare", "--figure", folder.file(name), "--label", "R0 & more"};
        words.insert(words.end(), files.begin(), files.end());
        const test::CliRun run = test::cli(words);
        ASSERT_EQ(run.code, 0) << run.err;
        EXPECT_TRUE(fs::exists(folder.file("f.csv")));
        const std::string bytes = test::readFile(folder.file(name));
        if (name == "f.png") {
            ASSERT_EQ(bytes.compare(0, 8, "\x89PNG\r\n\x1a\n"), 0);
            EXPECT_EQ(bigEndian(bytes, 16), 2400u);
            EXPECT_EQ(bigEndian(bytes, 20), 1600u);
            // pHYs: dots per metre in x and y, unit 1 (the metre); 300 / 0.0254.
            const std::size_t at = bytes.find("pHYs");
            ASSERT_NE(at, std::string::npos);
            EXPECT_EQ(bigEndian(bytes, at + 4), 11811u);
            EXPECT_EQ(bigEndian(bytes, at + 8), 11811u);
            EXPECT_EQ(bytes[at + 12], 1);
        } else if (name == "f.svg") {
            EXPECT_EQ(bytes.rfind("<?xml", 0), 0u);
            EXPECT_NE(bytes.find("<svg"), std::string::npos);
            EXPECT_NE(bytes.find("</svg>"), std::string::npos);
            EXPECT_NE(bytes.find("R0 &amp; more"), std::string::npos) << "the axis title";
        } else {
            EXPECT_EQ(bytes.rfind("%PDF-", 0), 0u);
            EXPECT_NE(bytes.find("%%EOF", bytes.size() - 8), std::string::npos);
        }
    }
}

TEST(PaperFigure, AFailedWriteLeavesNothing) {
    test::TempFolder folder("figure_fails");
    const std::vector<std::string> files = writeTreatments(folder, {{"A", {1, 2, 3}, 2}, {"B", {4, 5, 7}, 5}});
    std::vector<std::string> names = folder.names();
    // A folder where the figure should go: the picture fails, its CSV goes too.
    fs::create_directory(folder.file("fig.png"));
    names = folder.names();
    std::vector<std::string> words = {"compare", "--csv", folder.file("pairs.csv"), "--figure", folder.file("fig.png")};
    words.insert(words.end(), files.begin(), files.end());
    const test::CliRun run = test::cli(words);
    EXPECT_EQ(run.code, 1);
    EXPECT_EQ(run.out, "");
    if (LUMERA_HAVE_CHART_MODULE) {
        EXPECT_NE(run.err.find("Cannot write " + folder.file("fig.png")), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("the figure (--figure) failed; the CSV " + folder.file("pairs.csv") + " is written"),
                  std::string::npos)
            << run.err;
        names.push_back("pairs.csv");
        std::sort(names.begin(), names.end());
    } else {
        EXPECT_NE(run.err.find("has no chart module"), std::string::npos) << run.err;
    }
    EXPECT_EQ(folder.names(), names) << "no figure CSV, no temporary file";
    // A folder that is not there: refused before the comparison, nothing written.
    words = {"compare", "--figure", folder.file("missing/fig.pdf"), files[0], files[1]};
    const test::CliRun missing = test::cli(words);
    EXPECT_EQ(missing.code, 1);
    EXPECT_EQ(missing.out, "");
    EXPECT_NE(missing.err.find("does not exist"), std::string::npos) << missing.err;
    EXPECT_EQ(folder.names(), names);
}

}  // namespace
}  // namespace lumera::cli
