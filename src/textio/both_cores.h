#pragma once
#include <exception>
#include <thread>

namespace lumera {

// Runs `second` on another thread while `first` runs on this one, and
// returns when both are done; an exception of either is thrown here (the
// first one's when both throw). The machines here have two cores.
template <typename First, typename Second>
void onBothCores(First&& first, Second&& second) {
    std::exception_ptr secondError;
    std::thread other([&] {
        try {
            second();
        } catch (...) {
            secondError = std::current_exception();
        }
    });
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
