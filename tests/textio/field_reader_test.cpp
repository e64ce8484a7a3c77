#include "textio/field_reader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "textio/user_error.h"

namespace lumera {
namespace {

FieldReader reader(std::string content) { return FieldReader(std::move(content), "in.dat", "Read"); }

// The message of the UserError that f throws, or "" when none.
template <typename F>
std::string errorOf(F f) {
    try {
        f();
    } catch (const UserError& e) {
        EXPECT_EQ(e.title(), "Read");
        return e.text();
    }
    return "";
}

TEST(FieldReader, FieldsAcrossLineEnds) {
    auto r = reader("\xEF\xBB\xBF\"Cart. number\",\"a, b\" ,\r\n 12 , -.5\r\n\r\n3E-2,\nx y \r\"q\"junk,+4\n");
    EXPECT_EQ(r.readText(), "Cart. number");
    EXPECT_EQ(r.readText(), "a, b");
    EXPECT_EQ(r.readNumber(), 12);
    EXPECT_EQ(r.readNumber(), -0.5);
    EXPECT_EQ(r.readNumber(), 0.03);
    EXPECT_EQ(r.readText(), "x y");
    EXPECT_EQ(r.readText(), "q");
    EXPECT_FALSE(r.atEnd());
    EXPECT_EQ(r.readNumber(), 4);
    EXPECT_EQ(r.fieldNumber(), 8);
    EXPECT_TRUE(r.atEnd());
}

TEST(FieldReader, EmptyFieldInsideLine) {
    auto r = reader("a,,b\n");
    EXPECT_EQ(r.readText(), "a");
    EXPECT_EQ(r.readText(), "");
    EXPECT_EQ(r.readText(), "b");
    EXPECT_TRUE(r.atEnd());
}

TEST(FieldReader, ErrorsNameFileAndField) {
    auto r = reader("1,2\n\"3\",abc,1e,7\n \r\n");
    r.readNumber();
    r.readNumber();
    EXPECT_EQ(errorOf([&] { r.readNumber(); }), "File: in.dat\nField 3 is not a number: \"3\".");
    EXPECT_EQ(errorOf([&] { r.readNumber(); }), "File: in.dat\nField 4 is not a number: \"abc\".");
    EXPECT_EQ(errorOf([&] { r.readNumber(); }), "File: in.dat\nField 5 is not a number: \"1e\".");
    EXPECT_EQ(r.readNumber(), 7);
    EXPECT_TRUE(r.atEnd());
    EXPECT_EQ(errorOf([&] { r.readText(); }), "File: in.dat\nThe file ends before field 7.");
    EXPECT_EQ(errorOf([] { reader("").readNumber(); }), "File: in.dat\nThe file ends before field 1.");
}

TEST(FieldReader, ReadsFileAndReportsMissingOne) {
    const auto path = (std::filesystem::temp_directory_path() / "lumera_field_reader_test.dat").string();
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs("2.5,\"t\"\r\n", f);
    std::fclose(f);
    auto r = FieldReader::fromFile(path, "Read");
    EXPECT_EQ(r.fileName(), path);
    EXPECT_EQ(r.readNumber(), 2.5);
    EXPECT_EQ(r.readText(), "t");
    std::filesystem::remove(path);
    const std::string text = errorOf([&] { FieldReader::fromFile(path, "Read"); });
    EXPECT_EQ(text.rfind("Cannot open the file:\n" + path, 0), 0u) << text;
}

}  // namespace
}  // namespace lumera
