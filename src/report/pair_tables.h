#pragma once
#include <string>

namespace lumera {

class Program;
class TextFile;

// The closing section of the comparison report: five pairwise tables and
// the letter marking, appended to the open report file. Each table title
// takes the next table number of the program run.
void PrintPairTestTable(Program& program, TextFile& report);

// Cell texts of the tables (print form, then an optional star).
std::string differenceCell(double v);  // four decimals within +-10000, else a whole number
std::string pValueCell(double p);      // always four decimals

}  // namespace lumera
