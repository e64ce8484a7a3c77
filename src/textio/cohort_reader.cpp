#include "textio/cohort_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>

#include "textio/user_error.h"

namespace lumera {
namespace {

bool isSpace(char c) { return c == ' ' || c == '\t'; }

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool equalNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i])) return false;
    return true;
}

// A field as it appears in a message: long text cut short.
std::string inQuotes(std::string_view text) {
    constexpr std::size_t kMax = 40;
    std::string out(1, '"');
    if (text.size() <= kMax) {
        out.append(text);
    } else {
        std::size_t cut = kMax;
        while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;  // whole characters only
        out.append(text.substr(0, cut));
        out.append("...");
    }
    out += '"';
    return out;
}

// Length of the valid UTF-8 sequence at s[i], or 0.
std::size_t utf8Length(std::string_view s, std::size_t i) {
    const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = b(i);
    if (c < 0x80) return 1;
    std::size_t len;
    unsigned lowest = 0x80, highest = 0xBF;  // bounds of the second byte
    if (c >= 0xC2 && c <= 0xDF) {
        len = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        len = 3;
        if (c == 0xE0) lowest = 0xA0;   // overlong
        if (c == 0xED) highest = 0x9F;  // surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
        len = 4;
        if (c == 0xF0) lowest = 0x90;
        if (c == 0xF4) highest = 0x8F;  // past U+10FFFF
    } else {
        return 0;
    }
    if (i + len > s.size()) return 0;
    if (b(i + 1) < lowest || b(i + 1) > highest) return 0;
    for (std::size_t k = 2; k < len; ++k)
        if ((b(i + k) & 0xC0) != 0x80) return 0;
    return len;
}

struct Field {
    std::string text;
    bool quoted = false;
};

enum class Kind { Id, Sex, Stage, Adult, Eggs };

class Parser {
public:
    Parser(std::string_view content, const std::string& label, const std::string& title)
        : content_(content), label_(label), title_(title) {}

    CohortRecords run();

private:
    [[noreturn]] void fail(const std::string& where, const std::string& what) const {
        throw UserError(title_, label_ + where + ": " + what);
    }
    [[noreturn]] void failLine(const std::string& what) const { fail(", line " + std::to_string(line_), what); }
    [[noreturn]] void failAt(std::size_t column, const std::string& what) const {
        fail(", line " + std::to_string(line_) + ", column " + columnName(column), what);
    }
    std::string columnName(std::size_t column) const {
        if (haveHeader_ && column < header_.size()) return header_[column];
        return std::to_string(column + 1);
    }

    void checkUtf8(std::string_view text) const;
    void split(std::string_view line);
    void takeHeader();
    void takeRow(CohortRecords& out);
    std::string_view cell(std::size_t column) const {
        return column < fields_.size() ? std::string_view(fields_[column].text) : std::string_view();
    }
    // A whole number of days (>= 1 when required) or of eggs; refusals name the column.
    std::int64_t days(std::size_t column);
    std::uint32_t eggCount(std::size_t column);

    std::string_view content_;
    const std::string& label_;
    const std::string& title_;
    long line_ = 0;
    bool haveHeader_ = false;
    std::vector<std::string> header_;  // up to the last named column
    std::vector<Kind> kinds_;
    std::size_t stageCount_ = 0;
    std::size_t adultColumn_ = 0;
    std::vector<Field> fields_;
};

void Parser::checkUtf8(std::string_view text) const {
    long line = 1;
    std::size_t lineStart = 0;
    for (std::size_t i = 0; i < text.size();) {
        if (text[i] == '\n') {
            ++line;
            lineStart = ++i;
            continue;
        }
        const std::size_t len = utf8Length(text, i);
        if (len == 0) {
            const char* hex = "0123456789ABCDEF";
            const auto c = static_cast<unsigned char>(text[i]);
            throw UserError(title_, label_ + ", line " + std::to_string(line) + ": byte " +
                                        std::to_string(i - lineStart + 1) + " of the line (0x" + hex[c >> 4] +
                                        hex[c & 15] + ") is not UTF-8 text; save the file as UTF-8.");
        }
        i += len;
    }
}

