#pragma once
#include <functional>

namespace lumera {

class Program;

// Hands the procedures behind the main window's buttons to the program.
void installCommands(Program& program);

// Runs the sort and count `command` (the normality button's procedure) with
// the window's marks around it: the last sort's chart gone at the start; at
// the end the output line naming the three files, or, for a sort stopped by
// the user or by its input, the chart saying so. A cancelled sort ends with
// a note, as a cancelled test does, and no error.
void runSortAndCount(Program& program, const std::function<void(Program&)>& command);

}  // namespace lumera
