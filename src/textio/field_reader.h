#pragma once
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

#include "textio/sha256.h"

namespace lumera {

// Reads a text file as a sequence of fields separated by commas or line
// ends. Spaces (and blank lines) before a field are skipped; a text field is
// either enclosed in double quotes (and may then hold commas) or runs to the
// next comma or line end, its trailing spaces dropped. Errors name the file,
// the line and the field number (both counted from 1) in a UserError.
//
// The file is read a block at a time, so pipes work and memory stays at one
// block plus the longest field; a field (as it stands in the file, from its
// first character to the comma or line end) may hold at most kMaxField
// characters.
class FieldReader {
public:
    static constexpr std::size_t kMaxField = 65536;
    static constexpr std::size_t kBlockSize = std::size_t{1} << 20;

    // Opens a regular file or a pipe; throws UserError (title errorTitle)
    // when it cannot be opened or read, is a folder or another kind of file,
    // or looks like UTF-16. blockSize is the most read at once.
    static FieldReader fromFile(const std::string& path, const std::string& errorTitle,
                                std::size_t blockSize = kBlockSize);
    FieldReader(std::string content, std::string fileName, std::string errorTitle);
    FieldReader(FieldReader&& other) noexcept;
    FieldReader& operator=(FieldReader&& other) noexcept;
    FieldReader(const FieldReader&) = delete;
    FieldReader& operator=(const FieldReader&) = delete;
    ~FieldReader();

    std::string readText();
    double readNumber();
    // True when nothing but spaces and line ends is left; waits for a pipe.
    bool atEnd() const;
    // Number of the field read last (0 before the first).
    long fieldNumber() const { return fieldNumber_; }
    // Line on which the field read last begins (0 before the first).
    long lineNumber() const { return fieldLine_; }
    // "file, line L, field F" of the field read last, for messages.
    std::string where() const;
    // Throws UserError: where() + ": " + what.
    [[noreturn]] void failAtField(const std::string& what) const;
    const std::string& fileName() const { return fileName_; }
    // The length and SHA-256 of the whole file: what is left unread is read
    // (and hashed) first. For the reader made from a text, that text.
    InputDigest inputDigest(const std::string& file);
    // What is read but not yet used, and the open file that the rest comes
    // from (-1 when the whole file is read), for a faster reader of the
    // rest to take over; the reader itself is then of no more use.
    std::string_view unreadText() const { return std::string_view(buf_.data() + pos_, end_ - pos_); }
    int takeDescriptor() { return std::exchange(fd_, -1); }

private:
    FieldReader(int fd, std::string fileName, std::string errorTitle, std::size_t blockSize);
    void start();
    bool more(std::size_t keepFrom) const;
    std::string_view nextRaw(bool& quoted);
    [[noreturn]] void fail(const std::string& what) const;
    void consume(std::size_t to) const;

    std::string fileName_;
    std::string errorTitle_;
    long fieldNumber_ = 0;
    long fieldLine_ = 0;
    // Line ends passed; a CR LF counts once, a lone CR as one.
    mutable long linesPassed_ = 0;
    mutable bool afterCr_ = false;
    mutable int fd_ = -1;  // -1 once the whole file is in buf_
    std::size_t blockSize_ = kBlockSize;
    // The part of the file read but not yet used is buf_[pos_, end_). atEnd
    // may read ahead and drop blanks, which changes no field.
    mutable std::string buf_;
    mutable std::size_t pos_ = 0;
    mutable std::size_t end_ = 0;
    mutable Sha256 digest_;
};

}  // namespace lumera
