#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>

namespace lumera {

class Program;

// Sorts values ascending carrying serial numbers along, with exactly the
// outcome of the routine's steps: a distribution by group means over up to
// ten levels (bounded by the program-wide group limit, lowered for good when
// a level finds an empty group), then an exchange sort inside each group.
// The serial order of equal values is part of that outcome.
// in and inSerial hold positions 1..n as elements 0..n-1; out and outSerial
// receive them the same way. groupLimit 0 means no sort has run yet.
// How a large sort runs: on both cores from parallelFrom values on, and
// telling `progress` the share done (0 to 1) a few hundred times, on the
// calling thread; progress may throw to stop the sort.
// `total`, when given, is the sum of the values in position order, one
// after the other from 0, which the caller has formed already.
struct SortSteps {
    std::size_t parallelFrom = std::size_t{1} << 16;
    std::function<void(double)> progress;
    std::optional<double> total;
};

void sortWithSerials(std::span<const double> in, std::span<const std::int32_t> inSerial, std::span<double> out,
                     std::span<std::int32_t> outSerial, std::int16_t& groupLimit, const SortSteps& steps = {});

// The same with serials 1..n, using `in` as its work space (its values are
// lost): no memory beyond the arrays but n serials.
void sortSpendingInput(std::span<double> in, std::span<double> out, std::span<std::int32_t> outSerial,
                       std::int16_t& groupLimit, const SortSteps& steps = {});

// The routine as the procedures call it: SortCount values of SortInput and
// SortInputSerial into SortOutput and SortOutputSerial, GroupLimit kept in
// the run state, and its line in the program-flow record.
void QuickSort(Program& program);

}  // namespace lumera
