#pragma once
#include <streambuf>
#include <vector>

namespace lumera::cli {

// Standard output through write(2), keeping the first error: a full disk
// or a closed pipe must not leave a cut file behind an exit status of 0.
class CheckedOutput : public std::streambuf {
public:
    explicit CheckedOutput(int fd);
    // Writes out what is buffered; the errno of the first failed write, or 0.
    int finish();

protected:
    int overflow(int c) override;
    int sync() override;

private:
    bool drain();

    int fd_;
    int error_ = 0;
    std::vector<char> buf_;
};

}  // namespace lumera::cli