void Parser::split(std::string_view s) {
    fields_.clear();
    std::size_t p = 0;
    for (;;) {
        while (p < s.size() && isSpace(s[p])) ++p;
        Field field;
        const std::size_t column = fields_.size();
        if (p < s.size() && s[p] == '"') {
            field.quoted = true;
            ++p;
            for (;;) {
                const std::size_t close = s.find('"', p);
                if (close == std::string_view::npos)
                    failAt(column, "the quote is not closed on its line (a quoted field holds no line end)");
                field.text.append(s.substr(p, close - p));
                if (close + 1 < s.size() && s[close + 1] == '"') {
                    field.text += '"';
                    p = close + 2;
                } else {
                    p = close + 1;
                    break;
                }
            }
            while (p < s.size() && isSpace(s[p])) ++p;
            if (p < s.size() && s[p] != ',')
                failAt(column, "only spaces may follow the closing quote before the comma");
        } else {
            const std::size_t begin = p;
            while (p < s.size() && s[p] != ',') ++p;
            std::size_t end = p;
            while (end > begin && isSpace(s[end - 1])) --end;
            field.text.assign(s.substr(begin, end - begin));
        }
        fields_.push_back(std::move(field));
        if (p >= s.size()) break;
        ++p;  // the comma
    }
}

void Parser::takeHeader() {
    std::size_t last = fields_.size();
    while (last > 0 && fields_[last - 1].text.empty()) --last;
    if (last < 2 || !equalNoCase(fields_[0].text, "id") || !equalNoCase(fields_[1].text, "sex"))
        failLine("no header: the first row must begin with the columns id and sex, then the stages and adult");
    for (std::size_t c = 0; c < last; ++c)
        if (fields_[c].text.empty()) failAt(c, "an empty header cell before the last named column");
    std::size_t adult = 2;
    while (adult < last && !equalNoCase(fields_[adult].text, "adult")) ++adult;
    if (adult == last) failLine("no adult column: the header needs id, sex, the stages, then adult");
    if (adult == 2) failLine("no stage column: the header needs at least one stage between sex and adult");
    for (std::size_t c = 2; c < adult; ++c) {
        const std::string& name = fields_[c].text;
        for (char ch : name) {
            const bool ok = (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z') || (ch >= '0' && ch <= '9') ||
                            ch == '_' || ch == '-';
            if (!ok) failAt(c, "the stage name " + inQuotes(name) + " may hold only letters A-Z, digits, _ and -");
        }
        if (equalNoCase(name, "female") || equalNoCase(name, "male"))
            failAt(c, "the stage name " + inQuotes(name) + " is reserved for the adult stages female and male");
        for (std::size_t d = 2; d < c; ++d)
            if (equalNoCase(name, fields_[d].text))
                failAt(c, "the stage name " + inQuotes(name) + " repeats " + inQuotes(fields_[d].text) +
                              " (stage names are compared without regard to case)");
    }
    for (std::size_t c = 0; c < last; ++c) {
        header_.push_back(fields_[c].text);
        kinds_.push_back(c == 0       ? Kind::Id
                         : c == 1     ? Kind::Sex
                         : c < adult  ? Kind::Stage
                         : c == adult ? Kind::Adult
                                      : Kind::Eggs);
    }
    stageCount_ = adult - 2;
    adultColumn_ = adult;
    haveHeader_ = true;
}

// Digits only; nullopt when not, and a saturated value past the limits.
std::optional<std::uint64_t> wholeNumber(std::string_view text) {
    if (text.empty()) return std::nullopt;
    std::uint64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        if (v < (std::uint64_t{1} << 40)) v = v * 10 + static_cast<unsigned>(c - '0');
    }
    return v;
}

std::int64_t Parser::days(std::size_t column) {
    const std::string_view text = cell(column);
    const std::optional<std::uint64_t> v = wholeNumber(text);
    if (!v) failAt(column, inQuotes(text) + " is not a whole number of days");
    if (*v == 0) failAt(column, inQuotes(text) + " days: at least 1 is required");
    if (*v > static_cast<std::uint64_t>(kMaxStageDays))
        failAt(column, inQuotes(text) + " days is more than the limit of " + std::to_string(kMaxStageDays));
    return static_cast<std::int64_t>(*v);
}

