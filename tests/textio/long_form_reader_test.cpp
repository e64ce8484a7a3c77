#include "textio/long_form_reader.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "support/treatment_files.h"
#include "textio/user_error.h"

namespace lumera {
namespace {

using Table = std::vector<std::pair<std::string, std::vector<double>>>;

Table treatmentsOf(const LongFormTable& t) {
    Table out;
    for (const LongFormTreatment& x : t.treatments) out.push_back({x.name, x.values});
    return out;
}

std::string refusal(const std::string& text, const LongFormColumns& columns = {}) {
    try {
        parseLongForm(text, "long.csv", columns, "compare");
    } catch (const UserError& e) {
        EXPECT_EQ(e.title(), "compare");
        return e.text();
    }
    return "(read without a refusal)";
}

// The forms R's write.csv gives a data frame, and a few hands edit in.
TEST(LongFormReader, ReadsTheCsvFormsOfWriteCsv) {
    const struct {
        const char* what;
        std::string text;
        LongFormColumns columns;
        Table expected;
    } cases[] = {
        {"row names column, LF, a quote doubled inside a name",
         "\"\",\"treatment\",\"value\"\n\"1\",\"18 \"\"C\"\"\",1.5\n\"2\",\"24, C\",2\n\"3\",\"18 \"\"C\"\"\",-3e-05\n"
         "\"4\",\"24, C\",1e+20\n",
         {},
         {{"18 \"C\"", {1.5, -3e-05}}, {"24, C", {2, 1e+20}}}},
        {"CR LF and no line end at the end",
         "\"\",\"treatment\",\"value\"\r\n\"1\",\"a\",1\r\n\"2\",\"a\",2\r\n\"3\",\"b\",3\r\n\"4\",\"b\",4",
         {},
         {{"a", {1, 2}}, {"b", {3, 4}}}},
        {"columns in another order, others ignored, first appearance kept",
         "\"value\",\"block\",\"treatment\"\n0.25,\"x\",\"late\"\n0.5,\"y\",\"early\"\n0.75,\"z\",\"late\"\n1,NA,"
         "\"early\"\n",
         {},
         {{"late", {0.25, 0.75}}, {"early", {0.5, 1}}}},
        {"a treatment named NA in quotes is a name",
         "\"\",\"treatment\",\"value\"\n\"1\",\"NA\",1\n\"2\",\"NA\",2\n",
         {},
         {{"NA", {1, 2}}}},
        {"columns named by the options, unquoted header, BOM, spaces and a blank last line",
         "\xEF\xBB\xBFid,temp,R0\n1, 18C ,11.0875\n2,24C, 75.2\n3,18C,12.25\n4,24C,59.55\n\n",
         {"temp", "R0"},
         {{"18C", {11.0875, 12.25}}, {"24C", {75.2, 59.55}}}},
        {"fifteen significant digits as write.csv writes them",
         "\"\",\"treatment\",\"value\"\n\"1\",\"bean\",0.119802585938441\n\"2\",\"bean\",0.122576742395265\n"
         "\"3\",\"pea\",1.23456789012345e-05\n\"4\",\"pea\",-0.1\n",
         {},
         {{"bean", {0.119802585938441, 0.122576742395265}}, {"pea", {1.23456789012345e-05, -0.1}}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const LongFormTable t = parseLongForm(c.text, "long.csv", c.columns, "compare");
        EXPECT_EQ(treatmentsOf(t), c.expected);
        EXPECT_EQ(t.input.bytes, c.text.size());
        EXPECT_EQ(t.input.sha256, sha256Hex(c.text));
    }
}

TEST(LongFormReader, EachRefusalNamesTheFileAndTheLine) {
    const std::string head = "\"\",\"treatment\",\"value\"\n\"1\",\"A\",1\n";
    const struct {
        std::string text;
        std::string message;
        LongFormColumns columns = {};
    } cases[] = {
        {head + "\"2\",\"A\",abc\n", "long.csv, line 3: the value \"abc\" is not a number"},
        {head + "\"2\",\"A\",2\n\"3\",\"A\",NA\n", "long.csv, line 4: the value is NA (missing)"},
        {head + "\"2\",\"A\",1e999\n", "long.csv, line 3: the value \"1e999\" is too large"},
        {head + "\"2\",\"A\"\n", "long.csv, line 3: 2 fields where the header has 3 (a column is missing)"},
        {head + "\"2\",\"A\",1,5\n", "long.csv, line 3: 4 fields where the header has 3 (a comma too many"},
        {head + "\"2\",\"A,2\n", "long.csv, line 3: the quote opened at character 5 is not closed on its line"},
        {head + "\"2\",\"A\"x,2\n", "long.csv, line 3: field 2: only spaces may follow the closing quote"},
        {head + "\"2\",\"\",2\n", "long.csv, line 3: the treatment (column \"treatment\") is empty"},
        {head + "\"2\",\"A\",2\n\"3\",NA,2\n", "long.csv, line 4: the treatment is NA (missing)"},
        {"\"\",\"group\",\"value\"\n\"1\",\"A\",1\n",
         "long.csv, line 1: the header has no column \"treatment\"; its columns are \"\", \"group\", \"value\""},
        {"\"\",\"treatment\",\"value\"\n", "(read without a refusal)"},
        {head, "long.csv, line 2: the treatment \"A\" has 1 value, on this line; at least 2 are needed"},
        {head + "\"2\",\"B\",1\n\"3\",\"A\",2\n", "long.csv, line 3: the treatment \"B\" has 1 value"},
        {"", "long.csv: the file is empty"},
        {"\"treatment\",\"value\",\"value\"\n", "long.csv, line 1: the header names the column \"value\" twice"},
        {"a,b\r\n1,2\r\n1,x\r\n", "long.csv, line 3: the value \"x\" is not a number", {"a", "b"}},
        {"\"x\",\"treatment\"\n",
         "long.csv, line 1: the header has no column \"value\"; its columns are \"x\", "
         "\"treatment\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const std::string text = refusal(c.text, c.columns);
        EXPECT_EQ(text.rfind(c.message, 0), 0u) << text;
    }
}

// Lines across the reader's blocks of 1 MiB read as from one text, and the
// digest is of every byte.
TEST(LongFormReader, AFileReadInBlocksReadsAsItsText) {
    test::TempFolder folder("long_form_blocks");
    std::string text = "\"\",\"treatment\",\"value\"\r\n";
    for (int i = 1; i <= 60000; ++i) {
        text.append("\"").append(std::to_string(i)).append("\",\"T").append(std::to_string(i % 3));
        text.append("\",").append(std::to_string(i * 0.001)).append("\r\n");
    }
    ASSERT_GT(text.size(), std::size_t{1} << 20);
    const std::string path = folder.file("big.csv");
    std::ofstream(path, std::ios::binary) << text;
    const LongFormTable fromFile = readLongForm(path, {}, "compare");
    const LongFormTable fromText = parseLongForm(text, path, {}, "compare");
    ASSERT_EQ(fromFile.treatments.size(), 3u);
    EXPECT_EQ(fromFile.treatments[0].name, "T1");
    EXPECT_EQ(fromFile.treatments[0].values.size(), 20000u);
    EXPECT_EQ(treatmentsOf(fromFile), treatmentsOf(fromText));
    EXPECT_EQ(fromFile.input.file, path);
    EXPECT_EQ(fromFile.input.bytes, text.size());
    EXPECT_EQ(fromFile.input.sha256, sha256Hex(text));

    // A refusal past the first block names its line.
    std::ofstream(path, std::ios::binary) << text << "\"60001\",\"T1\",NA\r\n";
    try {
        readLongForm(path, {}, "compare");
        ADD_FAILURE() << "NA read";
    } catch (const UserError& e) {
        EXPECT_EQ(e.text().rfind(path + ", line 60002: the value is NA", 0), 0u) << e.text();
    }
}

}  // namespace
}  // namespace lumera
