#pragma once
#include <cstdint>
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
void sortWithSerials(std::span<const double> in, std::span<const std::int32_t> inSerial, std::span<double> out,
                     std::span<std::int32_t> outSerial, std::int16_t& groupLimit);

// The routine as the procedures call it: SortCount values of SortInput and
// SortInputSerial into SortOutput and SortOutputSerial, GroupLimit kept in
// the run state, and its line in the program-flow record.
void QuickSort(Program& program);

}  // namespace lumera
