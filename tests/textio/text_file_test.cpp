#include "textio/text_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

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
        EXPECT_EQ(contents(path), "abcdefgh\r\n" + std::string(20, 'x') + "\n");
        file.write("tail");
        file.close();
        EXPECT_FALSE(file.isOpen());
    }
    EXPECT_EQ(contents(path), "abcdefgh\r\n" + std::string(20, 'x') + "\ntail");
}

TEST_F(TextFileTest, ReplacesExistingFileAndDestructorFlushes) {
    { TextFile(path, "Save").write(std::string(1000, 'z')); }
    { TextFile(path, "Save").writeLine("new"); }
    EXPECT_EQ(contents(path), "new\r\n");
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
    TextFile file(path, "Save");
    file.close();
    EXPECT_THROW(file.write("x"), UserError);
}

}  // namespace
}  // namespace lumera
