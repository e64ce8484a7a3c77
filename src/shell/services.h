#pragma once
#include <cstdint>
#include <random>

#include "textio/date_time.h"

namespace lumera {

// The current local date and time; tests replace it to control time.
class Clock {
public:
    virtual ~Clock() = default;
    virtual DateTime now() = 0;
};

// Uniform draws in [0, 1) at single precision; tests replace it to control draws.
class RandomSource {
public:
    virtual ~RandomSource() = default;
    virtual void seed(std::uint32_t value) = 0;
    virtual void seedFromClock() = 0;
    virtual double next() = 0;
};

class SystemClock : public Clock {
public:
    DateTime now() override;
};

class SystemRandom : public RandomSource {
public:
    // Seeded from the clock: a fixed start would give every run the same
    // report number, so a second run with the same code would replace the
    // first one's report.
    SystemRandom() { seedFromClock(); }
    void seed(std::uint32_t value) override { engine_.seed(value); }
    void seedFromClock() override;
    double next() override;

private:
    std::mt19937 engine_;
};

}  // namespace lumera
