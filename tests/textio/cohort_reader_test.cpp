#include "textio/cohort_reader.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "textio/user_error.h"

namespace lumera {
namespace {

std::string refusal(const std::string& content, const std::string& label = "c.csv") {
    try {
        parseCohort(content, label, "lifetable");
    } catch (const UserError& e) {
        EXPECT_EQ(e.title(), "lifetable");
        return e.text();
    }
    return "(accepted)";
}

const std::string kHeader = "id,sex,egg,L1,L2,adult,d1,d2,d3\n";

TEST(CohortReader, EveryRefusalNamesTheLineAndTheColumn) {
    struct Case {
        const char* what;
        std::string content;
        std::string message;  // the whole text
    };
    const std::vector<Case> cases = {
        {"an empty file", "", "c.csv: no header (the file holds no row)"},
        {"only comments and blanks", "# x\n\n  \n,,,\n", "c.csv: no header (the file holds no row)"},
        {"a first row without id and sex", "# c\nsex,id,egg,adult\n1,F,1,1\n",
         "c.csv, line 2: no header: the first row must begin with the columns id and sex, then the stages and adult"},
        {"no stage column", "id,sex,adult,d1\n",
         "c.csv, line 1: no stage column: the header needs at least one stage "
         "between sex and adult"},
        {"no adult column", "id,sex,egg,L1\n",
         "c.csv, line 1: no adult column: the header needs id, sex, the stages, then adult"},
        {"no individual", "id,sex,egg,adult\n# none yet\n", "c.csv, line 2: no individual after the header"},
        {"a duplicate stage", "id,sex,egg,L1,l1,adult\n",
         "c.csv, line 1, column 5: the stage name \"l1\" repeats \"L1\" (stage names are compared without regard to "
         "case)"},
        {"a reserved stage", "id,sex,egg,Female,adult\n",
         "c.csv, line 1, column 4: the stage name \"Female\" is reserved for the adult stages female and male"},
        {"a stage name unfit for a file name", "id,sex,egg,L 1,adult\n",
         "c.csv, line 1, column 4: the stage name \"L 1\" may hold only letters A-Z, digits, _ and -"},
        {"an empty header cell before the last", "id,sex,egg,,adult\n",
         "c.csv, line 1, column 4: an empty header cell before the last named column"},
        {"an unknown sex", kHeader + "1,F,1,1,1,2\n2,X,1,1,1,2\n",
         "c.csv, line 3, column sex: \"X\" is not a sex: F (female), M (male) or N (died before it became adult)"},
        {"an empty sex", kHeader + "1,,1,1,1,2\n",
         "c.csv, line 2, column sex: \"\" is not a sex: F (female), M "
         "(male) or N (died before it became adult)"},
        {"a missing stage of a female", kHeader + "1,F,1,,1,2\n",
         "c.csv, line 2, column L1: empty, but an F row needs the days of every stage and of the adult"},
        {"a row of a male that stops early", kHeader + "1,M,2\n",
         "c.csv, line 2, column L1: empty, but an M row needs the days of every stage and of the adult"},
        {"a missing adult longevity", kHeader + "1,F,1,1,1\n",
         "c.csv, line 2, column adult: empty, but an F row needs the days of every stage and of the adult"},
        {"a fraction of a day", kHeader + "1,F,1,3.5,1,2\n",
         "c.csv, line 2, column L1: \"3.5\" is not a whole number of days"},
        {"a sign", kHeader + "1,F,+1,3,1,2\n", "c.csv, line 2, column egg: \"+1\" is not a whole number of days"},
        {"an exponent", kHeader + "1,F,1,3,1e1,2\n", "c.csv, line 2, column L2: \"1e1\" is not a whole number of days"},
        {"a quoted number with a space", kHeader + "1,F,1,3,\"1 2\",2\n",
         "c.csv, line 2, column L2: \"1 2\" is not a whole number of days"},
        {"a stage of 0 days", kHeader + "1,F,1,0,1,2\n",
         "c.csv, line 2, column L1: \"0\" days: at least 1 is required"},
        {"an adult of 0 days", kHeader + "1,M,1,1,1,0\n",
         "c.csv, line 2, column adult: \"0\" days: at least 1 is required"},
        {"a duration past the limit", kHeader + "1,F,100001,1,1,2\n",
         "c.csv, line 2, column egg: \"100001\" days is more than the limit of 100000"},
        {"a huge duration", kHeader + "1,F,99999999999999999999999,1,1,2\n",
         "c.csv, line 2, column egg: \"99999999999999999999999\" days is more than the limit of 100000"},
        {"an age at death past the limit", kHeader + "1,F,50000,49000,1000,1\n",
         "c.csv, line 2, column adult: the age at death, 100001 days, is past the limit of 100000 days"},
        {"an N dying past the limit", kHeader + "1,N,50000,50001\n",
         "c.csv, line 2, column L1: the age at death, 100001 days, is past the limit of 100000 days"},
        {"eggs past the limit", kHeader + "1,F,1,1,1,3,1000000001\n",
         "c.csv, line 2, column d1: \"1000000001\" eggs is more than the limit of 1000000000"},
        {"eggs not whole", kHeader + "1,F,1,1,1,3,2,x\n",
         "c.csv, line 2, column d2: \"x\" is not a whole number of eggs"},
        {"a gap between stages", kHeader + "1,N,2,,3\n",
         "c.csv, line 2, column L1: empty, but a later stage (L2) is given: an N row gives every stage up to the one "
         "in "
         "which it died"},
        {"an N with no stage", kHeader + "1,N,,,,\n",
         "c.csv, line 2, column egg: empty, but an N row needs the days it lived in at least its first stage"},
        {"an N with an adult longevity", kHeader + "1,n,2,2,2,4\n",
         "c.csv, line 2, column adult: \"4\": an N individual (died before it became adult) has no adult longevity"},
        {"eggs of a male", kHeader + "1,M,1,1,1,3,0,5\n", "c.csv, line 2, column d2: \"5\": a male lays no eggs"},
        {"eggs of an N", kHeader + "1,N,1,1,1,,2\n",
         "c.csv, line 2, column d1: \"2\": an N individual (died before it became adult) lays no eggs"},
        {"eggs after a female's last day", kHeader + "1,F,1,1,1,2,4,0,1\n",
         "c.csv, line 2, column d3: \"1\" eggs on adult day 3, after the female's last day (adult 2)"},
        {"a field past the header", kHeader + "1,F,1,1,1,3,1,2,3,,7\n",
         "c.csv, line 2, column 11: \"7\" lies past the header's last column (d3)"},
        {"an unclosed quote", kHeader + "\"1,F,1,1,1,3\n",
         "c.csv, line 2, column id: the quote is not closed on its line (a quoted field holds no line end)"},
        {"text after a closing quote", kHeader + "\"1\"x,F,1,1,1,3\n",
         "c.csv, line 2, column id: only spaces may follow the closing quote before the comma"},
        {"an unclosed quote in the header", "id,sex,\"egg,adult\n",
         "c.csv, line 1, column 3: the quote is not closed on its line (a quoted field holds no line end)"},
        {"bytes that are not UTF-8", kHeader + "# ok\n1,F,1,1,1,3\nm\xE9re,F,1,1,1,3\n",
         "c.csv, line 4: byte 2 of the line (0xE9) is not UTF-8 text; save the file as UTF-8."},
        {"an overlong encoding", kHeader + "\xC0\xAF,F,1,1,1,3\n",
         "c.csv, line 2: byte 1 of the line (0xC0) is not UTF-8 text; save the file as UTF-8."},
        {"a surrogate", kHeader + "\xED\xA0\x80,F,1,1,1,3\n",
         "c.csv, line 2: byte 1 of the line (0xED) is not UTF-8 text; save the file as UTF-8."},
        {"a truncated sequence at the end", kHeader + "1,F,1,1,1,3\n\xE2\x82",
         "c.csv, line 3: byte 1 of the line (0xE2) is not UTF-8 text; save the file as UTF-8."},
    };
    for (const Case& c : cases) EXPECT_EQ(refusal(c.content), c.message) << c.what;
}

TEST(CohortReader, ReadsTheFormatsSpreadsheetsWrite) {
    // BOM, CR LF, comments, blank and empty rows, quotes, padded header,
    // letter case, rows that stop early.
    const std::string text =
        "\xEF\xBB\xBF# a comment\r\n"
        "\r\n"
        "ID , Sex,egg,L1,ADULT,d1,d2,d3,,,\r\n"
        "   \t \r\n"
        ",,,,,,,,,\r\n"
        "\"a, \"\"first\"\"\",f, 2 ,3,3,0,4,2,,\r\n"
        "\"#2\",F,2,2,2,3\r\n"
        "m\xC3\xA4nnlich,m,2,3,4,0,,0\r\n"
        "4,N,2,1,,0,\r\n"
        "5,N,1\r\n"
        "6,F,3,2,1,0,0,0\n"
        "  # not a comment: the line begins with a space,F,1,1,1\n";
    const CohortRecords r = parseCohort(text, "x.csv", "t");
    EXPECT_EQ(r.stages, (std::vector<std::string>{"egg", "L1"}));
    EXPECT_EQ(r.ids, (std::vector<std::string>{"a, \"first\"", "#2", "m\xC3\xA4nnlich", "4", "5", "6",
                                               "# not a comment: the line begins with a space"}));
    EXPECT_EQ(r.sex, (std::vector<char>{'F', 'F', 'M', 'N', 'N', 'F', 'F'}));
    EXPECT_EQ(r.durations, (std::vector<std::int32_t>{2, 3, 2, 2, 2, 3, 2, 1, 1, 0, 3, 2, 1, 1}));
    EXPECT_EQ(r.adult, (std::vector<std::int32_t>{3, 2, 4, 0, 0, 1, 1}));
    EXPECT_EQ(r.eggs, (std::vector<std::uint32_t>{0, 4, 2, 3}));  // trailing zeros dropped
    EXPECT_EQ(r.eggOffset, (std::vector<std::size_t>{0, 3, 4, 4, 4, 4, 4, 4}));
    EXPECT_EQ(r.lines, (std::vector<long>{6, 7, 8, 9, 10, 11, 12}));
    EXPECT_EQ(r.size(), 7u);
}

TEST(CohortReader, LimitsAreInclusive) {
    const CohortRecords r = parseCohort(kHeader + "1,F,99997,1,1,1,1000000000\n", "c.csv", "t");
    EXPECT_EQ(r.eggs, (std::vector<std::uint32_t>{1000000000}));
    EXPECT_EQ(r.durations[0], 99997);
}

TEST(CohortReader, NamesCohortsAfterTheirFiles) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"data/cohort-24C.csv", "cohort-24C"}, {"-", "stdin"}, {"a.b.csv", "a.b"}, {"/x/plain", "plain"}};
    for (const auto& [path, name] : cases) EXPECT_EQ(cohortName(path), name) << path;
}