std::uint32_t Parser::eggCount(std::size_t column) {
    const std::string_view text = cell(column);
    if (text.empty()) return 0;
    const std::optional<std::uint64_t> v = wholeNumber(text);
    if (!v) failAt(column, inQuotes(text) + " is not a whole number of eggs");
    if (*v > kMaxEggs) failAt(column, inQuotes(text) + " eggs is more than the limit of " + std::to_string(kMaxEggs));
    return static_cast<std::uint32_t>(*v);
}

void Parser::takeRow(CohortRecords& out) {
    for (std::size_t c = header_.size(); c < fields_.size(); ++c)
        if (!fields_[c].text.empty())
            failAt(c, inQuotes(fields_[c].text) + " lies past the header's last column (" + header_.back() + ")");
    const std::string_view sexText = cell(1);
    char sex = sexText.size() == 1 ? static_cast<char>(lower(sexText[0]) - 'a' + 'A') : '?';
    if (sex != 'F' && sex != 'M' && sex != 'N')
        failAt(1, inQuotes(sexText) + " is not a sex: F (female), M (male) or N (died before it became adult)");
    const std::size_t first = 2;
    std::int64_t age = 0;
    std::int32_t longevity = 0;
    if (sex != 'N') {
        for (std::size_t c = first; c <= adultColumn_; ++c) {
            if (cell(c).empty())
                failAt(c, std::string("empty, but an ") + sex + " row needs the days of every stage and of the adult");
            age += days(c);
        }
        longevity = static_cast<std::int32_t>(days(adultColumn_));
        if (age > kMaxStageDays)
            failAt(adultColumn_, "the age at death, " + std::to_string(age) + " days, is past the limit of " +
                                     std::to_string(kMaxStageDays) + " days");
    } else {
        std::size_t last = adultColumn_;  // one past the last stage given
        while (last > first && cell(last - 1).empty()) --last;
        if (last == first) failAt(first, "empty, but an N row needs the days it lived in at least its first stage");
        for (std::size_t c = first; c < last; ++c) {
            if (cell(c).empty())
                failAt(c, "empty, but a later stage (" + header_[last - 1] +
                              ") is given: an N row gives every stage up to the one in which it died");
            age += days(c);
        }
        if (age > kMaxStageDays)
            failAt(last - 1, "the age at death, " + std::to_string(age) + " days, is past the limit of " +
                                 std::to_string(kMaxStageDays) + " days");
        if (!cell(adultColumn_).empty())
            failAt(adultColumn_, inQuotes(cell(adultColumn_)) +
                                     ": an N individual (died before it became adult) has no adult longevity");
    }
    out.ids.emplace_back(cell(0));
    out.sex.push_back(sex);
    for (std::size_t c = first; c < adultColumn_; ++c) {
        const std::string_view text = cell(c);
        out.durations.push_back(text.empty() ? 0 : static_cast<std::int32_t>(*wholeNumber(text)));
    }
    out.adult.push_back(longevity);
    std::size_t kept = out.eggs.size();
    for (std::size_t c = adultColumn_ + 1; c < header_.size(); ++c) {
        const std::uint32_t eggs = eggCount(c);
        if (eggs == 0) {
            out.eggs.push_back(0);
            continue;
        }
        const std::size_t day = c - adultColumn_;
        if (sex == 'M') failAt(c, inQuotes(cell(c)) + ": a male lays no eggs");
        if (sex == 'N') failAt(c, inQuotes(cell(c)) + ": an N individual (died before it became adult) lays no eggs");
        if (day > static_cast<std::size_t>(longevity))
            failAt(c, inQuotes(cell(c)) + " eggs on adult day " + std::to_string(day) +
                          ", after the female's last day (adult " + std::to_string(longevity) + ")");
        out.eggs.push_back(eggs);
        kept = out.eggs.size();
    }
    out.eggs.resize(kept);
    out.eggOffset.push_back(out.eggs.size());
    out.lines.push_back(line_);
}

