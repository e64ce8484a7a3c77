#include "textio/field_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "textio/escaped_text.h"
#include "textio/rounding.h"
#include "textio/user_error.h"

namespace lumera {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool isFieldEnd(char c) { return c == ',' || c == '\r' || c == '\n'; }

// A field shown in a message: control characters escaped so the message
// stays readable, long junk (say a binary file) cut short.
std::string shown(std::string_view field) {
    constexpr std::size_t kMax = 60;
    std::string out;
    for (char c : field) {
        const std::string piece = escapedChar(c);
        if (out.size() + piece.size() > kMax) return out + "...";
        out += piece;
    }
    return out;
}

bool looksLikeUtf16(std::string_view head) {
    if (head.size() >= 2 && ((head[0] == '\xFF' && head[1] == '\xFE') || (head[0] == '\xFE' && head[1] == '\xFF')))
        return true;
    // Plain text in UTF-16 without a byte-order mark: every other byte NUL.
    const std::size_t n = (head.size() < 64 ? head.size() : 64) & ~std::size_t{1};
    if (n == 0) return false;
    std::size_t evenNul = 0, oddNul = 0;
    for (std::size_t i = 0; i < n; i += 2) {
        evenNul += head[i] == '\0';
        oddNul += head[i + 1] == '\0';
    }
    return (evenNul == n / 2 && oddNul == 0) || (oddNul == n / 2 && evenNul == 0);
}

}  // namespace

FieldReader FieldReader::fromFile(const std::string& path, const std::string& errorTitle, std::size_t blockSize) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        // A socket cannot be opened at all; say why it is no use.
        struct stat st {};
        if (err == ENXIO && ::stat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode))
            throw UserError(errorTitle, "File: " + path + "\n" + path + " is not a regular file or pipe.");
        throw UserError(errorTitle,
                        "Cannot open the file:\n" + path + (err ? "\n" + std::string(std::strerror(err)) : ""));
    }
    // Decided on the open file, so the path cannot change in between.
    struct stat st {};
    const bool known = ::fstat(fd, &st) == 0;
    if (!known || !(S_ISREG(st.st_mode) || S_ISFIFO(st.st_mode))) {
        ::close(fd);
        if (!known) throw UserError(errorTitle, "Cannot read the file:\n" + path);
        if (S_ISDIR(st.st_mode))
            throw UserError(errorTitle, "File: " + path + "\n" + path + " is a folder, not a data file.");
        throw UserError(errorTitle, "File: " + path + "\n" + path + " is not a regular file or pipe.");
    }
    FieldReader reader(fd, path, errorTitle, blockSize);
    reader.start();
    return reader;
}

FieldReader::FieldReader(int fd, std::string fileName, std::string errorTitle, std::size_t blockSize)
    : fileName_(std::move(fileName)),
      errorTitle_(std::move(errorTitle)),
      fd_(fd),
      blockSize_(blockSize > 0 ? blockSize : 1) {
    // A field kept across a refill plus one block always fits.
    try {
        buf_.resize(blockSize_ + kMaxField + 2);
    } catch (...) {
        ::close(fd_);  // no destructor runs for a half-made reader
        throw;
    }
}

FieldReader::FieldReader(std::string content, std::string fileName, std::string errorTitle)
    : fileName_(std::move(fileName)), errorTitle_(std::move(errorTitle)), buf_(std::move(content)) {
    end_ = buf_.size();
    digest_.update(buf_);
    start();
}

FieldReader::FieldReader(FieldReader&& other) noexcept
    : fileName_(std::move(other.fileName_)),
      errorTitle_(std::move(other.errorTitle_)),
      fieldNumber_(other.fieldNumber_),
      fieldLine_(other.fieldLine_),
      linesPassed_(other.linesPassed_),
      afterCr_(other.afterCr_),
      fd_(std::exchange(other.fd_, -1)),
      blockSize_(other.blockSize_),
      buf_(std::move(other.buf_)),
      pos_(other.pos_),
      end_(other.end_),
      digest_(other.digest_) {}

FieldReader& FieldReader::operator=(FieldReader&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fileName_ = std::move(other.fileName_);
        errorTitle_ = std::move(other.errorTitle_);
        fieldNumber_ = other.fieldNumber_;
        fieldLine_ = other.fieldLine_;
        linesPassed_ = other.linesPassed_;
        afterCr_ = other.afterCr_;
        fd_ = std::exchange(other.fd_, -1);
        blockSize_ = other.blockSize_;
        buf_ = std::move(other.buf_);
        pos_ = other.pos_;
        end_ = other.end_;
        digest_ = other.digest_;
    }
    return *this;
}

FieldReader::~FieldReader() {
    if (fd_ >= 0) ::close(fd_);
}

