#pragma once
#include <cstdint>
#include <string>

namespace lumera {

class Program;

// Writes the comparison report of the run just computed: file name with
// the user's code, header, one block per pair, the references, the
// pairwise tables and the closing time lines; then shows the grid and
// tells the user where the file is. A report that cannot be written is
// removed and named in a message.
void PrintMultiCIofDifference(Program& program);

// The elapsed-time line: seconds below 2 minutes, minutes below an hour,
// then hours, both to two decimals.
std::string totalTimeText(std::int64_t seconds);

}  // namespace lumera
