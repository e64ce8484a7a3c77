#pragma once
#include <algorithm>
#include <atomic>
#include <cstddef>
#include <exception>
#include <system_error>
#include <thread>
#include <vector>

namespace lumera::analysis {

// The machine's cores, at least 1.
inline std::size_t coreCount() { return std::max(1u, std::thread::hardware_concurrency()); }

// Runs work(i) for every i < count on up to `workers` threads, each taking
// the next item; a thread the system cannot give only means fewer workers.
// Then rethrows the failure of the lowest item, the one that running them
// in turn would have met first.
template <class Work>
void forEachItem(std::size_t count, std::size_t workers, Work&& work) {
    std::vector<std::exception_ptr> failures(count);
    std::atomic<std::size_t> next{0};
    auto run = [&] {
        for (std::size_t i; (i = next.fetch_add(1)) < count;) try {
                work(i);
            } catch (...) {
                failures[i] = std::current_exception();
            }
    };
    std::vector<std::thread> threads;
    threads.reserve(workers);  // no growth, so nothing throws while a thread runs
    for (std::size_t w = 1; w < std::min(workers, count); ++w) try {
            threads.emplace_back(run);
        } catch (const std::system_error&) {
            break;
        }
    run();
    for (std::thread& t : threads) t.join();
    for (const std::exception_ptr& f : failures)
        if (f) std::rethrow_exception(f);
}

}  // namespace lumera::analysis
