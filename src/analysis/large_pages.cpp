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

}  // namespace lumera::analysis
