#pragma once
#include <cstddef>
#include <memory>
#include <type_traits>
#include <utility>
#include <vector>

namespace lumera::analysis {

// Asks the system to back a large buffer with large pages before it is first
// touched: on virtual machines every first touch of a small page can cost
// more than the work done on it. Harmless where not supported.
void preferLargePages(const void* data, std::size_t bytes);

// A vector of n values, with storage obtained and advised before it is written.
template <class T>
std::vector<T> largeVector(std::size_t n, const T& value = T{}) {
    std::vector<T> v;
    v.reserve(n);
    preferLargePages(v.data(), n * sizeof(T));
    v.resize(n, value);
    return v;
}

// One block of memory, advised as above, handed out in turn to the arrays
// of one run (not thread-safe: the arrays are made before the threads
// start). One block can be backed by large pages where two dozen arrays of
// a megabyte would each be faulted in page by page.
class LargePageArena {
public:
    explicit LargePageArena(std::size_t bytes);
    // The next `bytes`, aligned to `align`; nullptr when the block is used up.
    void* take(std::size_t bytes, std::size_t align) noexcept;
    bool holds(const void* p) const noexcept;

private:
    std::unique_ptr<unsigned char[]> block_;
    std::size_t size_ = 0, used_ = 0;
};

// An allocator that takes from a shared arena while it has room, and from
// the heap after. It leaves the values it makes unset: the arrays it serves
// are written whole by the threads that compute them, and clearing them
// first would cost a pass over their memory before the threads start.
template <class T>
class ArenaAllocator {
public:
    using value_type = T;
    using propagate_on_container_copy_assignment = std::true_type;
    using propagate_on_container_move_assignment = std::true_type;
    using propagate_on_container_swap = std::true_type;

    ArenaAllocator() noexcept = default;
    explicit ArenaAllocator(std::shared_ptr<LargePageArena> arena) noexcept : arena_(std::move(arena)) {}
    template <class U>
    ArenaAllocator(const ArenaAllocator<U>& other) noexcept : arena_(other.arena()) {}

    T* allocate(std::size_t n) {
        if (arena_)
            if (void* p = arena_->take(n * sizeof(T), alignof(T))) return static_cast<T*>(p);
        return std::allocator<T>().allocate(n);
    }
    void deallocate(T* p, std::size_t n) noexcept {
        if (!arena_ || !arena_->holds(p)) std::allocator<T>().deallocate(p, n);
    }
    template <class U>
    void construct(U* p) noexcept(std::is_nothrow_default_constructible_v<U>) {
        ::new (static_cast<void*>(p)) U;
    }
    template <class U, class... Args>
    void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }

    const std::shared_ptr<LargePageArena>& arena() const noexcept { return arena_; }
    friend bool operator==(const ArenaAllocator& a, const ArenaAllocator& b) noexcept { return a.arena_ == b.arena_; }

private:
    std::shared_ptr<LargePageArena> arena_;
};

}  // namespace lumera::analysis
