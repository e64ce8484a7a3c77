#pragma once
#include <algorithm>
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "textio/both_cores.h"
#include "textio/text_file.h"

namespace lumera {

// Lines are formatted in slices of this many.
constexpr std::int64_t kLineSlice = 16384;
// A formatter may write this many bytes past the end it leaves, so that it
// can copy short texts in fixed-size moves.
constexpr std::size_t kLineSlack = 32;

// Writes `count` numbered lines to N files at once, formatted in slices on
// both cores while this thread writes the slices before them, in order.
// format(first, last, outs) writes lines first..last-1 of each file f at
// outs[f] (at most maxLine[f] bytes a line) and leaves outs[f] one past the
// end; a file may take fewer lines than there are, none at most one a line.
// It runs on either thread, so it keeps no state between calls.
// written(lines) is told after each round on this thread and may throw to
// stop; whatever was written is then the caller's to remove.
template <std::size_t N, typename Format, typename Written>
void writeLinesInBlocks(const std::array<TextFile*, N>& files, std::int64_t count,
                        const std::array<std::size_t, N>& maxLine, const Format& format, const Written& written) {
    constexpr std::size_t kSlices = 8;  // a round
    constexpr std::int64_t kRoundLines = kLineSlice * static_cast<std::int64_t>(kSlices);
    if (count <= 0) return;
    const std::int64_t rounds = (count + kRoundLines - 1) / kRoundLines;
    const bool both = rounds > 1;
    std::array<std::size_t, N> sliceBytes{}, offset{};
    std::size_t lineBytes = 0;
    for (std::size_t f = 0; f < N; ++f) {
        sliceBytes[f] = static_cast<std::size_t>(kLineSlice) * maxLine[f] + kLineSlack;
        offset[f] = lineBytes;
        lineBytes += sliceBytes[f];
    }
    const std::size_t sliceStore = lineBytes;
    std::unique_ptr<char[]> store(new char[2 * kSlices * sliceStore]);
    std::size_t length[2][kSlices][N] = {};
    auto slice = [&](std::int64_t round, std::size_t k, std::size_t f) {
        return store.get() + ((round & 1) * kSlices + k) * sliceStore + offset[f];
    };
    auto formatSlice = [&](std::int64_t round, std::size_t k) {
        const std::int64_t first = round * kRoundLines + static_cast<std::int64_t>(k) * kLineSlice;
        const std::int64_t last = std::min(count, first + kLineSlice);
        std::array<char*, N> outs;
        for (std::size_t f = 0; f < N; ++f) outs[f] = slice(round, k, f);
        if (first < last) format(first, last, outs);
        for (std::size_t f = 0; f < N; ++f)
            length[round & 1][k][f] = first < last ? static_cast<std::size_t>(outs[f] - slice(round, k, f)) : 0;
    };
    auto writeRound = [&](std::int64_t round) {
        for (std::size_t f = 0; f < N; ++f)
            for (std::size_t k = 0; k < kSlices; ++k)
                files[f]->write(std::string_view(slice(round, k, f), length[round & 1][k][f]));
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

// The same for one file: format(first, last, out) returns one past the end.
template <typename Format, typename Written>
void writeLinesInBlocks(TextFile& file, std::int64_t count, std::size_t maxLine, const Format& format,
                        const Written& written) {
    writeLinesInBlocks<1>(
        {&file}, count, {maxLine},
        [&](std::int64_t first, std::int64_t last, std::array<char*, 1>& outs) {
            outs[0] = format(first, last, outs[0]);
        },
        written);
}

}  // namespace lumera
