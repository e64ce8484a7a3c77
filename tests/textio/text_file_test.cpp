#include "textio/text_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "textio/user_error.h"

namespace lumera {
namespace {

namespace fs = std::filesystem;

std::string contents(const std::string& path) {
    std::string s;
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
        char buf[4096];
        std::size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
        std::fclose(f);
    }
    return s;
}

class TextFileTest : public ::testing::Test {
protected:
    void TearDown() override { fs::remove(path); }
    std::string path = (fs::temp_directory_path() / "lumera_text_file_test.txt").string();
};

TEST_F(TextFileTest, WritesExactBytesThroughSmallBuffer) {
    std::string expected;
    {
        TextFile file(path, "Save", 8);
        file.write("abc");
        file.writeLine("defgh");
        file.write(std::string(20, 'x'));  // larger than the buffer
        file.write("\n");
        file.flush();
        EXPECT_EQ(contents(file.temporaryPath()), "abcdefgh\r\n" + std::string(20, 'x') + "\n");
        EXPECT_FALSE(fs::exists(path));
        file.write("tail");
        file.close();
        EXPECT_FALSE(file.isOpen());
    }
    EXPECT_EQ(contents(path), "abcdefgh\r\n" + std::string(20, 'x') + "\ntail");
}

// A file given up (an error, or no close) leaves the old one whole and no
// temporary file; close() replaces it whole.
TEST_F(TextFileTest, ReplacesTheOldFileOnlyWhenClosed) {
    {
        TextFile file(path, "Save");
        file.writeLine("old");
        file.close();
    }
    std::string temporary;
    {
        TextFile file(path, "Save", 8);
        file.write(std::string(1000, 'z'));
        temporary = file.temporaryPath();
        EXPECT_EQ(fs::path(temporary).parent_path(), fs::path(path).parent_path());
        EXPECT_EQ(contents(path), "old\r\n");
    }
    EXPECT_EQ(contents(path), "old\r\n");
    EXPECT_FALSE(fs::exists(temporary));
    TextFile file(path, "Save");
    file.writeLine("new");
    file.close();
    EXPECT_EQ(contents(path), "new\r\n");
    EXPECT_FALSE(fs::exists(temporary));
}

// Reports never replace one another: a taken name gets a number, also
// when the older file comes from another run in the meantime.
TEST_F(TextFileTest, KeepAndNumberNeverReplaces) {
    const fs::path folder = fs::temp_directory_path() / ("lumera_numbered_" + std::to_string(getpid()));
    fs::create_directories(folder);
    const std::string report = (folder / "run 1.5.txt").string();
    std::vector<std::string> taken;
    for (int k = 1; k <= 3; ++k) {
        TextFile file(report, "Save", 64, TextFile::Existing::KeepAndNumber);
        file.writeLine("run " + std::to_string(k));
        file.close();
        taken.push_back(fs::path(file.path()).filename().string());
    }
    EXPECT_EQ(taken, (std::vector<std::string>{"run 1.5.txt", "run 1.5 (2).txt", "run 1.5 (3).txt"}));
    EXPECT_EQ(contents(report), "run 1\r\n");
    EXPECT_EQ(contents((folder / "run 1.5 (3).txt").string()), "run 3\r\n");
    fs::remove_all(folder);
}

TEST_F(TextFileTest, FailuresThrowUserError) {
    const std::string bad = (fs::temp_directory_path() / "lumera_no_such_dir" / "out.txt").string();
    try {
        TextFile file(bad, "Save");
        FAIL() << "no error";
    } catch (const UserError& e) {
        EXPECT_EQ(e.title(), "Save");
        EXPECT_EQ(e.text().rfind("Cannot create the file:\n" + bad, 0), 0u) << e.text();
    }
    // Names that can never be made fail at once, not after the writing.
    const std::string longName = (fs::temp_directory_path() / std::string(300, 'n')).string();
    EXPECT_THROW(TextFile(longName, "Save"), UserError);
    EXPECT_THROW(TextFile(fs::temp_directory_path().string(), "Save"), UserError);
    TextFile file(path, "Save");
    file.close();
    EXPECT_THROW(file.write("x"), UserError);
}

TEST(NameText, RefusesWhatBreaksAFileName) {
    EXPECT_FALSE(nameTextProblem("A1 (22 C), x.y"));
    EXPECT_TRUE(nameTextProblem("a/b"));
    EXPECT_TRUE(nameTextProblem("a\nb"));
    EXPECT_TRUE(nameTextProblem("ab\r"));
    EXPECT_TRUE(nameTextProblem(std::string_view("a\0b", 3)));
}

}  // namespace
}  // namespace lumera
