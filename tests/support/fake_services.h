#pragma once
#include <deque>
#include <stdexcept>
#include <vector>

#include "shell/services.h"

namespace lumera::test {

// A clock that shows what the test sets and moves only when told.
class FakeClock : public Clock {
public:
    explicit FakeClock(DateTime start = {2026, 12, 9, 14, 5, 7}) : now_(start) {}
    DateTime now() override { return now_; }
    void set(DateTime t) { now_ = t; }
    void advance(int seconds);

private:
    DateTime now_;
};

inline void FakeClock::advance(int seconds) {
    std::int64_t s = now_.second + seconds;
    // Enough for the tests: minutes and hours carry, the day stays.
    now_.second = static_cast<int>(((s % 60) + 60) % 60);
    std::int64_t m = now_.minute + (s - now_.second) / 60;
    now_.minute = static_cast<int>(((m % 60) + 60) % 60);
    now_.hour += static_cast<int>((m - now_.minute) / 60);
}

// Returns the queued draws in order and records every seed.
class FakeRandom : public RandomSource {
public:
    void queue(double draw) { draws_.push_back(draw); }
    void seed(std::uint32_t value) override { seeds.push_back(static_cast<std::int64_t>(value)); }
    void seedFromClock() override { seeds.push_back(-1); }
    double next() override {
        if (draws_.empty()) throw std::logic_error("no random draw queued");
        double d = draws_.front();
        draws_.pop_front();
        return d;
    }
    std::vector<std::int64_t> seeds;  // -1 marks a seed from the clock

private:
    std::deque<double> draws_;
};

}  // namespace lumera::test