class CohortFiles : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ =
            std::filesystem::temp_directory_path() / ("lumera-cohort-" + std::to_string(::getpid()) + "-" +
                                                      ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string write(const std::string& name, const std::string& text) {
        const std::string path = (dir_ / name).string();
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }
    std::filesystem::path dir_;
};

TEST_F(CohortFiles, ReadsARunOfFiles) {
    const std::string a = write("moth-25C.csv", kHeader + "1,F,1,1,1,2,5\n");
    const std::string b = write("moth-30C.txt", kHeader + "1,M,1,1,1,2\n2,N,1\n");
    const std::vector<CohortRecords> run = readCohorts({a, b}, "t");
    ASSERT_EQ(run.size(), 2u);
    EXPECT_EQ(run[0].name, "moth-25C");
    EXPECT_EQ(run[0].file, a);
    EXPECT_EQ(run[1].name, "moth-30C");
    EXPECT_EQ(run[1].size(), 2u);
}

TEST_F(CohortFiles, RefusesARunWhoseNamesCollide) {
    // Refused before any file is read: neither needs to exist.
    try {
        readCohorts({"x/Moth.csv", "y/b.csv", "z/moth.txt"}, "t");
        FAIL() << "accepted";
    } catch (const UserError& e) {
        EXPECT_EQ(e.text(),
                  "x/Moth.csv and z/moth.txt: the cohort names \"Moth\" and \"moth\" are equal when case is ignored "
                  "(their output files would collide)");
    }
}

