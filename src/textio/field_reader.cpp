#include "textio/field_reader.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "textio/rounding.h"
#include "textio/user_error.h"

namespace lumera {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool isFieldEnd(char c) { return c == ',' || c == '\r' || c == '\n'; }

// A field shown in a message: long junk (say a binary file) is cut short.
std::string shown(std::string_view field) {
    constexpr std::size_t kMax = 60;
    if (field.size() <= kMax) return std::string(field);
    return std::string(field.substr(0, kMax)) + "...";
}

}  // namespace

FieldReader FieldReader::fromFile(const std::string& path, const std::string& errorTitle) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        const int err = errno;
        throw UserError(errorTitle, "Cannot open the file:\n" + path +
                                        (err ? "\n" + std::string(std::strerror(err)) : ""));
    }
    std::string content;
    bool failed = false;
    if (std::fseek(f, 0, SEEK_END) == 0) {
        const long size = std::ftell(f);
        if (size > 0) content.resize(static_cast<std::size_t>(size));
        failed = std::fseek(f, 0, SEEK_SET) != 0;
    }
    if (!failed) {
        // One read for the known size, then whatever else the file holds
        // (it may have grown, or not have had a size at all).
        std::size_t got = content.empty() ? 0 : std::fread(content.data(), 1, content.size(), f);
        content.resize(got);
        char chunk[1 << 16];
        while ((got = std::fread(chunk, 1, sizeof chunk, f)) > 0) content.append(chunk, got);
        failed = std::ferror(f) != 0;
    }
    std::fclose(f);
    if (failed) throw UserError(errorTitle, "Cannot read the file:\n" + path);
    return FieldReader(std::move(content), path, errorTitle);
}

FieldReader::FieldReader(std::string content, std::string fileName, std::string errorTitle)
    : content_(std::move(content)), fileName_(std::move(fileName)), errorTitle_(std::move(errorTitle)) {
    if (content_.compare(0, 3, "\xEF\xBB\xBF") == 0) pos_ = 3;
}

std::string_view FieldReader::nextRaw(bool& quoted) {
    const char* s = content_.data();
    const std::size_t n = content_.size();
    std::size_t p = pos_;
    while (p < n && isBlank(s[p])) ++p;
    if (p >= n) {
        pos_ = p;
        throw UserError(errorTitle_, "File: " + fileName_ + "\nThe file ends before field " +
                                         std::to_string(fieldNumber_ + 1) + ".");
    }
    ++fieldNumber_;
    std::size_t begin, end;
    if (s[p] == '"') {
        quoted = true;
        begin = p + 1;
        const void* close = std::memchr(s + begin, '"', n - begin);
        end = close ? static_cast<std::size_t>(static_cast<const char*>(close) - s) : n;
        p = close ? end + 1 : n;
        while (p < n && !isFieldEnd(s[p])) ++p;
    } else {
        quoted = false;
        begin = p;
        while (p < n && !isFieldEnd(s[p])) ++p;
        end = p;
        while (end > begin && (s[end - 1] == ' ' || s[end - 1] == '\t')) --end;
    }
    if (p < n) {
        if (s[p] == '\r' && p + 1 < n && s[p + 1] == '\n') ++p;
        ++p;
    }
    pos_ = p;
    return std::string_view(s + begin, end - begin);
}

std::string FieldReader::readText() {
    bool quoted = false;
    return std::string(nextRaw(quoted));
}

double FieldReader::readNumber() {
    bool quoted = false;
    const std::string_view field = nextRaw(quoted);
    if (!quoted) {
        if (const std::optional<double> v = parseNumberText(field)) return *v;
    }
    throw UserError(errorTitle_, "File: " + fileName_ + "\nField " + std::to_string(fieldNumber_) +
                                     " is not a number: \"" + shown(field) + "\".");
}

bool FieldReader::atEnd() const {
    for (std::size_t p = pos_; p < content_.size(); ++p)
        if (!isBlank(content_[p])) return false;
    return true;
}

}  // namespace lumera
