#pragma once
#include <string>

namespace lumera {

class Program;

// The result grid of the main window: mean differences above the
// diagonal, P-values (starred where the t interval lies above 0) below.
void ShowMultiCIofDifference(Program& program);

// Cell texts: sign space and digits, no trailing space.
std::string differenceGridText(double v);
std::string pValueGridText(double p, bool tIntervalAboveZero);

}  // namespace lumera
