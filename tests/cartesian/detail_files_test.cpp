#include "cartesian/detail_files.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <random>

#include "shell/program.h"
#include "support/fake_services.h"
#include "support/file_size_limit.h"
#include "support/program_fixture.h"
#include "support/scripted_dialogs.h"
#include "support/treatment_files.h"
#include "textio/number_forms.h"

namespace lumera {
namespace {

using test::TreatmentSpec;

const char* const kCountTitle = "Read data file one by one for paired comparison using Cartesian Product";
const char* const kFlowName = "25A-Cartesian diff_0_Flow.txt";

std::string detailName(const std::string& code, DetailFiles::Kind kind, int i = 1, int j = 2) {
    return detailFileName("25A-Cartesian diff", code, i, j, kind);
}

bool isDetailFile(const std::string& name) {
    for (const char* prefix : {"_5-", "_6-", "_7-", "_9-", "_10-", "_11-"})
        if (name.find(std::string("25A-Cartesian diff") + prefix) == 0) return true;
    return false;
}

class DetailFilesTest : public test::ProgramTest {
protected:
    void expectStart(bool flow, bool differences, const std::vector<std::string>& files) {
        dialogs.expectMessage("Do you need detailed info?", std::nullopt, Answer::Yes);
        dialogs.expectMessage("Do you need flow record?", std::nullopt, flow ? Answer::Yes : Answer::No);
        dialogs.expectMessage("Detailed differences", std::nullopt, differences ? Answer::Yes : Answer::No);
        dialogs.expectMessage("Reversed sort", std::nullopt, Answer::No);
        dialogs.expectInput(kCountTitle, std::nullopt, std::to_string(files.size()));
        dialogs.expectInput("Transformation?", std::nullopt, "0");
        for (std::size_t t = 0; t < files.size(); ++t)
            dialogs.expectOpenFile("Input treatment " + std::to_string(t + 1), files[t]);
    }

    Program::Outcome run(bool flow, bool differences, const std::vector<std::string>& files) {
        expectStart(flow, differences, files);
        dialogs.expectInput("Add a code to the output filename?", std::nullopt, "1");
        dialogs.expectMessage("Task completed", std::nullopt, Answer::Ok);
        return program.click("cmdCartesianDifference");
    }

    std::string read(const std::string& name) { return test::readFile(folder.file(name)); }

