#include "textio/number_records.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "textio/both_cores.h"
#include "textio/field_reader.h"
#include "textio/rounding.h"

namespace lumera {
namespace {

constexpr std::size_t kBlock = std::size_t{8} << 20;
// A number field longer than this is left to the field reader, which
// knows the limit of a field and its message.
constexpr std::size_t kLongField = 64;

enum class PieceEnd { Whole, Stopped, Failed };

struct Piece {
    std::vector<double> values;
    PieceEnd end = PieceEnd::Whole;
};

bool isFieldEnd(char c) { return c == ',' || c == '\r' || c == '\n'; }

// The field starting at s[p] (not a blank): its text without trailing
// blanks; q is left at its terminator (or e). Empty when it is not a plain
// field of the plain layout.
bool field(const char* s, std::size_t& q, std::size_t e, std::string_view& text) {
    const std::size_t p = q;
    if (s[p] == '"') return false;
    const std::size_t stop = e - p > kLongField ? p + kLongField : e;
    while (q < stop && !isFieldEnd(s[q])) ++q;
    if (q == stop && stop != e) return false;
    std::size_t end = q;
    while (end > p && (s[end - 1] == ' ' || s[end - 1] == '\t')) --end;
    if (end == p) return false;
    text = std::string_view(s + p, end - p);
    return true;
}

// Plain decimals (sign, up to 19 digits with a point, no exponent) as one
// division of two exact doubles, which rounds as correctly as any reading
// of the text; false for any other text, left to the full reading.
constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                   1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

bool plainDecimal(std::string_view t, double& v) {
    std::size_t i = 0;
    const std::size_t n = t.size();
    const bool negative = n > 0 && t[0] == '-';
    if (n > 0 && (t[0] == '-' || t[0] == '+')) ++i;
    std::uint64_t m = 0;
    int digits = 0, decimals = 0;
    bool point = false;
    for (; i < n; ++i) {
        const char c = t[i];
        if (c >= '0' && c <= '9') {
            m = m * 10 + static_cast<std::uint64_t>(c - '0');
            ++digits;
            decimals += point;
        } else if (c == '.' && !point) {
            point = true;
        } else {
            return false;
        }
    }
    if (digits == 0 || digits > 19 || m > (std::uint64_t{1} << 53)) return false;
    const double q = static_cast<double>(m) / kPowersOfTen[decimals];
    v = negative ? -q : q;
    return true;
}

std::optional<double> number(std::string_view t) {
    double v;
    if (plainDecimal(t, v)) return v;
    return parseNumberText(t);
}

// A serial number's field: whole digits cannot be -1, and need no parsing.
bool serialField(std::string_view t, bool stopAtMinusOne, bool& minusOne) {
    minusOne = false;
    bool digits = t.size() <= 18;
    for (std::size_t i = 0; digits && i < t.size(); ++i) digits = t[i] >= '0' && t[i] <= '9';
    if (digits) return true;
    const std::optional<double> v = number(t);
    if (!v) return false;
    minusOne = stopAtMinusOne && *v == -1;
    return true;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The usual record at s[p], whole digits, a comma and a plain decimal (or
// the decimal alone) with nothing between them and the next comma or line
// end, read in one pass: what the fuller reading below gives for it.
bool quickRecord(const char* s, std::size_t& p, std::size_t e, bool serials, double& v) {
    std::size_t q = p;
    if (serials) {
        const std::size_t first = q;
        while (q < e && isDigit(s[q])) ++q;
        if (q == first || q - first > 18 || q == e || s[q] != ',') return false;
        ++q;
    }
    bool negative = false;
    if (q < e && (s[q] == '-' || s[q] == '+')) negative = s[q++] == '-';
    std::uint64_t m = 0;
    int digits = 0, decimals = 0;
    for (; q < e && isDigit(s[q]); ++q, ++digits) m = m * 10 + static_cast<std::uint64_t>(s[q] - '0');
    if (q < e && s[q] == '.')
        for (++q; q < e && isDigit(s[q]); ++q, ++digits, ++decimals)
            m = m * 10 + static_cast<std::uint64_t>(s[q] - '0');
    if (digits == 0 || digits > 19 || m > (std::uint64_t{1} << 53)) return false;
    if (q < e) {
        if (s[q] != '\r' && s[q] != '\n' && s[q] != ',') return false;
        ++q;
    }
    const double magnitude = static_cast<double>(m) / kPowersOfTen[decimals];
    v = negative ? -magnitude : magnitude;
    p = q;
    return true;
}

#if defined(__SSE2__)
// The usual record once more, read from a window of 32 bytes classified at
// once: a bit a byte for digits, commas, points, minus signs and line ends,
// from which the fields' places follow without a step per byte. Only the
// plainest form is taken ("digits,[-]digits[.digits]" and CR LF or LF, all
// inside the window); anything else is left to quickRecord, which gives the
// same value for what both take. The window and 8 bytes past it must lie
// in the text.
constexpr std::size_t kWindow = 32;
constexpr std::size_t kWindowNeeds = kWindow + 8;

std::uint32_t byteMask(__m128i low, __m128i high) {
    return static_cast<std::uint32_t>(_mm_movemask_epi8(low)) |
           (static_cast<std::uint32_t>(_mm_movemask_epi8(high)) << 16);
}

std::uint32_t equalMask(__m128i low, __m128i high, char c) {
    const __m128i k = _mm_set1_epi8(c);
    return byteMask(_mm_cmpeq_epi8(low, k), _mm_cmpeq_epi8(high, k));
}

// The value of n <= 8 digits at p, joined in pairs, fours and eights.
[[gnu::always_inline]] inline std::uint64_t eightDigitsAt(const char* p, int n) {
    if (n == 0) return 0;
    std::uint64_t w;
    std::memcpy(&w, p, sizeof w);
    w = (w - 0x3030303030303030ULL) << (8 * (8 - n));
    w = w * 10 + (w >> 8);
    return (((w & 0x000000FF000000FFULL) * (100 + (1000000ULL << 32))) +
            (((w >> 16) & 0x000000FF000000FFULL) * (1 + (10000ULL << 32)))) >>
           32;
}

constexpr std::array<std::uint64_t, 20> kWholePowers = [] {
    std::array<std::uint64_t, 20> p{1};
    for (std::size_t k = 1; k < p.size(); ++k) p[k] = p[k - 1] * 10;
    return p;
}();

// The value of n <= 19 digits at p.
[[gnu::always_inline]] inline std::uint64_t digitsAt(const char* p, int n) {
    std::uint64_t m = 0;
    for (; n > 8; p += 8, n -= 8) m = m * kWholePowers[8] + eightDigitsAt(p, 8);
    return m * kWholePowers[n] + eightDigitsAt(p, n);
}

bool windowRecord(const char* s, bool serials, double& v, std::size_t& length) {
    const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
    const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 16));
    // c + 80, taken as signed, lies below -118 exactly for '0'..'9'.
    const __m128i shift = _mm_set1_epi8(static_cast<char>(80)), limit = _mm_set1_epi8(-118);
    const std::uint32_t other =
        ~byteMask(_mm_cmplt_epi8(_mm_add_epi8(low, shift), limit), _mm_cmplt_epi8(_mm_add_epi8(high, shift), limit));
    int at = 0;
    if (serials) {
        at = std::countr_zero(other);  // the serial's digits
        if (at == 0 || at > 18 || ((equalMask(low, high, ',') >> at) & 1) == 0) return false;
        ++at;
    }
    const bool negative = ((equalMask(low, high, '-') >> at) & 1) != 0;
    at += negative;
    std::uint32_t rest = other >> at;
    if (rest == 0) return false;
    const int wholeEnd = at + std::countr_zero(rest);
    int fractionStart = wholeEnd, fractionEnd = wholeEnd;
    if (((equalMask(low, high, '.') >> wholeEnd) & 1) != 0) {
        fractionStart = wholeEnd + 1;
        if (fractionStart >= 32) return false;
        rest = other >> fractionStart;
        if (rest == 0) return false;
        fractionEnd = fractionStart + std::countr_zero(rest);
    }
    const int whole = wholeEnd - at, decimals = fractionEnd - fractionStart;
    if (whole + decimals == 0 || whole + decimals > 19 || fractionEnd > 30) return false;
    if (s[fractionEnd] == '\r' && s[fractionEnd + 1] == '\n')
        length = static_cast<std::size_t>(fractionEnd) + 2;
    else if (s[fractionEnd] == '\n')
        length = static_cast<std::size_t>(fractionEnd) + 1;
    else
        return false;
    // At most 19 digits: the whole number they make fits in 64 bits.
    const std::uint64_t m = digitsAt(s + at, whole) * kWholePowers[decimals] + digitsAt(s + fractionStart, decimals);
    if (m > (std::uint64_t{1} << 53)) return false;
    const double magnitude = static_cast<double>(m) / kPowersOfTen[decimals];
    v = negative ? -magnitude : magnitude;
    return true;
}
#endif

// Parses s[0, e): whole lines, the last one possibly cut by the end of the file.
void parsePiece(const char* s, std::size_t e, const NumberRecordsRule& rule, Piece& out) {
    std::vector<double>& values = out.values;
    values.clear();
    values.reserve(e / 8 + 1);
    std::size_t p = 0;
    std::string_view text;
    while (p < e) {
        const char c = s[p];
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            ++p;
            continue;
        }
        // An end record goes the fuller way, which knows it.
#if defined(__SSE2__)
        if (p + kWindowNeeds <= e) {
            double v;
            std::size_t length;
            if (windowRecord(s + p, rule.serials, v, length) && !(rule.stopAtMinusOne && v == -1)) {
                values.push_back(v);
                p += length;
                continue;
            }
        }
#endif
        std::size_t after = p;
        if (double v; quickRecord(s, after, e, rule.serials, v) && !(rule.stopAtMinusOne && v == -1)) {
            values.push_back(v);
            p = after;
            continue;
        }
        std::size_t q = p;
        if (!field(s, q, e, text)) {
            out.end = PieceEnd::Failed;
            return;
        }
        if (rule.serials) {
            bool minusOne = false;
            if (!serialField(text, rule.stopAtMinusOne, minusOne)) {
                out.end = PieceEnd::Failed;
                return;
            }
            if (minusOne) {  // its value is never read
                out.end = PieceEnd::Stopped;
                return;
            }
            // The value stands on the serial number's line, after one comma.
            if (q == e || s[q] != ',') {
                out.end = PieceEnd::Failed;
                return;
            }
            ++q;
            while (q < e && (s[q] == ' ' || s[q] == '\t')) ++q;
            if (q == e || isFieldEnd(s[q]) || !field(s, q, e, text)) {
                out.end = PieceEnd::Failed;
                return;
            }
        }
        const std::optional<double> v = number(text);
        if (!v) {
            out.end = PieceEnd::Failed;
            return;
        }
        if (!rule.serials && rule.stopAtMinusOne && *v == -1) {
            out.end = PieceEnd::Stopped;
            return;
        }
        values.push_back(*v);
        // After a comma the next record follows, as the field reader reads it.
        p = q == e ? e : q + 1;
    }
    out.end = PieceEnd::Whole;
}

// Fills buf from the file until it holds a block or the file ends; false
// on a read error.
bool fill(int fd, char* buf, std::size_t capacity, std::size_t& used, bool& atEof) {
    while (!atEof && used < kBlock) {
        // A block at a time: memory first touched costs more than a read.
        const ssize_t n = ::read(fd, buf + used, std::min(capacity, kBlock + kBlock / 8) - used);
        if (n > 0) {
            used += static_cast<std::size_t>(n);
        } else if (n == 0) {
            atEof = true;
        } else if (errno != EINTR) {
            return false;
        }
    }
    return true;
}

class FileCloser {
public:
    explicit FileCloser(int fd) : fd_(fd) {}
    ~FileCloser() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileCloser(const FileCloser&) = delete;
    FileCloser& operator=(const FileCloser&) = delete;

private:
    int fd_;
};

}  // namespace

