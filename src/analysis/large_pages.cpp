#include "analysis/large_pages.h"

#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace lumera::analysis {

void preferLargePages(const void* data, std::size_t bytes) {
#if defined(MADV_HUGEPAGE)
    constexpr std::uintptr_t kLarge = std::uintptr_t{2} << 20;
    if (bytes < 4 * kLarge) return;
    // Only whole large pages inside the buffer; the advice is a hint.
    const auto begin = (reinterpret_cast<std::uintptr_t>(data) + kLarge - 1) & ~(kLarge - 1);
    const auto end = (reinterpret_cast<std::uintptr_t>(data) + bytes) & ~(kLarge - 1);
    if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
    (void)data;
    (void)bytes;
#endif
}

LargePageArena::LargePageArena(std::size_t bytes)
    : block_(std::make_unique_for_overwrite<unsigned char[]>(bytes)), size_(bytes) {
    preferLargePages(block_.get(), bytes);
}

void* LargePageArena::take(std::size_t bytes, std::size_t align) noexcept {
    const std::size_t at = (used_ + align - 1) / align * align;
    if (at > size_ || bytes > size_ - at) return nullptr;
    used_ = at + bytes;
    return block_.get() + at;
}

bool LargePageArena::holds(const void* p) const noexcept {
    const auto* q = static_cast<const unsigned char*>(p);
    return q >= block_.get() && q < block_.get() + size_;
}

}  // namespace lumera::analysis