    std::vector<std::string> detailFiles() {
        std::vector<std::string> found;
        for (const std::string& n : folder.names())
            if (isDetailFile(n)) found.push_back(n);
        return found;
    }
};

// Means 3 and 2 (D = 1, 2D = 2). The eight differences in the engine's
// order are .5, -.5, 1, 0, 1.5, .5, 3, 2: significant are .5, 1, 1.5, .5;
// a negative one, a zero, one above 2D and one equal to it are not.
TEST_F(DetailFilesTest, AllSixFilesOfASmallPairByteForByte) {
    std::string high = treatment(
        "high.txt", {.name = "High", .code = "H", .sampleSize = 12, .original = 3.25, .replicates = {2, 2.5, 3, 4.5}});
    std::string low =
        treatment("low.txt", {.name = "Low", .code = "L", .sampleSize = 8, .original = 1.75, .replicates = {1.5, 2.5}});
    ASSERT_EQ(run(false, true, {low, high}), Program::Outcome::Done);

    EXPECT_EQ(detailName("H", DetailFiles::All), "25A-Cartesian diff_5-H-1 to 2_diff-All (for N. sort).txt");
    EXPECT_EQ(read(detailName("H", DetailFiles::All)),
              "\"High vs Low\"\r\n"
              "\"Next lines are the bootstrap number B, treament code, and Cartesian C\"\r\n"
              "4\r\n"
              "\"H vs L\"\r\n"
              "8\r\n"
              "\"Original means\",3.25,1.75\r\n"
              "\"Cart. number\",\"Cart. Difference\"\r\n"
              "1,.5\r\n2,-.5\r\n3,1\r\n4,0\r\n5,1.5\r\n6,.5\r\n7,3\r\n8,2\r\n");
    EXPECT_EQ(read("25A-Cartesian diff_6-H-1 to 2_diff to mean diff.txt"),
              "\"High vs Low\"\r\n"
              "\"Next line is effective bootstrap number (B)\"\r\n"
              "4\r\n"
              "\"HL\"\r\n"
              "16\r\n"
              "8\r\n"
              "8\r\n"
              "\"Treatment sample sizes are 12 and 8\"\r\n"
              "\"Original means\",3.25,1.75\r\n"
              "\"Cart. number\",\"Difference to original difference\"\r\n"
              "1,-.5\r\n2,-1.5\r\n3,0\r\n4,-1\r\n5,.5\r\n6,-.5\r\n7,2\r\n8,1\r\n");

    const std::string sigHead =
        "\"High vs Low\"\r\n"
        "\"Next line is effective bootstrap number (B)\"\r\n"
        "\"4 (actual number of sign. can be less)\"\r\n"
        "\"H vs L\"\r\n"
        "\"16 (actual number of sign. diff. can be less)\"\r\n"
        "8\r\n"
        "\"Treatment sample sizes are 12 and 8\"\r\n"
        "\"Original means\",3.25,1.75\r\n";
    EXPECT_EQ(read("25A-Cartesian diff_7-H-1 to 2_diff-SigA.txt"),
              sigHead + "\"Serial no. of sig. diff.\",\"Sig. difference\"\r\n1,.5\r\n2,1\r\n3,1.5\r\n4,.5\r\n");
    EXPECT_EQ(read("25A-Cartesian diff_9-H-1 to 2_diff-SigB.txt"),
              sigHead + "\"Cart. prod. number\",\"Sig. difference\"\r\n1,.5\r\n3,1\r\n5,1.5\r\n6,.5\r\n");

    const std::string insigHead =
        "\"High vs Low\"\r\n"
        "\"Next line is effective bootstrap number (B)\"\r\n"
        "\"4 (actual number of insign. diff. can be less)\"\r\n"
        "\"H vs L\"\r\n"
        "\"16 (actual number of insign. diff. can be less)\"\r\n"
        "8\r\n"
        "\"Treatment sample sizes are 12 and 8\"\r\n"
        "\"Original means\",3.25,1.75\r\n";
    EXPECT_EQ(read("25A-Cartesian diff_10-H-1 to 2_diff-inSigA.txt"),
              insigHead + "\"Serial no. of insig. diff.\",\"Insig. difference\"\r\n1,-.5\r\n2,0\r\n3,3\r\n4,2\r\n");
    EXPECT_EQ(read("25A-Cartesian diff_11-H-1 to 2_diff-inSigB.txt"),
              insigHead + "\"Cart. prod. number\",\"Insig. difference\"\r\n2,-.5\r\n4,0\r\n7,3\r\n8,2\r\n");
    EXPECT_EQ(detailFiles().size(), 6u);
    // The engine's own counts agree with the files.
    EXPECT_EQ(program.state().CountSignificant[1][2], 4);
    EXPECT_EQ(program.state().CountInsignificant[1][2], 4);
}

// Identical treatments of B = 11: all 121 differences are insignificant and
// the counters must carry past 9 and 99.
TEST_F(DetailFilesTest, IdenticalTreatmentsLeaveTheSignificantFilesEmpty) {
    std::vector<double> values;
    for (int k = 1; k <= 11; ++k) values.push_back(k * 0.25);
    std::string a = treatment("a.txt", {.name = "Same", .code = "S", .replicates = values});
    std::string b = treatment("b.txt", {.name = "Same", .code = "S", .replicates = values});
    ASSERT_EQ(run(false, true, {a, b}), Program::Outcome::Done);

    for (DetailFiles::Kind kind : {DetailFiles::SigA, DetailFiles::SigB}) {
        const std::string text = read(detailName("S", kind));
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 9) << text;
    }
    const std::string serial = read(detailName("S", DetailFiles::InsigA));
    const std::string product = read(detailName("S", DetailFiles::InsigB));
    const std::string all = read(detailName("S", DetailFiles::All));
    // Without significant differences, s' runs with c: both files are alike past the header.
    const std::string insigRecords = serial.substr(serial.find("difference\"\r\n") + 13);
    EXPECT_EQ(insigRecords, product.substr(product.find("difference\"\r\n") + 13));
    EXPECT_EQ(insigRecords, all.substr(all.find("Cart. Difference\"\r\n") + 19));

