#include "cli/checked_output.h"

#include <unistd.h>

#include <cerrno>

namespace lumera::cli {

CheckedOutput::CheckedOutput(int fd) : fd_(fd), buf_(std::size_t{1} << 16) {
    setp(buf_.data(), buf_.data() + buf_.size());
}

int CheckedOutput::finish() {
    drain();
    return error_;
}

int CheckedOutput::overflow(int c) {
    if (!drain()) return traits_type::eof();
    if (c != traits_type::eof()) {
        *pptr() = traits_type::to_char_type(c);
        pbump(1);
    }
    return traits_type::not_eof(c);
}

int CheckedOutput::sync() { return drain() ? 0 : -1; }

bool CheckedOutput::drain() {
    // After a failure nothing more is written: the output is lost already.
    for (const char* p = pbase(); error_ == 0 && p < pptr();) {
        const ssize_t n = ::write(fd_, p, static_cast<std::size_t>(pptr() - p));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            error_ = n < 0 ? errno : EIO;
            break;
        }
        p += n;
    }
    setp(buf_.data(), buf_.data() + buf_.size());
    return error_ == 0;
}

}  // namespace lumera::cli
