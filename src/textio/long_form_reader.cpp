#include "textio/long_form_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <unordered_map>

#include "textio/escaped_text.h"
#include "textio/field_reader.h"
#include "textio/rounding.h"
#include "textio/user_error.h"

namespace lumera {
namespace {

constexpr std::size_t kMaxLine = FieldReader::kMaxField;

// A field in a message: quoted, control characters escaped, cut short.
std::string shown(std::string_view text) {
    constexpr std::size_t kMax = 40;
    std::string out;
    for (char c : text) {
        if (out.size() >= kMax) {
            out += "...";
            break;
        }
        out += escapedChar(c);
    }
    return "\"" + out + "\"";
}

class Parser {
public:
    Parser(const std::string& label, const LongFormColumns& columns, const std::string& title)
        : label_(label), columns_(columns), title_(title) {}

    void line(std::string_view text);
    LongFormTable finish();

private:
    [[noreturn]] void fail(const std::string& what) const { throw UserError(title_, label_ + ": " + what); }
    [[noreturn]] void failAt(long line, const std::string& what) const {
        throw UserError(title_, label_ + ", line " + std::to_string(line) + ": " + what);
    }
    [[noreturn]] void failLine(const std::string& what) const { failAt(line_, what); }
    void split(std::string_view text);
    void header();
    std::size_t column(const std::string& name) const;

