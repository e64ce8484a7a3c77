#pragma once

namespace lumera {

class Program;

// "Q. DavuzuradEZ": locks the window, asks the run's four questions, opens
// the program-flow record on request, then reads the treatments and runs
// the engine. Bad input ends the run with the window as a finished run
// leaves it.
void cmdCartesianDifference_Click(Program& program);

}  // namespace lumera
