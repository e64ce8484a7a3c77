#pragma once

namespace lumera {

class Program;

// Asks for the number of treatments and a transformation, reads one
// bootstrap-results file per treatment and leaves the treatments in the run
// state ordered by their bootstrap means. Every input the analysis cannot
// process is stopped here, before any computation, with a message that
// names the file and what was found.
void CartesianDifference(Program& program);

// The transformations of a replicate; 0 leaves it, 1 arcsine of its square
// root, 2 logit.
enum class Transformation { None = 0, Arcsine = 1, Logit = 2 };
double transformReplicate(double x, Transformation t);

}  // namespace lumera
