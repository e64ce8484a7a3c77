#pragma once
#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "textio/both_cores.h"
#include "textio/text_file.h"

namespace lumera {

// Writes `count` numbered lines to a file, formatted in slices on both cores
// while this thread writes the slices before them, in order. format(first,
// last, out) writes lines first..last-1 at out (at most maxLine bytes a
// line) and returns one past the end; it runs on either thread, so it keeps
// no state between calls. written(lines) is told after each round on this
// thread and may throw to stop; whatever was written is then the caller's
// to remove.
template <typename Format, typename Written>
void writeLinesInBlocks(TextFile& file, std::int64_t count, std::size_t maxLine, const Format& format,
                        const Written& written) {
    constexpr std::int64_t kSliceLines = 16384;
    constexpr std::size_t kSlices = 8;  // a round
    constexpr std::int64_t kRoundLines = kSliceLines * static_cast<std::int64_t>(kSlices);
    if (count <= 0) return;
    const std::int64_t rounds = (count + kRoundLines - 1) / kRoundLines;
    const bool both = rounds > 1;
    const std::size_t sliceBytes = static_cast<std::size_t>(kSliceLines) * maxLine;
    std::unique_ptr<char[]> store(new char[2 * kSlices * sliceBytes]);
    std::size_t length[2][kSlices] = {};
    auto slice = [&](std::int64_t round, std::size_t k) {
        return store.get() + ((round & 1) * kSlices + k) * sliceBytes;
    };
    auto formatSlice = [&](std::int64_t round, std::size_t k) {
        const std::int64_t first = round * kRoundLines + static_cast<std::int64_t>(k) * kSliceLines;
        const std::int64_t last = std::min(count, first + kSliceLines);
        char* begin = slice(round, k);
        length[round & 1][k] = first < last ? static_cast<std::size_t>(format(first, last, begin) - begin) : 0;
    };
    auto writeRound = [&](std::int64_t round) {
        for (std::size_t k = 0; k < kSlices; ++k) file.write(std::string_view(slice(round, k), length[round & 1][k]));
    };
    auto formatRound = [&](std::int64_t round, std::atomic<std::size_t>& next) {
        for (std::size_t k; (k = next.fetch_add(1)) < kSlices;) formatSlice(round, k);
    };
    {
        std::atomic<std::size_t> next{0};
        if (both)
            onBothCores([&] { formatRound(0, next); }, [&] { formatRound(0, next); });
        else
            formatRound(0, next);
    }
    for (std::int64_t round = 1; round < rounds; ++round) {
        std::atomic<std::size_t> next{0};
        onBothCores(
            [&] {
                writeRound(round - 1);
                formatRound(round, next);
            },
            [&] { formatRound(round, next); });
        written(std::min(count, round * kRoundLines));
    }
    writeRound(rounds - 1);
    written(count);
}

}  // namespace lumera
