#include "textio/text_file.h"

#include <cerrno>
#include <cstring>

#include "textio/user_error.h"

namespace lumera {

TextFile::TextFile(std::string path, std::string errorTitle, std::size_t bufferBytes)
    : path_(std::move(path)), errorTitle_(std::move(errorTitle)) {
    file_ = std::fopen(path_.c_str(), "wb");
    if (!file_) fail("Cannot create the file");
    capacity_ = bufferBytes;
    if (capacity_ > 0) buffer_ = std::make_unique<char[]>(capacity_);
}

TextFile::~TextFile() {
    if (!file_) return;
    if (used_ > 0) std::fwrite(buffer_.get(), 1, used_, file_);
    std::fclose(file_);
}

void TextFile::fail(const char* what) {
    const int err = errno;
    if (file_) {
        std::fclose(file_);
        file_ = nullptr;
    }
    used_ = 0;
    std::string text(what);
    text.append(":\n").append(path_);
    if (err != 0) text.append("\n").append(std::strerror(err));
    throw UserError(errorTitle_, std::move(text));
}

void TextFile::write(std::string_view text) {
    if (!file_) {
        errno = 0;
        fail("Cannot write the file");
    }
    if (text.empty()) return;
    if (text.size() > capacity_ - used_) {
        if (used_ > 0) {
            errno = 0;
            if (std::fwrite(buffer_.get(), 1, used_, file_) != used_) fail("Cannot write the file");
            used_ = 0;
        }
        if (text.size() >= capacity_) {
            errno = 0;
            if (std::fwrite(text.data(), 1, text.size(), file_) != text.size())
                fail("Cannot write the file");
            return;
        }
    }
    std::memcpy(buffer_.get() + used_, text.data(), text.size());
    used_ += text.size();
}

void TextFile::drain() {
    errno = 0;
    if (!file_) fail("Cannot write the file");
    if (used_ > 0 && std::fwrite(buffer_.get(), 1, used_, file_) != used_) fail("Cannot write the file");
    used_ = 0;
}

void TextFile::writeLine(std::string_view text) {
    write(text);
    write("\r\n");
}

void TextFile::flush() {
    if (!file_) {
        errno = 0;
        fail("Cannot write the file");
    }
    errno = 0;
    if (used_ > 0 && std::fwrite(buffer_.get(), 1, used_, file_) != used_) fail("Cannot write the file");
    used_ = 0;
    if (std::fflush(file_) != 0) fail("Cannot write the file");
}

void TextFile::close() {
    if (!file_) return;
    errno = 0;
    if (used_ > 0 && std::fwrite(buffer_.get(), 1, used_, file_) != used_) fail("Cannot write the file");
    used_ = 0;
    std::FILE* f = file_;
    file_ = nullptr;
    if (std::fclose(f) != 0) fail("Cannot write the file");
}

}  // namespace lumera