    const std::string& label_;
    const LongFormColumns& columns_;
    const std::string& title_;
    long line_ = 0;
    std::vector<std::string> fields_;
    std::vector<bool> quoted_;
    std::size_t width_ = 0;  // the header's fields
    std::size_t treatmentAt_ = 0, valueAt_ = 0;
    std::unordered_map<std::string, std::size_t> index_;
    std::vector<long> firstLine_;
    LongFormTable table_;
};

void Parser::split(std::string_view s) {
    fields_.clear();
    quoted_.clear();
    std::size_t p = 0;
    for (;;) {
        while (p < s.size() && (s[p] == ' ' || s[p] == '\t')) ++p;
        std::string field;
        quoted_.push_back(p < s.size() && s[p] == '"');
        if (quoted_.back()) {
            const std::size_t open = p++;
            for (;;) {
                const std::size_t close = s.find('"', p);
                if (close == std::string_view::npos)
                    failLine("the quote opened at character " + std::to_string(open + 1) +
                             " is not closed on its line");
                field.append(s.substr(p, close - p));
                p = close + 1;
                if (p < s.size() && s[p] == '"') {
                    field += '"';
                    ++p;
                    continue;
                }
                break;
            }
            while (p < s.size() && (s[p] == ' ' || s[p] == '\t')) ++p;
            if (p < s.size() && s[p] != ',')
                failLine("field " + std::to_string(fields_.size() + 1) +
                         ": only spaces may follow the closing quote before the comma");
        } else {
            const std::size_t begin = p;
            while (p < s.size() && s[p] != ',') ++p;
            std::size_t end = p;
            while (end > begin && (s[end - 1] == ' ' || s[end - 1] == '\t')) --end;
            field.assign(s.substr(begin, end - begin));
        }
        fields_.push_back(std::move(field));
        if (p >= s.size()) break;
        ++p;
    }
}

std::size_t Parser::column(const std::string& name) const {
    std::optional<std::size_t> found;
    for (std::size_t c = 0; c < fields_.size(); ++c) {
        if (fields_[c] != name) continue;
        if (found)
            failLine("the header names the column " + shown(name) + " twice (fields " + std::to_string(*found + 1) +
                     " and " + std::to_string(c + 1) + ")");
        found = c;
    }
    if (!found) {
        std::string list;
        for (const std::string& f : fields_) list += (list.empty() ? "" : ", ") + shown(f);
        failLine("the header has no column " + shown(name) + "; its columns are " + list +
                 " (name the columns with --treatment-column and --value-column)");
    }
    return *found;
}

void Parser::header() {
    treatmentAt_ = column(columns_.treatment);
    valueAt_ = column(columns_.value);
    if (treatmentAt_ == valueAt_) failLine("the treatment and the value cannot be the same column");
    width_ = fields_.size();
}

void Parser::line(std::string_view text) {
    ++line_;
    if (line_ == 1 && text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
    if (text.size() > kMaxLine)
        failLine("the line is too long (more than " + std::to_string(kMaxLine) + " characters)");
    if (line_ == 1) {
        split(text);
        header();
        return;
    }
    if (text.find_first_not_of(" \t") == std::string_view::npos) return;
    split(text);
    if (fields_.size() != width_)
        failLine(std::to_string(fields_.size()) + " fields where the header has " + std::to_string(width_) +
                 (fields_.size() < width_ ? " (a column is missing)"
                                          : " (a comma too many: decimal commas split a number in two)"));
    const std::string& name = fields_[treatmentAt_];
    const std::string& value = fields_[valueAt_];
    if (name.empty()) failLine("the treatment (column " + shown(columns_.treatment) + ") is empty");
    // write.csv quotes text, so an NA without quotes is a missing treatment.
    if (name == "NA" && !quoted_[treatmentAt_]) failLine("the treatment is NA (missing)");
    const std::optional<double> v = parseNumberText(value);
    if (!v) {
        if (value == "NA") failLine("the value is NA (missing); every row needs a replicate's value");
        failLine("the value " + shown(value) + (numberTextOverflows(value) ? " is too large" : " is not a number"));
    }
    const auto [at, added] = index_.try_emplace(name, table_.treatments.size());
    if (added) {
        table_.treatments.push_back({name, {}});
        firstLine_.push_back(line_);
    }
    table_.treatments[at->second].values.push_back(*v);
}

LongFormTable Parser::finish() {
    if (line_ == 0) fail("the file is empty (line 1 must be the header)");
    for (std::size_t t = 0; t < table_.treatments.size(); ++t)
        if (table_.treatments[t].values.size() < 2)
            failAt(firstLine_[t], "the treatment " + shown(table_.treatments[t].name) +
                                      " has 1 value, on this line; at least 2 are needed");
    return std::move(table_);
}

// Splits text into lines for the parser, a line end at a time; what follows
// the last line end waits for more.
class Lines {
public:
    explicit Lines(Parser& parser) : parser_(parser) {}
    void feed(std::string_view block) {
        for (;;) {
            const std::size_t lf = block.find('\n');
            if (lf == std::string_view::npos) break;
            if (carry_.empty()) {
                parser_.line(block.substr(0, lf));
            } else {
                carry_.append(block.substr(0, lf));
                parser_.line(carry_);
                carry_.clear();
            }
            block.remove_prefix(lf + 1);
        }
        carry_.append(block);
        if (carry_.size() > kMaxLine + 4) parser_.line(carry_);  // refused as too long
    }
    void end() {
        if (!carry_.empty()) parser_.line(carry_);
    }

private:
    Parser& parser_;
    std::string carry_;
};

}  // namespace

LongFormTable parseLongForm(std::string_view content, const std::string& label, const LongFormColumns& columns,
                            const std::string& errorTitle) {
    Parser parser(label, columns, errorTitle);
    Lines lines(parser);
    lines.feed(content);
    lines.end();
    LongFormTable table = parser.finish();
    table.input = {label, content.size(), sha256Hex(content)};
    return table;
}

LongFormTable readLongForm(const std::string& path, const LongFormColumns& columns, const std::string& errorTitle) {
    const bool standardInput = path == "-";
    const int fd = standardInput ? 0 : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw UserError(errorTitle, path + ": cannot open the file (" + std::strerror(errno) + ")");
    struct Closer {
        int fd;
        bool own;
        ~Closer() {
            if (own) ::close(fd);
        }
    } closer{fd, !standardInput};
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) throw UserError(errorTitle, path + ": a folder, not a data file");
    Parser parser(path, columns, errorTitle);
    Lines lines(parser);
    Sha256 digest;
    std::vector<char> block(std::size_t{1} << 20);
    for (;;) {
        const ssize_t n = ::read(fd, block.data(), block.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw UserError(errorTitle, path + ": cannot read the file (" + std::strerror(errno) + ")");
        if (n == 0) break;
        digest.update(block.data(), static_cast<std::size_t>(n));
        lines.feed(std::string_view(block.data(), static_cast<std::size_t>(n)));
    }
    lines.end();
    LongFormTable table = parser.finish();
    table.input = {path, digest.bytes(), digest.hexDigest()};
    return table;
}

}  // namespace lumera