    // Every record numbered by its position; d = b - a of the replicates.
    std::size_t at = 0;
    for (int c = 1; c <= 121; ++c) {
        const int a1 = (c - 1) / 11 + 1, b1 = (c - 1) % 11 + 1;
        const std::string expected = std::to_string(c) + "," + writeForm(b1 * 0.25 - a1 * 0.25) + "\r\n";
        ASSERT_EQ(insigRecords.compare(at, expected.size(), expected), 0) << "record " << c;
        at += expected.size();
    }
    EXPECT_EQ(at, insigRecords.size());
}

TEST_F(DetailFilesTest, OffCreatesNoDetailFileWhileTheFlowRecordGoesOn) {
    std::string a = treatment("a.txt", {.replicates = {1, 2, 3}});
    std::string b = treatment("b.txt", {.replicates = {3, 4, 5}});
    ASSERT_EQ(run(true, false, {a, b}), Program::Outcome::Done);
    EXPECT_TRUE(detailFiles().empty());
    program.closeAllFiles();
    EXPECT_EQ(read(kFlowName),
              "Sub CartesianDifference2\r\nSub QuickSort\r\nSub PrintMultiCIofDifference\r\n"
              "Sub PrintPairTestTable\r\nSub ShowMultiCIofDifference\r\n");

    // With them on, the flow record gets the same lines and three treatments give three sets.
    std::string c = treatment("c.txt", {.replicates = {2, 2.5, 4}});
    ASSERT_EQ(run(true, true, {a, b, c}), Program::Outcome::Done);
    EXPECT_EQ(detailFiles().size(), 18u);
    EXPECT_FALSE(read(detailName("A", DetailFiles::All, 2, 3)).empty());
    program.closeAllFiles();
    EXPECT_EQ(read(kFlowName),
              "Sub CartesianDifference2\r\nSub QuickSort\r\nSub QuickSort\r\nSub QuickSort\r\n"
              "Sub PrintMultiCIofDifference\r\nSub PrintPairTestTable\r\nSub ShowMultiCIofDifference\r\n");
}

TEST_F(DetailFilesTest, AFileThatCannotBeCreatedEndsTheRunAndLeavesNoDetailFile) {
    std::string a = treatment("a.txt", {.code = "A", .replicates = {1, 2, 3}});
    std::string b = treatment("b.txt", {.code = "A", .replicates = {3, 4, 5}});

    // A missing folder: the first file cannot be made.
    program.pinWorkingFolder(folder.file("no such folder"));
    expectStart(false, true, {a, b});
    dialogs.expectMessage("Detail difference files", std::nullopt, Answer::Ok);
    EXPECT_EQ(program.click("cmdCartesianDifference"), Program::Outcome::Failed);
    EXPECT_NE(dialogs.lastText().find(folder.file("no such folder/" + detailName("A", DetailFiles::All))),
              std::string::npos)
        << dialogs.lastText();
    EXPECT_FALSE(program.form1().Label2.visible);
    EXPECT_FALSE(std::filesystem::exists(folder.file("no such folder")));

    // The last file opened is blocked: the five made before it go again.
    program.pinWorkingFolder(folder.path().string());
    const std::string blocked = detailName("A", DetailFiles::ToMean);
    std::filesystem::create_directory(folder.file(blocked));
    expectStart(false, true, {a, b});
    dialogs.expectMessage("Detail difference files", std::nullopt, Answer::Ok);
    EXPECT_EQ(program.click("cmdCartesianDifference"), Program::Outcome::Failed);
    EXPECT_NE(dialogs.lastText().find(folder.file(blocked)), std::string::npos) << dialogs.lastText();
    EXPECT_EQ(detailFiles(), std::vector<std::string>{blocked});  // only the folder in its way
    EXPECT_EQ(program.state().OutputFileName, detailName("A", DetailFiles::All));
    for (const std::string& n : folder.names()) EXPECT_EQ(n.find("results"), std::string::npos) << n;
}

// A full disk part way through: the write fails, the message names a file
// of the pair, none of its new files is left and the complete set of an
// earlier run stays as it was.
TEST_F(DetailFilesTest, AFullDiskEndsTheRunAndKeepsTheEarlierFiles) {
    std::vector<double> many(400);
    for (int r = 0; r < 400; ++r) many[r] = 1 + r * 0.001;
    std::string a = treatment("a.txt", {.code = "A", .replicates = {1, 2, 3}});
    std::string b = treatment("b.txt", {.code = "B", .replicates = {0.5, 0.5}});
    ASSERT_EQ(run(false, true, {a, b}), Program::Outcome::Done);
    std::vector<std::string> earlier;
    for (const std::string& name : detailFiles()) earlier.push_back(read(name));
    ASSERT_EQ(earlier.size(), 6u);
    for (const std::string& name : folder.names())
        if (name.find("results") != std::string::npos) std::filesystem::remove(folder.file(name));

    treatment("a.txt", {.code = "A", .replicates = many});
    treatment("b.txt", {.code = "B", .replicates = std::vector<double>(400, 0.5)});
    expectStart(false, true, {a, b});
    dialogs.expectMessage("Detail difference files", std::nullopt, Answer::Ok);
    {
        test::FileSizeLimit full(64 << 10);
        EXPECT_EQ(program.click("cmdCartesianDifference"), Program::Outcome::Failed);
    }
    EXPECT_EQ(dialogs.lastText().rfind("Cannot write the file:\n" + folder.file("25A-Cartesian diff_"), 0), 0u)
        << dialogs.lastText();
    std::vector<std::string> after;
    for (const std::string& name : detailFiles()) after.push_back(read(name));
    EXPECT_TRUE(after == earlier);
    for (const std::string& n : folder.names()) {
        EXPECT_EQ(n.find("results"), std::string::npos) << n;
        EXPECT_EQ(n.find(".lumera-"), std::string::npos) << n;
    }
}

// The records are formed in chunks on two threads: across many chunks, with
// rows shorter and longer than a chunk and in both directions, every file
// must hold exactly what one straightforward loop writes.
TEST_F(DetailFilesTest, ChunkedRecordsMatchASingleLoop) {
    RunState& s = program.state();
    s.FileStem = "25A-Cartesian diff";
    s.TreatCode[1] = "P";
    std::mt19937_64 gen(7);
    std::uniform_real_distribution<double> spread(-3, 3);
    struct Shape {
        std::int32_t firstCount, secondCount;
        bool firstMinusSecond;
    };
    for (const Shape shape : {Shape{41, 997, true}, Shape{3, 20011, false}, Shape{257, 5, true}}) {
        std::vector<double> first(shape.firstCount), second(shape.secondCount);
        for (double& x : first) x = 10 + spread(gen);
        for (double& x : second) x = 9 + spread(gen);
        second[1] = first[0];  // a zero difference
        const double D = 1.0;
        s.BootCount[1] = shape.firstCount;
        s.BootCount[2] = shape.secondCount;
        s.BootCountValue[1] = shape.firstCount;
        s.BootCountValue[2] = shape.secondCount;
        std::array<std::string, DetailFiles::KindCount> headers, paths;
        {
            DetailFiles files(program, 1, 2);
            paths = files.paths();
            files.close();
        }
        for (int k = 0; k < DetailFiles::KindCount; ++k) headers[k] = test::readFile(paths[k]);
        std::array<std::string, DetailFiles::KindCount> want = headers;
        std::int64_t c = 0, sig = 0, insig = 0;
        for (double x : first)
            for (double y : second) {
                const double d = shape.firstMinusSecond ? x - y : y - x;
                const std::string n = std::to_string(++c), value = writeForm(d);
                want[DetailFiles::All] += n + "," + value + "\r\n";
                want[DetailFiles::ToMean] += n + "," + writeForm(d - D) + "\r\n";
                const bool significant = d > 0 && d < 2 * D;
                const auto a = significant ? DetailFiles::SigA : DetailFiles::InsigA;
                const auto b = significant ? DetailFiles::SigB : DetailFiles::InsigB;
                want[a] += std::to_string(significant ? ++sig : ++insig) + "," + value + "\r\n";
                want[b] += n + "," + value + "\r\n";
            }
        ASSERT_GT(sig, 0);
        ASSERT_GT(insig, 0);
        {
            DetailFiles files(program, 1, 2);
            files.writeDifferences({.outer = first.data(),
                                    .outerCount = shape.firstCount,
                                    .inner = second.data(),
                                    .innerCount = shape.secondCount,
                                    .outerMinusInner = shape.firstMinusSecond,
                                    .meanDifference = D});
            files.close();
        }
        for (int k = 0; k < DetailFiles::KindCount; ++k)
            EXPECT_TRUE(test::readFile(paths[k]) == want[k])
                << paths[k] << " for " << shape.firstCount << " x " << shape.secondCount;
    }
}

// Straight from the writer: progress rises to the total, and a pair left
// unclosed takes its files with it.
TEST_F(DetailFilesTest, ProgressStepsAndAnUnclosedPairIsRemoved) {
    RunState& s = program.state();
    s.FileStem = "25A-Cartesian diff";
    s.TreatCode[1] = "P";
    s.BootCount[1] = 300;
    s.BootCount[2] = 700;
    s.BootCountValue[1] = 300;
    s.BootCountValue[2] = 700;
    std::vector<double> first(300, 2.0), second(700, 1.0);
    std::vector<std::pair<std::int64_t, std::int64_t>> seen;
    {
        DetailFiles files(program, 1, 2);
        EXPECT_EQ(s.OutputFileName, detailName("P", DetailFiles::All));
        files.writeDifferences({.outer = first.data(),
                                .outerCount = 300,
                                .inner = second.data(),
                                .innerCount = 700,
                                .meanDifference = 1.0},
                               [&](std::int64_t done, std::int64_t total) { seen.emplace_back(done, total); });
        // Until they are complete, the files stand under temporary names.
        EXPECT_TRUE(detailFiles().empty());
        EXPECT_EQ(folder.names().size(), 6u);
    }
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back(), std::make_pair(std::int64_t{210'000}, std::int64_t{210'000}));
    for (std::size_t k = 0; k < seen.size(); ++k) {
        EXPECT_EQ(seen[k].second, 210'000);
        if (k > 0) {
            EXPECT_GT(seen[k].first, seen[k - 1].first);
        }
    }
    EXPECT_TRUE(detailFiles().empty());
}

// Stands for the window's progress box: Cancel is pressed after the first
// chunk of the pair named.
class CancellingProgress : public Progress {
public:
    CancellingProgress(Progress& window, int i, int j) : window_(window), i_(i), j_(j) {}
    void runStarted(const std::string& busy) override { window_.runStarted(busy); }
    void runBegan(const std::string& began) override { window_.runBegan(began); }
    void pairStarted(int i, int j) override {
        window_.pairStarted(i, j);
        inPair_ = i == i_ && j == j_;
    }
    void detailFiles(int i, int j, int percent) override { window_.detailFiles(i, j, percent); }
    void sorting(int i, int j) override { window_.sorting(i, j); }
    void pairDone(int i, int j, const DateTime& now) override { window_.pairDone(i, j, now); }
    bool cancelRequested() override {
        if (inPair_) ++asked_;
        return asked_ > 1;
    }
    int asked() const { return asked_; }

private:
    Progress& window_;
    int i_, j_;
    bool inPair_ = false;
    int asked_ = 0;
};

// Cancel during the second pair: its files go (written or half-written),
// the first pair's stay, the run ends with its message and no report, and
// the window is ready for the next run.
TEST_F(DetailFilesTest, ACancelledRunKeepsOnlyTheFinishedPairsFiles) {
    std::vector<double> high(400), middle(400), low(400);
    for (int r = 0; r < 400; ++r) {
        high[r] = 3 + r * 0.001;
        middle[r] = 2 + r * 0.001;
        low[r] = 1 + r * 0.001;
    }
    std::vector<std::string> files = {treatment("h.txt", {.code = "H", .replicates = high}),
                                      treatment("m.txt", {.code = "M", .replicates = middle}),
                                      treatment("l.txt", {.code = "L", .replicates = low})};
    CancellingProgress cancelling(program.form1(), 1, 3);
    program.setProgress(&cancelling);
    expectStart(false, true, files);
    dialogs.expectMessage("Run cancelled",
                          "The run was cancelled. No report was written; the detail files of the pair in progress "
                          "were removed.",
                          Answer::Ok, Buttons::Ok);
    EXPECT_EQ(program.click("cmdCartesianDifference"), Program::Outcome::Cancelled);
    program.setProgress(nullptr);
    EXPECT_GT(cancelling.asked(), 1) << "the pair was cut short at a chunk";

    int firstPair = 0;
    for (const std::string& n : detailFiles()) {
        EXPECT_NE(n.find("-1 to 2"), std::string::npos) << n;
        firstPair += n.find("-1 to 2") != std::string::npos;
    }
    EXPECT_EQ(firstPair, 6);
    for (const std::string& n : folder.names()) {
        EXPECT_EQ(n.find("results"), std::string::npos) << n;
        EXPECT_EQ(n.find(".lumera-"), std::string::npos) << n;
    }
    EXPECT_FALSE(program.form1().Label2.visible);
    EXPECT_TRUE(program.form1().cmdCartesianDifference.enabled);

    // The next run is whole.
    EXPECT_EQ(run(false, false, files), Program::Outcome::Done);
    int reports = 0;
    for (const std::string& n : folder.names()) reports += n.find("results") != std::string::npos;
    EXPECT_EQ(reports, 1);
}

}  // namespace
}  // namespace lumera
