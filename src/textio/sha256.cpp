#include "textio/sha256.h"

#include <nettle/sha2.h>

namespace lumera {

Sha256::Sha256() : context_(std::make_unique<sha256_ctx>()) { sha256_init(context_.get()); }
Sha256::~Sha256() = default;
Sha256::Sha256(const Sha256& other)
    : context_(other.context_ ? std::make_unique<sha256_ctx>(*other.context_) : nullptr), bytes_(other.bytes_) {}
Sha256& Sha256::operator=(const Sha256& other) {
    if (this != &other) *this = Sha256(other);
    return *this;
}
Sha256::Sha256(Sha256&&) noexcept = default;
Sha256& Sha256::operator=(Sha256&&) noexcept = default;

void Sha256::update(const void* data, std::size_t size) {
    if (size == 0) return;
    sha256_update(context_.get(), size, static_cast<const std::uint8_t*>(data));
    bytes_ += size;
}

std::string Sha256::hexDigest() {
    std::uint8_t digest[SHA256_DIGEST_SIZE];
    sha256_digest(context_.get(), sizeof digest, digest);
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    for (const std::uint8_t b : digest) {
        out += kHex[b >> 4];
        out += kHex[b & 15];
    }
    return out;
}

std::string sha256Hex(std::string_view text) {
    Sha256 h;
    h.update(text);
    return h.hexDigest();
}

}  // namespace lumera