void FieldReader::fail(const std::string& what) const {
    throw UserError(errorTitle_, "File: " + fileName_ + "\n" + what);
}

std::string FieldReader::where() const {
    return fileName_ + ", line " + std::to_string(fieldLine_) + ", field " + std::to_string(fieldNumber_);
}

void FieldReader::failAtField(const std::string& what) const { throw UserError(errorTitle_, where() + ": " + what); }

// Moves pos_ to `to`, counting the line ends passed.
void FieldReader::consume(std::size_t to) const {
    const char* s = buf_.data();
    for (std::size_t p = pos_; p < to; ++p) {
        if (s[p] == '\n') {
            if (!afterCr_) ++linesPassed_;
            afterCr_ = false;
        } else if (s[p] == '\r') {
            ++linesPassed_;
            afterCr_ = true;
        } else {
            afterCr_ = false;
        }
    }
    pos_ = to;
}

void FieldReader::start() {
    // Enough of the start to know the encoding, even from a slow pipe.
    while (end_ < 64 && more(0)) {
    }
    const std::string_view head(buf_.data(), end_);
    if (looksLikeUtf16(head)) fail("The file looks like UTF-16; save it as plain text (UTF-8 or Latin-1).");
    if (head.substr(0, 3) == "\xEF\xBB\xBF") pos_ = 3;
}

// Drops buf_ before keepFrom and reads at most one block after what is
// kept; false when the file had nothing more.
bool FieldReader::more(std::size_t keepFrom) const {
    if (fd_ < 0) return false;
    if (keepFrom > 0) {
        std::memmove(buf_.data(), buf_.data() + keepFrom, end_ - keepFrom);
        end_ -= keepFrom;
        pos_ -= keepFrom;
    }
    std::size_t want = buf_.size() - end_;
    if (want > blockSize_) want = blockSize_;
    std::size_t got = 0;
    // Pipes hand over a little at a time; a full block keeps rescans rare.
    while (got < want) {
        const ssize_t n = ::read(fd_, buf_.data() + end_ + got, want - got);
        if (n > 0) {
            digest_.update(buf_.data() + end_ + got, static_cast<std::size_t>(n));
            got += static_cast<std::size_t>(n);
        } else if (n == 0) {
            ::close(fd_);
            fd_ = -1;
            break;
        } else if (errno != EINTR) {
            throw UserError(errorTitle_, "Cannot read the file:\n" + fileName_);
        }
    }
    end_ += got;
    return got > 0;
}

std::string_view FieldReader::nextRaw(bool& quoted) {
    for (;;) {
        const char* s = buf_.data();
        std::size_t p = pos_;
        while (p < end_ && isBlank(s[p])) ++p;
        consume(p);
        if (p < end_) break;
        if (!more(end_)) {
            const std::string before = "before field " + std::to_string(fieldNumber_ + 1) + ".";
            if (fieldNumber_ == 0) throw UserError(errorTitle_, fileName_ + ": the file ends " + before);
            throw UserError(errorTitle_,
                            fileName_ + ": the file ends after line " + std::to_string(fieldLine_) + ", " + before);
        }
    }
    ++fieldNumber_;
    fieldLine_ = linesPassed_ + 1;
    for (;;) {
        const char* s = buf_.data();
        const std::size_t n = end_;
        const bool whole = fd_ < 0;  // the end of the buffer is the end of the file
        std::size_t p = pos_, begin, end;
        bool complete;
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
        complete = p < n || whole;
        if (complete && p - pos_ <= kMaxField) {
            if (p < n) {
                if (s[p] == '\r' && p + 1 < n && s[p + 1] == '\n') ++p;
                ++p;
            }
            consume(p);
            return std::string_view(s + begin, end - begin);
        }
        if (p - pos_ > kMaxField)
            failAtField("the field is too long (more than " + std::to_string(kMaxField) + " characters).");
        more(pos_);
    }
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
    // Built by appending: GCC 12 warns (falsely) of overlap for "\"" + text.
    std::string what(1, '"');
    what += shown(field);
    what += !quoted && numberTextOverflows(field) ? "\" is too large." : "\" is not a number.";
    failAtField(what);
}

InputDigest FieldReader::inputDigest(const std::string& file) {
    for (pos_ = end_; more(end_); pos_ = end_) {
    }
    Sha256 copy = digest_;
    return {file, copy.bytes(), copy.hexDigest()};
}

bool FieldReader::atEnd() const {
    for (;;) {
        std::size_t p = pos_;
        while (p < end_ && isBlank(buf_[p])) ++p;
        consume(p);
        if (pos_ < end_) return false;
        if (!more(end_)) return true;
    }
}

}  // namespace lumera
