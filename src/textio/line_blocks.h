#pragma once
#include <algorithm>
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <system_error>
#include <thread>

#include "textio/text_file.h"

namespace lumera {

// Lines are formatted in slices of this many.
constexpr std::int64_t kLineSlice = 16384;
// A formatter may write this many bytes past the end it leaves, so that it
// can copy short texts in fixed-size moves.
constexpr std::size_t kLineSlack = 32;

// Told after every this many lines written (and after the last).
constexpr std::int64_t kLineRound = 8 * kLineSlice;

// Writes `count` numbered lines to N files at once, formatted in slices on
// both cores while this thread writes the slices before them, in order.
// The slices pass through a ring of slots: either thread formats the next
// slice whose slot is free, and this thread writes each slice as soon as it
// is formatted, so neither waits for a round of the other's.
// format(first, last, outs) writes lines first..last-1 of each file f at
// outs[f] (at most maxLine[f] bytes a line) and leaves outs[f] one past the
// end; a file may take fewer lines than there are, none at most one a line.
// It runs on either thread, so it keeps no state between calls.
// written(lines) is told after every kLineRound lines and after the last, on
// this thread, and may throw to stop; whatever was written is then the
// caller's to remove.
template <std::size_t N, typename Format, typename Written>
void writeLinesInBlocks(const std::array<TextFile*, N>& files, std::int64_t count,
                        const std::array<std::size_t, N>& maxLine, const Format& format, const Written& written) {
    constexpr std::int64_t kSlots = 16;
    if (count <= 0) return;
    const std::int64_t slices = (count + kLineSlice - 1) / kLineSlice;
    std::array<std::size_t, N> offset{};
    std::size_t slotBytes = 0;
    for (std::size_t f = 0; f < N; ++f) {
        offset[f] = slotBytes;
        slotBytes += static_cast<std::size_t>(kLineSlice) * maxLine[f] + kLineSlack;
    }
    const std::unique_ptr<char[]> store(new char[static_cast<std::size_t>(kSlots) * slotBytes]);
    std::size_t length[kSlots][N] = {};
    auto at = [&](std::int64_t slice, std::size_t f) {
        return store.get() + static_cast<std::size_t>(slice % kSlots) * slotBytes + offset[f];
    };
    // ready[k]: the slice slot k holds once formatted; written: the slices
    // written so far, which frees their slots.
    std::array<std::atomic<std::int64_t>, kSlots> ready;
    for (auto& r : ready) r.store(-1, std::memory_order_relaxed);
    std::atomic<std::int64_t> next{0}, done{0};
    std::atomic<bool> stop{false};
    auto formatSlice = [&](std::int64_t slice) {
        for (std::int64_t w = done.load(std::memory_order_acquire); slice >= w + kSlots;
             w = done.load(std::memory_order_acquire)) {
            if (stop.load(std::memory_order_acquire)) return false;
            done.wait(w, std::memory_order_acquire);
        }
        if (stop.load(std::memory_order_acquire)) return false;
        const std::int64_t first = slice * kLineSlice, last = std::min(count, first + kLineSlice);
        std::array<char*, N> outs;
        for (std::size_t f = 0; f < N; ++f) outs[f] = at(slice, f);
        format(first, last, outs);
        for (std::size_t f = 0; f < N; ++f)
            length[slice % kSlots][f] = static_cast<std::size_t>(outs[f] - at(slice, f));
        std::atomic<std::int64_t>& r = ready[static_cast<std::size_t>(slice % kSlots)];
        r.store(slice, std::memory_order_release);
        r.notify_all();
        return true;
    };
    // The other core formats until the slices run out or this thread stops.
    struct Helper {
        std::atomic<bool>& stop;
        std::atomic<std::int64_t>& done;
        std::optional<std::thread> thread;
        ~Helper() {
            if (!thread) return;
            stop.store(true, std::memory_order_release);
            done.fetch_add(kSlots, std::memory_order_release);  // wakes a wait for a slot
            done.notify_all();
            thread->join();
        }
    } helper{stop, done, {}};
    if (slices > 1) {
        try {
            helper.thread.emplace([&] {
                for (std::int64_t slice; (slice = next.fetch_add(1)) < slices;)
                    if (!formatSlice(slice)) return;
            });
        } catch (const std::system_error&) {
            // Without a second thread this one does it all.
        }
    }
    for (std::int64_t w = 0; w < slices;) {
        std::atomic<std::int64_t>& r = ready[static_cast<std::size_t>(w % kSlots)];
        const std::int64_t holds = r.load(std::memory_order_acquire);
        if (holds == w) {
            for (std::size_t f = 0; f < N; ++f) files[f]->write(std::string_view(at(w, f), length[w % kSlots][f]));
            ++w;
            done.store(w, std::memory_order_release);
            done.notify_all();
            const std::int64_t lines = std::min(count, w * kLineSlice);
            if (lines % kLineRound == 0 || w == slices) written(lines);
            continue;
        }
        // While the next slice to write is not ready, format one ahead.
        std::int64_t free = next.load();
        if (free < slices && free < w + kSlots && next.compare_exchange_strong(free, free + 1)) {
            formatSlice(free);
            continue;
        }
        r.wait(holds, std::memory_order_acquire);
    }
}

}  // namespace lumera
