#pragma once
#include <cstddef>
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

}  // namespace lumera::analysis