TEST_F(CohortFiles, RefusesWhatIsNoCohortFile) {
    const std::string missing = (dir_ / "missing.csv").string();
    const std::string folder = dir_.string();
    const std::string bad = write("bad.csv", kHeader + "1,F,1,1,1,2,x\n");
    for (const auto& [path, start] :
         std::vector<std::pair<std::string, std::string>>{{missing, missing + ": cannot open the file"},
                                                          {folder, folder + ": a folder, not a cohort file"},
                                                          {bad, bad + ", line 2, column d1:"}}) {
        try {
            readCohort(path, "t");
            ADD_FAILURE() << path << " accepted";
        } catch (const UserError& e) {
            EXPECT_EQ(e.text().substr(0, start.size()), start);
        }
    }
}

TEST_F(CohortFiles, ReadsStandardInputAsStdin) {
    const std::string text = kHeader + "1,F,1,1,1,2,3,\n2,N,1\n";
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    ASSERT_EQ(::write(fds[1], text.data(), text.size()), static_cast<ssize_t>(text.size()));
    ::close(fds[1]);
    const int saved = ::dup(0);
    ::dup2(fds[0], 0);
    ::close(fds[0]);
    CohortRecords r;
    try {
        r = readCohort("-", "t");
    } catch (const UserError& e) {
        ADD_FAILURE() << e.text();
    }
    ::dup2(saved, 0);
    ::close(saved);
    EXPECT_EQ(r.name, "stdin");
    EXPECT_EQ(r.file, "-");
    EXPECT_EQ(r.eggs, (std::vector<std::uint32_t>{3}));
    EXPECT_EQ(r.size(), 2u);
}

}  // namespace
}  // namespace lumera
