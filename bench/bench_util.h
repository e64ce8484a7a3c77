#pragma once
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <vector>

namespace lumera::bench {

// Median wall time of several runs, in seconds: machines here are noisy.
inline double medianSeconds(int runs, const std::function<void()>& work) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        auto start = std::chrono::steady_clock::now();
        work();
        times.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

inline double peakMegabytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
}

}  // namespace lumera::bench
