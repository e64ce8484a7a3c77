#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace lumera {

// SHA-256 (FIPS 180-4), fed as a file is read, so an input can be named by
// its digest without a second reading.
class Sha256 {
public:
    Sha256();
    void update(const void* data, std::size_t size);
    void update(std::string_view text) { update(text.data(), text.size()); }
    // The digest as 64 lower-case hexadecimal digits; the object is spent.
    std::string hexDigest();
    std::uint64_t bytes() const { return bytes_; }

private:
    void block(const unsigned char* p);

    std::array<std::uint32_t, 8> h_;
    std::array<unsigned char, 64> pending_{};
    std::size_t pendingSize_ = 0;
    std::uint64_t bytes_ = 0;
};

std::string sha256Hex(std::string_view text);

// One input of a command as it was read: its name as given ("-" for
// standard input), its length and its digest.
struct InputDigest {
    std::string file;
    std::uint64_t bytes = 0;
    std::string sha256;
};

}  // namespace lumera