bool readNumberRecords(FieldReader& reader, const NumberRecordsRule& rule, std::vector<double>& x,
                       const std::function<void(std::uint64_t)>& blockDone, double* sum) {
    const int fd = reader.takeDescriptor();
    FileCloser closer(fd);
    const std::string_view unread = reader.unreadText();
    // Two buffers: the other core reads the next block while this one is
    // parsed.
    const std::size_t capacity = std::max(kBlock, unread.size()) + kBlock;
    const std::unique_ptr<char[]> store(new char[2 * capacity]);
    char* buf = store.get();
    char* next = store.get() + capacity;
    std::memcpy(buf, unread.data(), unread.size());
    std::size_t used = unread.size();
    bool atEof = fd < 0, readFailed = false;
    std::uint64_t readSoFar = 0;
    std::int64_t count = 0;
    double total = 0;
    // A block's two pieces, and the block before's, taken while this one
    // is parsed.
    Piece pieces[2][2];
    if (!fill(fd, buf, capacity, used, atEof)) return false;
    readSoFar += used - unread.size();

    // Takes a piece's values in order, as far as the records go.
    bool done = false, gaveUp = false;
    auto take = [&](const Piece& piece) {
        const auto size = static_cast<std::int64_t>(piece.values.size());
        const std::int64_t taken = std::min({size, rule.limit - count, rule.most - count});
        x.insert(x.end(), piece.values.begin(), piece.values.begin() + taken);
        for (std::int64_t i = 0; i < taken; ++i) total += piece.values[static_cast<std::size_t>(i)];
        count += taken;
        if (taken < size)  // a value beyond the limit, or one too many
            (count == rule.limit ? done : gaveUp) = true;
        else if (count == rule.limit || piece.end == PieceEnd::Stopped)
            done = true;
        else if (piece.end == PieceEnd::Failed)
            gaveUp = true;
    };
    auto takeBlock = [&](Piece(&block)[2]) {
        take(block[0]);
        if (!done && !gaveUp) take(block[1]);
    };

    bool pending = false;
    for (std::size_t current = 0; used > 0; current ^= 1) {
        std::size_t cut = used;
        if (!atEof) {
            const void* last = memrchr(buf, '\n', used);
            if (!last) return false;  // a line of megabytes: not the plain layout
            cut = static_cast<std::size_t>(static_cast<const char*>(last) - buf) + 1;
        }
        const char* s = buf;
        std::size_t middle = cut / 2;
        while (middle < cut && s[middle] != '\n') ++middle;
        if (middle < cut) ++middle;
        std::size_t nextUsed = used - cut;
        Piece(&block)[2] = pieces[current];
        onBothCores(
            [&] {
                parsePiece(s, middle, rule, block[0]);
                if (pending) takeBlock(pieces[current ^ 1]);
            },
            [&] {
                parsePiece(s + middle, cut - middle, rule, block[1]);
                std::memcpy(next, buf + cut, nextUsed);
                readFailed = !fill(fd, next, capacity, nextUsed, atEof);
            });
        // The block before ended the records: this one was read for nothing.
        if (done || gaveUp) break;
        if (readFailed) return false;
        readSoFar += nextUsed - (used - cut);
        pending = true;
        std::swap(buf, next);
        used = nextUsed;
        if (blockDone) blockDone(readSoFar);
        if (used == 0) takeBlock(block);
    }
    if (sum) *sum = total;
    return !gaveUp;
}

}  // namespace lumera
