#include "textio/field_reader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "support/treatment_files.h"
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
    EXPECT_EQ(errorOf([&] { r.readNumber(); }), "in.dat, line 2, field 3: \"3\" is not a number.");
    EXPECT_EQ(errorOf([&] { r.readNumber(); }), "in.dat, line 2, field 4: \"abc\" is not a number.");
    EXPECT_EQ(errorOf([&] { r.readNumber(); }), "in.dat, line 2, field 5: \"1e\" is not a number.");
    EXPECT_EQ(r.readNumber(), 7);
    EXPECT_TRUE(r.atEnd());
    EXPECT_EQ(errorOf([&] { r.readText(); }), "in.dat: the file ends after line 2, before field 7.");
    EXPECT_EQ(errorOf([] { reader("").readNumber(); }), "in.dat: the file ends before field 1.");
}

// LF, CR LF and a lone CR each end one line, also when a block ends between
// CR and LF; a line end inside quotes belongs to the field but still counts.
TEST(FieldReader, LineNumbersOfFields) {
    const std::string content = " a\r\nb\rc\n\n\"d\r\ne\",f\r\n\r\n  g,\n\r\n\"h\"\r";
    const std::vector<std::pair<std::string, long>> expected = {{"a", 1}, {"b", 2}, {"c", 3}, {"d\r\ne", 5},
                                                                {"f", 6}, {"g", 8}, {"h", 10}};
    const auto path = (std::filesystem::temp_directory_path() / "lumera_field_reader_lines.dat").string();
    std::ofstream(path, std::ios::binary) << content;
    for (std::size_t block : {std::size_t{1}, std::size_t{2}, std::size_t{3}, FieldReader::kBlockSize}) {
        SCOPED_TRACE(block);
        auto r = FieldReader::fromFile(path, "Read", block);
        EXPECT_EQ(r.lineNumber(), 0);
        for (const auto& [text, line] : expected) {
            EXPECT_EQ(r.readText(), text);
            EXPECT_EQ(r.lineNumber(), line);
        }
        EXPECT_TRUE(r.atEnd());
        EXPECT_EQ(r.where(), path + ", line 10, field 7");
        EXPECT_EQ(errorOf([&] { r.readNumber(); }), path + ": the file ends after line 10, before field 8.");
    }
    std::filesystem::remove(path);
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

// Quoted fields stay readable on one line; a cut never splits an escape.
TEST(FieldReader, MessagesEscapeControlCharacters) {
    const std::string a58(58, 'a'), a59(59, 'a');
    const struct {
        std::string content, shown;
    } cases[] = {
        {"a\tb\x01\x7F\x1F\t\n", "a\\tb\\x01\\x7F\\x1F"},
        {std::string("x\0yz", 4), "x\\0yz"},
        {"\"a\rb\nc\"", "a\\rb\\nc"},
        {"\xC3\xA9t\xE9", "\xC3\xA9t\xE9"},
        {a58 + "\x01", a58 + "..."},
        {a58 + "\tb", a58 + "\\t..."},
        {"\"" + a59 + "\t\"", a59 + "..."},
        {std::string(61, 'b'), std::string(60, 'b') + "..."},
    };
    for (const auto& c : cases)
        EXPECT_EQ(errorOf([&] { reader(c.content).readNumber(); }),
                  "in.dat, line 1, field 1: \"" + c.shown + "\" is not a number.")
            << c.shown;
}

TEST(FieldReader, NumbersBeyondDoubleRange) {
    const std::string big = "1" + std::string(400, '0');
    const struct {
        std::string content, shown;
    } tooLarge[] = {
        {"1E+400", "1E+400"}, {"-1e999", "-1e999"}, {" +2.5e308 \r\n", "+2.5e308"}, {big, big.substr(0, 60) + "..."}};
    for (const auto& c : tooLarge)
        EXPECT_EQ(errorOf([&] { reader(c.content).readNumber(); }),
                  "in.dat, line 1, field 1: \"" + c.shown + "\" is too large.");
    auto r = reader("1E-400,-1e-999,1e308");
    EXPECT_EQ(r.readNumber(), 0);
    EXPECT_EQ(r.readNumber(), 0);
    EXPECT_EQ(r.readNumber(), 1e308);
    EXPECT_EQ(errorOf([] { reader("\"1E+400\"").readNumber(); }),
              "in.dat, line 1, field 1: \"1E+400\" is not a number.");
}

TEST(FieldReader, RefusesUtf16) {
    const std::string refused = "File: in.dat\nThe file looks like UTF-16; save it as plain text (UTF-8 or Latin-1).";
    const std::string le(
        "1\0,\0"
        "2\0\r\0\n\0",
        10),
        be("\0"
           "1\0,\0"
           "2\0\r\0\n",
           10);
    const struct {
        std::string content;
        bool isUtf16;
    } cases[] = {
        {"\xFF\xFE" + le, true},
        {"\xFE\xFF" + be, true},
        {le, true},
        {be, true},
        {std::string("1\0", 2), true},
        {"\xEF\xBB\xBF"
         "1,2\r\n",
         false},
        {std::string("1\0\0,2", 5), false},
        {std::string("\0\0\0\0", 4), false},
    };
    for (const auto& c : cases) {
        const std::string text = errorOf([&] { reader(c.content); });
        EXPECT_EQ(text == refused, c.isUtf16) << text;
    }
    test::TempFolder dir("reader_utf16");
    std::ofstream(dir.file("u16.txt"), std::ios::binary) << "\xFF\xFE" + le;
    EXPECT_EQ(errorOf([&] { FieldReader::fromFile(dir.file("u16.txt"), "Read"); }),
              "File: " + dir.file("u16.txt") + "\n" + refused.substr(refused.find('\n') + 1));
}

}  // namespace
}  // namespace lumera
