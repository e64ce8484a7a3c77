#include "textio/text_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>

#include "textio/user_error.h"

namespace lumera {

namespace {

namespace fs = std::filesystem;

std::atomic<unsigned> temporaryCounter{0};

// A short name, so that a final name close to the limit still has a
// temporary one; a leading dot keeps it out of most file lists.
int createTemporary(const fs::path& folder, std::string& name) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = (folder / (".lumera-" + std::to_string(getpid()) + "-" + std::to_string(temporaryCounter++) + ".tmp"))
                   .string();
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

std::string numbered(const std::string& path, int n) {
    const fs::path p(path);
    const std::string suffix = " (" + std::to_string(n) + ")";
    fs::path name = p.filename();
    const std::string stem = name.stem().string(), extension = name.extension().string();
    return (p.parent_path() / (stem + suffix + extension)).string();
}

// Renames without replacing: 0, or the errno (EEXIST when the name is taken).
int renameNoReplace(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return errno;
    // A file system without that rename: a hard link is just as exclusive.
    if (::link(from.c_str(), to.c_str()) != 0) return errno;
    ::unlink(from.c_str());
    return 0;
}

}  // namespace

TextFile::TextFile(std::string path, std::string errorTitle, std::size_t bufferBytes, Existing existing)
    : path_(std::move(path)), errorTitle_(std::move(errorTitle)), existing_(existing) {
    // Found now rather than when the complete file is put in place.
    const fs::path target(path_);
    if (target.filename().string().size() > NAME_MAX) fail("Cannot create the file", ENAMETOOLONG);
    struct stat st;
    if (::stat(path_.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) fail("Cannot create the file", EISDIR);

    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    const int fd = createTemporary(folder, temporaryPath_);
    if (fd < 0) {
        const int err = errno;
        temporaryPath_.clear();
        fail("Cannot create the file", err);
    }
    file_ = ::fdopen(fd, "wb");
    if (!file_) {
        const int err = errno;
        ::close(fd);
        fail("Cannot create the file", err);
    }
    capacity_ = bufferBytes;
    if (capacity_ > 0) buffer_ = std::make_unique<char[]>(capacity_);
}

TextFile::~TextFile() { giveUp(); }

void TextFile::giveUp() noexcept {
    if (file_) {
        std::fclose(file_);
        file_ = nullptr;
    }
    if (!temporaryPath_.empty()) {
        ::unlink(temporaryPath_.c_str());
        temporaryPath_.clear();
    }
    used_ = 0;
}

void TextFile::fail(const char* what, int err) {
    giveUp();
    std::string text(what);
    text.append(":\n").append(path_);
    if (err != 0) text.append("\n").append(std::strerror(err));
    throw UserError(errorTitle_, std::move(text));
}

void TextFile::write(std::string_view text) {
    if (!file_) fail("Cannot write the file", 0);
    if (text.empty()) return;
    if (text.size() > capacity_ - used_) {
        drain();
        if (text.size() >= capacity_) {
            if (std::fwrite(text.data(), 1, text.size(), file_) != text.size()) fail("Cannot write the file", errno);
            return;
        }
    }
    std::memcpy(buffer_.get() + used_, text.data(), text.size());
    used_ += text.size();
}

void TextFile::drain() {
    if (!file_) fail("Cannot write the file", 0);
    if (used_ > 0 && std::fwrite(buffer_.get(), 1, used_, file_) != used_) fail("Cannot write the file", errno);
    used_ = 0;
}

void TextFile::writeLine(std::string_view text) {
    write(text);
    write("\r\n");
}

void TextFile::flush() {
    drain();
    if (std::fflush(file_) != 0) fail("Cannot write the file", errno);
}

void TextFile::close() {
    if (!file_) return;
    drain();
    std::FILE* f = file_;
    file_ = nullptr;
    if (std::fclose(f) != 0) fail("Cannot write the file", errno);
    putInPlace();
}

void TextFile::putInPlace() {
    if (existing_ == Existing::Replace) {
        if (::rename(temporaryPath_.c_str(), path_.c_str()) != 0) fail("Cannot write the file", errno);
    } else {
        int err = EEXIST;
        std::string name = path_;
        for (int n = 2; err == EEXIST && n <= 10'000; ++n) {
            err = renameNoReplace(temporaryPath_, name);
            if (err == EEXIST) name = numbered(path_, n);
        }
        if (err != 0) fail("Cannot write the file", err);
        path_ = name;
    }
    temporaryPath_.clear();
}

std::optional<std::string> nameTextProblem(std::string_view text) {
    for (char c : text) {
        if (c == '\n' || c == '\r') return "it holds a line end";
        if (c == '\0') return "it holds a NUL character";
        if (c == '/') return "it holds a \"/\", which separates folders";
    }
    return std::nullopt;
}

}  // namespace lumera
