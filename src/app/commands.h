#pragma once

namespace lumera {

class Program;

// Hands the procedures behind the main window's buttons to the program.
void installCommands(Program& program);

}  // namespace lumera
