#include "textio/text_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>

#include "textio/temporary_files.h"
#include "textio/user_error.h"

namespace lumera {

namespace {

namespace fs = std::filesystem;

std::atomic<unsigned> temporaryCounter{0};

// A short name, so that a final name close to the limit still has a
// temporary one; a leading dot keeps it out of most file lists.
int createTemporary(const fs::path& folder, std::string& name, int& slot) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = temporaryName(folder.string(), temporaryCounter++);
        slot = registerTemporary(name);
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) return fd;
        const int err = errno;
        releaseTemporary(slot);
        slot = -1;
        errno = err;
        if (err != EEXIST) return -1;
    }
    return -1;
}

// Where a symbolic link at `path` finally points (the path itself when it
// is none), and whether the way passed a link of the process table
// (/dev/stdout and the like): those are written where they point, in place.
std::string followLinks(const std::string& path, bool& throughProcess, int& err) {
    std::string p = path;
    err = 0;
    for (int hop = 0; hop < 40; ++hop) {
        struct stat st;
        if (::lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return p;
        char buffer[PATH_MAX];
        const ssize_t n = ::readlink(p.c_str(), buffer, sizeof buffer - 1);
        if (n < 0) {
            err = errno;
            return p;
        }
        const std::string to(buffer, static_cast<std::size_t>(n));
        if (to.rfind("/proc/", 0) == 0) throughProcess = true;
        const fs::path from(p);
        p = (!to.empty() && to.front() == '/') || !from.has_parent_path() ? to : (from.parent_path() / to).string();
    }
    err = ELOOP;
    return p;
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

// N for /dev/stdout, /dev/stderr, /dev/fd/N and /proc/self/fd/N when the
// process has that descriptor open; otherwise -1.
int ownStream(const std::string& path) {
    int fd = -1;
    if (path == "/dev/stdout") fd = STDOUT_FILENO;
    if (path == "/dev/stderr") fd = STDERR_FILENO;
    for (const char* prefix : {"/dev/fd/", "/proc/self/fd/"}) {
        const std::size_t n = std::strlen(prefix);
        if (path.compare(0, n, prefix) != 0 || path.size() == n || path.size() > n + 6) continue;
        if (path.find_first_not_of("0123456789", n) != std::string::npos) continue;
        fd = std::stoi(path.substr(n));
    }
    return fd >= 0 && ::fcntl(fd, F_GETFD) != -1 ? fd : -1;
}

}  // namespace

TextFile::TextFile(std::string path, std::string errorTitle, std::size_t bufferBytes, Existing existing)
    : path_(std::move(path)), errorTitle_(std::move(errorTitle)), existing_(existing) {
    // Found now rather than when the complete file is put in place.
    if (fs::path(path_).filename().string().size() > NAME_MAX) fail("Cannot create the file", ENAMETOOLONG);
    target_ = path_;
    capacity_ = bufferBytes;
    if (existing_ == Existing::Replace && ownStream(path_) >= 0) {
        openInPlace(false);
        if (capacity_ > 0) buffer_ = std::make_unique<char[]>(capacity_);
        return;
    }
    struct stat st;
    const bool exists = ::stat(path_.c_str(), &st) == 0;
    if (!exists && errno != ENOENT) fail("Cannot create the file", errno);
    if (exists && S_ISDIR(st.st_mode)) fail("Cannot create the file", EISDIR);
    // A numbered file never replaces anything, so what stands at the name
    // stays whatever it is; a replacing one goes where its link points.
    if (existing_ == Existing::Replace) {
        bool throughProcess = false;
        if (!exists || S_ISREG(st.st_mode)) {
            int err = 0;
            target_ = followLinks(path_, throughProcess, err);
            if (err != 0) fail("Cannot create the file", err);
        }
        // A terminal, a pipe or a socket cannot be renamed over: the text goes into it.
        if (exists && (S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode) || throughProcess)) {
            openInPlace(S_ISREG(st.st_mode));
            if (capacity_ > 0) buffer_ = std::make_unique<char[]>(capacity_);
            return;
        }
        if (exists && !S_ISREG(st.st_mode)) fail("Cannot write the file (it is a block device)", 0);
    }

    const fs::path target(target_);
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    removeStaleTemporaries(folder.string());
    const int fd = createTemporary(folder, temporaryPath_, slot_);
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
    if (capacity_ > 0) buffer_ = std::make_unique<char[]>(capacity_);
}

void TextFile::openInPlace(bool regular) {
    // The process's own streams by name share the stream's place, as in the
    // shell: "--csv /dev/stdout > f" puts the CSV before what follows it.
    // Another regular file reached through the process table gets the text
    // at its end.
    const int own = ownStream(path_);
    const int fd = own >= 0 ? ::fcntl(own, F_DUPFD_CLOEXEC, 0)
                            : ::open(path_.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC | (regular ? O_APPEND : 0));
    if (fd < 0) fail("Cannot open the file", errno);
    file_ = ::fdopen(fd, "wb");
    if (!file_) {
        const int err = errno;
        ::close(fd);
        fail("Cannot open the file", err);
    }
    inPlace_ = true;
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
    releaseTemporary(slot_);
    slot_ = -1;
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

void TextFile::startWriteback() {
    flush();
    // Only a head start: close() and the kernel do the same work without it.
    if (!inPlace_) ::sync_file_range(::fileno(file_), 0, 0, SYNC_FILE_RANGE_WRITE);
}

void forgetCachedText(const std::string& path) noexcept {
    // Only a regular file is opened: opening a device can have effects.
    struct stat st;
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    ::close(fd);
}

void TextFile::close() {
    if (!file_) return;
    drain();
    if (!inPlace_ && existing_ == Existing::Replace) keepAttributesOfOld();
    std::FILE* f = file_;
    file_ = nullptr;
    if (std::fclose(f) != 0) fail("Cannot write the file", errno);
    if (!inPlace_) putInPlace();
}

// The owner chose who may read the old file: the new one keeps its mode,
// and its group where the owner may set it.
void TextFile::keepAttributesOfOld() {
    struct stat old;
    if (::stat(target_.c_str(), &old) != 0 || !S_ISREG(old.st_mode)) return;
    const int fd = ::fileno(file_);
    struct stat mine;
    if (::fstat(fd, &mine) == 0 && mine.st_gid != old.st_gid && ::fchown(fd, static_cast<uid_t>(-1), old.st_gid) != 0 &&
        errno != EPERM)
        fail("Cannot write the file", errno);
    if (::fchmod(fd, old.st_mode & 07777) != 0) fail("Cannot write the file", errno);
}

void TextFile::putInPlace() {
    if (existing_ == Existing::Replace) {
        if (::rename(temporaryPath_.c_str(), target_.c_str()) != 0) fail("Cannot write the file", errno);
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
    releaseTemporary(slot_);
    slot_ = -1;
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
