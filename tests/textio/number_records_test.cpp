#include "textio/number_records.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <bit>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "textio/field_reader.h"
#include "textio/number_forms.h"
#include "textio/user_error.h"

namespace lumera {
namespace {

// The records as the field reader reads them one field at a time, or
// nothing when it gives a message.
std::optional<std::vector<double>> fieldByField(const std::string& text, const NumberRecordsRule& rule) {
    FieldReader r(text, "in.dat", "Read");
    std::vector<double> x;
    try {
        r.readText();  // the one header field
        while (static_cast<std::int64_t>(x.size()) < rule.limit && !r.atEnd()) {
            double value;
            if (rule.serials) {
                if (r.readNumber() == -1 && rule.stopAtMinusOne) break;
                value = r.readNumber();
            } else {
                value = r.readNumber();
                if (rule.stopAtMinusOne && value == -1) break;
            }
            if (static_cast<std::int64_t>(x.size()) == rule.most) return std::nullopt;
            x.push_back(value);
        }
    } catch (const UserError&) {
        return std::nullopt;
    }
    return x;
}

std::optional<std::vector<double>> inBlocks(const std::string& text, const NumberRecordsRule& rule) {
    FieldReader r(text, "in.dat", "Read");
    r.readText();
    std::vector<double> x;
    if (!readNumberRecords(r, rule, x, {})) return std::nullopt;
    return x;
}

// A file of this process's own: runs of the tests side by side keep apart.
std::filesystem::path ownTempFile(const std::string& name) {
    return std::filesystem::temp_directory_path() /
           ("lumera_number_records_" + name + "_" + std::to_string(getpid()) + ".txt");
}

bool sameBits(const std::vector<double>& a, const std::vector<double>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::bit_cast<std::uint64_t>(a[i]) != std::bit_cast<std::uint64_t>(b[i])) return false;
    return true;
}

NumberRecordsRule rule(bool serials, bool stop, std::int64_t limit = INT64_MAX, std::int64_t most = INT64_MAX) {
    NumberRecordsRule r;
    r.serials = serials;
    r.stopAtMinusOne = stop;
    r.limit = limit;
    r.most = most;
    return r;
}

struct Case {
    const char* what;
    std::string text;  // after the header field "h"
    NumberRecordsRule rule;
    bool plain;  // the blocks must take it (not give up)
};

// Each case: whatever the block reader gives equals the field reader's
// values bit for bit; where the field reader has a message the block
// reader gives up; and the plain layouts are not given up.
TEST(NumberRecords, SameValuesAsTheFieldReaderOrGivesUp) {
    const std::vector<Case> cases = {
        {"serials, CR LF", "1,2.5\r\n2,-.5\r\n3,1E-05\r\n", rule(true, false), true},
        {"values, LF, no last line end", "2.5\n-0\n+7\n.125", rule(false, false), true},
        {"blank lines and spaces", "\r\n  1 , 2.5  \r\n\r\n\t2,\t3 \r\n   \r\n", rule(true, false), true},
        {"several records a line", "1,2,3,4\r\n5,6\r\n", rule(true, false), true},
        {"values separated by commas and lines", "1,\r\n2,3\r\n", rule(false, false), true},
        {"end record by serial, value unread", "1,4\r\n-1,junk\r\n2,5\r\n", rule(true, true), true},
        {"end record alone on its line", "1,4\r\n-1\r\n", rule(true, true), true},
        {"end record by value", "4\r\n-1\r\n5\r\n", rule(false, true), true},
        {"-1 is a value without the end rule", "4\r\n-1\r\n5\r\n", rule(false, false), true},
        {"limit reached before junk", "1,4\r\n2,5\r\njunk\r\n", rule(true, false, 2), true},
        {"limit of none", "1,4\r\n", rule(true, false, 0), true},
        {"long and exponent forms",
         "123456789012345678901234\r\n1.5e300\r\n-2.5E-310\r\n0.1000000000000000055511151231257827\r\n",
         rule(false, false), true},
        {"serials of any number form", "1.0,3\r\n+2,4\r\n3E0,5\r\n", rule(true, false), true},
        {"lone CR line ends", "1,2\r3,4\r", rule(true, false), true},
        {"record over two lines", "1,\r\n2.5\r\n", rule(true, false), false},
        {"quoted value", "1,\"2.5\"\r\n", rule(true, false), false},
        {"not a number", "1,2.5x\r\n", rule(true, false), false},
        {"empty field", "1,,2\r\n", rule(false, false), false},
        {"odd fields at the end", "1,2\r\n3\r\n", rule(true, false), false},
        {"too large", "1E999\r\n", rule(false, false), false},
        {"too many", "1\r\n2\r\n3\r\n", rule(false, false, INT64_MAX, 2), false},
        {"as many as allowed", "1\r\n2\r\n", rule(false, false, INT64_MAX, 2), true},
        {"very long field", std::string("1,").append(70, '5').append("\r\n"), rule(true, false), false},
    };
    for (const Case& c : cases) {
        const std::string text = std::string("h\r\n").append(c.text);
        const auto want = fieldByField(text, c.rule);
        const auto got = inBlocks(text, c.rule);
        if (c.plain) {
            ASSERT_TRUE(want) << c.what;
            ASSERT_TRUE(got) << c.what << ": given up";
        }
        if (got) {
            ASSERT_TRUE(want) << c.what << ": read where the field reader has a message";
            EXPECT_TRUE(sameBits(*got, *want)) << c.what;
        }
    }
}

// Records of every shape near the usual one, each followed by enough text
// that the whole-window reading meets it: fields of 0 to 20 digits, signs,
// points, exponents, blanks, stray bytes and each line end. Whatever is
// read equals the field reader's values bit for bit, or is given up.
TEST(NumberRecords, RecordsOfManyShapesReadAsTheFieldReaderDoes) {
    std::mt19937_64 random(2026);
    auto pick = [&](std::initializer_list<const char*> options) {
        return std::string(options.begin()[random() % options.size()]);
    };
    auto digits = [&](int most) {
        std::string d;
        const int n = static_cast<int>(random() % static_cast<unsigned>(most + 1));
        for (int i = 0; i < n; ++i) d.push_back(static_cast<char>('0' + random() % 10));
        return d;
    };
    std::string tail;
    for (int i = 0; i < 8; ++i) tail += std::to_string(900 + i) + ",1.25\r\n";
    int taken = 0;
    for (int c = 0; c < 4000; ++c) {
        const bool serials = random() % 4 != 0;
        std::string record;
        if (serials) record += pick({"", "", "", "+", " "}) + digits(20) + pick({",", ",", ",", ", ", "."});
        record += pick({"", "", "-", "+", " "}) + digits(c % 2 ? 20 : 3);
        record += pick({".", ".", "", "x", "\xB5"}) + digits(c % 3 ? 16 : 20);
        record += pick({"", "", "", "", "e5", "E-3", "x", " ", "\xC3\xA9"});
        record += pick({"\r\n", "\r\n", "\n", "\r", ",", " \r\n"});
        const std::string text = "h\r\n" + record + tail;
        const NumberRecordsRule r = rule(serials, false);
        const auto want = fieldByField(text, r);
        const auto got = inBlocks(text, r);
        if (got) {
            ASSERT_TRUE(want) << "read where the field reader has a message: " << record;
            EXPECT_TRUE(sameBits(*got, *want)) << record;
        }
        taken += got.has_value();
    }
    EXPECT_GT(taken, 1000);
}

// The largest whole number a double holds exactly, and one past it, at
// the most digits the quick readings take.
TEST(NumberRecords, DigitsAtTheEdgeOfExactReadAsTheFieldReaderDoes) {
    std::string text = "h\r\n";
    for (const char* v : {"9007199254740992", "9007199254740993", "900719925474099.3", "-0", "5.", ".5",
                          "1234567890123456789", "12345678901234567890", "0.000000000000000001", "1.00000000000000001",
                          "00000000000000001.5", "123456789012.5"})
        text.append("123456789012345678,").append(v).append("\r\n");
    for (int i = 0; i < 8; ++i) text.append("2,1.5\r\n");
    const auto want = fieldByField(text, rule(true, false));
    const auto got = inBlocks(text, rule(true, false));
    ASSERT_TRUE(want);
    ASSERT_TRUE(got);
    EXPECT_TRUE(sameBits(*got, *want));
    EXPECT_TRUE(std::signbit((*got)[3]));
}

// Decimals read as one division must round as the full reading does.
TEST(NumberRecords, PlainDecimalsRoundAsTheFullReading) {
    std::mt19937_64 random(91);
    std::string text = "h\r\n";
    for (int i = 0; i < 200000; ++i) {
        const int digits = 1 + static_cast<int>(random() % 17);
        if (random() & 1) text.push_back('-');
        const std::string d =
            std::to_string(random() % 1000000000000000000ULL).substr(0, static_cast<std::size_t>(digits));
        const std::size_t point = random() % (d.size() + 1);
        text.append(d, 0, point).append(".").append(d, point).append("\r\n");
        text.append(writeForm(std::ldexp(static_cast<double>(random() >> 11), -static_cast<int>(random() % 60))));
        text.append("\r\n");
    }
    const auto want = fieldByField(text, rule(false, false));
    const auto got = inBlocks(text, rule(false, false));
    ASSERT_TRUE(want);
    ASSERT_TRUE(got);
    EXPECT_TRUE(sameBits(*got, *want));
}

// A file of several blocks, cut at lines in places the test cannot choose.
TEST(NumberRecords, ManyBlocksFromAFileInOrder) {
    const std::filesystem::path path = ownTempFile("test");
    std::string text = "\"h\"\r\n";
    std::mt19937_64 random(7);
    std::vector<double> expected;
    for (int i = 1; i <= 1'200'000; ++i) {
        const double v = std::round(std::normal_distribution<double>(1, 4)(random) * 1e6) / 1e6;
        expected.push_back(v);
        text.append(std::to_string(i)).append(",").append(writeForm(v)).append(i % 1000 == 0 ? "\n\n" : "\r\n");
    }
    text += "-1,0\r\n";
    {
        std::ofstream out(path, std::ios::binary);
        out << text << "7,8\r\n";
    }
    for (const std::int64_t limit : {std::int64_t{INT64_MAX}, std::int64_t{1'000'003}}) {
        FieldReader r = FieldReader::fromFile(path.string(), "Read", 4096);
        r.readText();
        std::vector<double> x;
        std::vector<std::uint64_t> told;
        ASSERT_TRUE(readNumberRecords(r, rule(true, true, limit), x, [&](std::uint64_t b) { told.push_back(b); }));
        std::vector<double> want = expected;
        if (limit < static_cast<std::int64_t>(want.size())) want.resize(static_cast<std::size_t>(limit));
        EXPECT_TRUE(sameBits(x, want)) << "limit " << limit;
        ASSERT_GE(told.size(), 2u);
        EXPECT_TRUE(std::is_sorted(told.begin(), told.end()));
    }
    std::filesystem::remove(path);
}

TEST(NumberRecords, AStopAskedForBetweenBlocksEndsTheReading) {
    const std::filesystem::path path = ownTempFile("stop");
    {
        std::ofstream out(path, std::ios::binary);
        out << "h\r\n";
        for (int i = 0; i < 2'000'000; ++i) out << i << ",1.5\r\n";
    }
    FieldReader r = FieldReader::fromFile(path.string(), "Read");
    r.readText();
    std::vector<double> x;
    struct Stop {};
    EXPECT_THROW(readNumberRecords(r, rule(true, false), x, [](std::uint64_t) { throw Stop{}; }), Stop);
    EXPECT_LT(x.size(), 2'000'000u);
    std::filesystem::remove(path);
}

// Where the records end in a file of several blocks: in the first block, a
// middle one or the last, by the header's count, an end record, a field
// that is no plain number, or one record too many. The values and their
// sum are those of the field reader's reading of the same text.
TEST(NumberRecords, RecordsEndingInAnyBlockOfAFile) {
    const std::filesystem::path path = ownTempFile("ends");
    constexpr int kRecords = 1'500'000;  // about three blocks
    enum class End { Limit, EndRecord, Quote, TooMany };
    for (const int at : {100, 700'000, 1'400'000}) {
        for (const End end : {End::Limit, End::EndRecord, End::Quote, End::TooMany}) {
            std::mt19937_64 random(static_cast<std::uint64_t>(at));
            std::string text = "h\r\n";
            for (int i = 1; i <= kRecords; ++i) {
                if (i == at && end == End::EndRecord) text += "-1,0\r\n";
                if (i == at && end == End::Quote) text += "\"7\",1\r\n";
                const double v = std::round(std::normal_distribution<double>(3, 5)(random) * 1e5) / 1e5;
                text.append(std::to_string(i)).append(",").append(writeForm(v)).append("\r\n");
            }
            {
                std::ofstream out(path, std::ios::binary);
                out << text;
            }
            const NumberRecordsRule r =
                rule(true, true, end == End::Limit ? at : INT64_MAX, end == End::TooMany ? at - 1 : INT64_MAX);
            const std::optional<std::vector<double>> want = fieldByField(text, r);
            FieldReader reader = FieldReader::fromFile(path.string(), "Read");
            reader.readText();
            std::vector<double> x;
            double sum = -1;
            const bool plain = readNumberRecords(reader, r, x, {}, &sum);
            const std::string what = "at " + std::to_string(at) + ", end " + std::to_string(static_cast<int>(end));
            if (end == End::Quote || end == End::TooMany) {
                EXPECT_FALSE(plain) << what;
                continue;
            }
            ASSERT_TRUE(plain) << what;
            ASSERT_TRUE(want.has_value()) << what;
            EXPECT_EQ(x.size(), static_cast<std::size_t>(end == End::Limit ? at : at - 1)) << what;
            EXPECT_TRUE(sameBits(x, *want)) << what;
            double inOrder = 0;
            for (const double v : *want) inOrder += v;
            EXPECT_EQ(std::bit_cast<std::uint64_t>(sum), std::bit_cast<std::uint64_t>(inOrder)) << what;
        }
    }
    std::filesystem::remove(path);
}

}  // namespace
}  // namespace lumera