CohortRecords Parser::run() {
    if (content_.substr(0, 3) == "\xEF\xBB\xBF") content_.remove_prefix(3);
    checkUtf8(content_);
    CohortRecords out;
    out.eggOffset.push_back(0);
    std::size_t pos = 0;
    while (pos < content_.size()) {
        std::size_t end = content_.find('\n', pos);
        if (end == std::string_view::npos) end = content_.size();
        std::string_view line = content_.substr(pos, end - pos);
        pos = end + 1;
        ++line_;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty() || line[0] == '#') continue;
        split(line);
        bool empty = true;
        for (const Field& f : fields_) empty = empty && f.text.empty();
        if (empty) continue;
        if (!haveHeader_)
            takeHeader();
        else
            takeRow(out);
    }
    if (!haveHeader_) throw UserError(title_, label_ + ": no header (the file holds no row)");
    if (out.sex.empty())
        throw UserError(title_, label_ + ", line " + std::to_string(line_) + ": no individual after the header");
    for (std::size_t c = 2; c < adultColumn_; ++c) out.stages.push_back(header_[c]);
    return out;
}

std::string readAll(int fd, const std::string& label, const std::string& title, Sha256& digest) {
    std::string text;
    char block[1 << 16];
    for (;;) {
        const ssize_t n = ::read(fd, block, sizeof block);
        if (n > 0) {
            text.append(block, static_cast<std::size_t>(n));
            digest.update(block, static_cast<std::size_t>(n));
        } else if (n == 0) {
            return text;
        } else if (errno != EINTR) {
            throw UserError(title, label + ": cannot read the file (" + std::strerror(errno) + ")");
        }
    }
}

}  // namespace

std::string cohortName(const std::string& path) {
    if (path == "-") return "stdin";
    return std::filesystem::path(path).stem().string();
}

CohortRecords parseCohort(std::string_view content, const std::string& label, const std::string& errorTitle) {
    return Parser(content, label, errorTitle).run();
}

CohortRecords readCohort(const std::string& path, const std::string& errorTitle) {
    std::string text;
    const std::string label = path == "-" ? "stdin" : path;
    Sha256 digest;
    if (path == "-") {
        text = readAll(0, label, errorTitle, digest);
    } else {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) throw UserError(errorTitle, path + ": cannot open the file (" + std::strerror(errno) + ")");
        struct stat st {};
        if (::fstat(fd, &st) != 0 || !(S_ISREG(st.st_mode) || S_ISFIFO(st.st_mode))) {
            const bool folder = S_ISDIR(st.st_mode);
            ::close(fd);
            throw UserError(errorTitle,
                            path + (folder ? ": a folder, not a cohort file" : ": not a regular file or pipe"));
        }
        try {
            text = readAll(fd, label, errorTitle, digest);
        } catch (...) {
            ::close(fd);
            throw;
        }
        ::close(fd);
    }
    CohortRecords records = parseCohort(text, label, errorTitle);
    records.name = cohortName(path);
    records.file = path;
    records.input = {path, digest.bytes(), digest.hexDigest()};
    return records;
}

std::vector<CohortRecords> readCohorts(const std::vector<std::string>& paths, const std::string& errorTitle) {
    for (std::size_t i = 0; i < paths.size(); ++i)
        for (std::size_t j = 0; j < i; ++j)
            if (equalNoCase(cohortName(paths[i]), cohortName(paths[j])))
                throw UserError(errorTitle, paths[j] + " and " + paths[i] + ": the cohort names " +
                                                inQuotes(cohortName(paths[j])) + " and " +
                                                inQuotes(cohortName(paths[i])) +
                                                " are equal when case is ignored (their output files would collide)");
    std::vector<CohortRecords> cohorts;
    cohorts.reserve(paths.size());
    for (const std::string& path : paths) cohorts.push_back(readCohort(path, errorTitle));
    return cohorts;
}

}  // namespace lumera
