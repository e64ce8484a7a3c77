#pragma once
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

namespace lumera {

// A text file opened for writing (an existing file is replaced), written
// through a large buffer. Lines passed in already carry their CR LF (the
// print and write builders add them). A failure to create or write throws
// UserError naming the file.
class TextFile {
public:
    TextFile(std::string path, std::string errorTitle, std::size_t bufferBytes = 1 << 20);
    ~TextFile();  // closes without throwing; call close() to see errors
    TextFile(const TextFile&) = delete;
    TextFile& operator=(const TextFile&) = delete;

    void write(std::string_view text);
    // A line of plain text followed by CR LF.
    void writeLine(std::string_view text);
    // Room for up to n bytes (n well below the buffer size) at the end of
    // the buffer, for callers that format in place; commit(k) keeps k of them.
    char* reserve(std::size_t n) {
        if (n > capacity_ - used_) drain();
        return buffer_.get() + used_;
    }
    void commit(std::size_t n) { used_ += n; }
    void flush();
    void close();
    bool isOpen() const { return file_ != nullptr; }
    const std::string& path() const { return path_; }

private:
    [[noreturn]] void fail(const char* what);
    void drain();

    std::string path_;
    std::string errorTitle_;
    std::FILE* file_ = nullptr;
    std::unique_ptr<char[]> buffer_;
    std::size_t capacity_ = 0;
    std::size_t used_ = 0;
};

}  // namespace lumera
