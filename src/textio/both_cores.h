#pragma once
#include <exception>
#include <optional>
#include <system_error>
#include <thread>

namespace lumera {

// Runs `second` on another thread while `first` runs on this one, and
// returns when both are done; an exception of either is thrown here (the
// first one's when both throw). The machines here have two cores. The two
// never wait on each other, so a thread the system cannot give only means
// running them in turn.
template <typename First, typename Second>
void onBothCores(First&& first, Second&& second) {
    std::exception_ptr secondError;
    std::optional<std::thread> started;
    try {
        started.emplace([&] {
            try {
                second();
            } catch (...) {
                secondError = std::current_exception();
            }
        });
    } catch (const std::system_error&) {
        first();
        second();
        return;
    }
    std::thread& other = *started;
    try {
        first();
    } catch (...) {
        other.join();
        throw;
    }
    other.join();
    if (secondError) std::rethrow_exception(secondError);
}

}  // namespace lumera
