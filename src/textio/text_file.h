#pragma once
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace lumera {

// A text file written through a large buffer under a temporary name in its
// folder, and put in place under its own name only by close(): a file that
// is given up (an error, a destructor without close, a killed run) never
// shows under the name, and whatever stood there before stays. A file it
// replaces keeps its mode and group; a symbolic link keeps pointing where
// it did, to the new file; a terminal, pipe or socket is written into as it
// comes (there a failure is an error, and nothing can be undone). Lines passed
// in already carry their CR LF (the print and write builders add them). A
// failure to create or write throws UserError naming the file.
class TextFile {
public:
    // What close() does when the name is already taken.
    enum class Existing {
        Replace,        // the new complete file replaces the old one whole
        KeepAndNumber,  // the old one stays; the new one takes " (2)", " (3)", ... before the extension
    };

    TextFile(std::string path, std::string errorTitle, std::size_t bufferBytes = 1 << 20,
             Existing existing = Existing::Replace);
    ~TextFile();  // gives the file up without throwing; call close() to keep it
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
    // Flushes and starts the disk's writing of the text so far without
    // waiting for it, on the caller's thread: replacing an existing file,
    // close() would otherwise have to start it.
    void startWriteback();
    // Writes what is left and puts the file in place under its name.
    void close();
    bool isOpen() const { return file_ != nullptr; }
    // The file's name; after close() with KeepAndNumber, the name it took.
    const std::string& path() const { return path_; }
    // Where the text stands until close(); empty when it is written in place.
    const std::string& temporaryPath() const { return temporaryPath_; }

private:
    [[noreturn]] void fail(const char* what, int err);
    void drain();
    void giveUp() noexcept;
    void openInPlace(bool regular);
    void keepAttributesOfOld();
    void putInPlace();

    std::string path_;
    std::string target_;  // what a replacing close() renames onto: the end of the path's links
    std::string temporaryPath_;
    int slot_ = -1;  // of the temporary in the interrupt's list
    bool inPlace_ = false;
    std::string errorTitle_;
    Existing existing_;
    std::FILE* file_ = nullptr;
    std::unique_ptr<char[]> buffer_;
    std::size_t capacity_ = 0;
    std::size_t used_ = 0;
};

// Lets the system drop the pages it keeps of a regular file's text, which
// it would otherwise free while a new file replaces it; the file itself is
// untouched. Quietly does nothing where it cannot.
void forgetCachedText(const std::string& path) noexcept;

// Why a text cannot be part of a file name (it holds a line end, a NUL or a
// path separator), or nothing when it can.
std::optional<std::string> nameTextProblem(std::string_view text);

}  // namespace lumera
