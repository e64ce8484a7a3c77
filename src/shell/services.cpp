#include "shell/services.h"

#include <chrono>
#include <ctime>

namespace lumera {

DateTime SystemClock::now() {
    std::time_t t = std::time(nullptr);
    std::tm local{};
    localtime_r(&t, &local);
    return DateTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec};
}

void SystemRandom::seedFromClock() {
    auto ticks = std::chrono::high_resolution_clock::now().time_since_epoch().count();
    engine_.seed(static_cast<std::uint32_t>(ticks ^ (ticks >> 32)));
}

double SystemRandom::next() {
    // 24 random bits: every draw is exactly a single-precision number below 1.
    return static_cast<double>(engine_() >> 8) / 16777216.0;
}

}  // namespace lumera
