#pragma once
#include <string>
#include <vector>

#include "analysis/letters.h"
#include "analysis/pair_test.h"
#include "analysis/treatment_sample.h"

namespace lumera::analysis {

// The Cartesian paired test of any number of treatments.
struct Comparison {
    double alpha = 0.05;
    double sidakAlpha = 0;                    // 1 - (1 - alpha)^(1/m), m the number of pairs
    bool sidak = false;                       // whether the Sidak level decides
    std::vector<TreatmentSample> treatments;  // in the test's order
    std::vector<PairResult> pairs;            // (0,1), (0,2), ..., (k-2,k-1)
    std::vector<bool> significant;            // per pair: P <= the level that decides
    std::vector<std::string> letters;         // per treatment
    LettersMethod lettersMethod = LettersMethod::InsertAbsorb;
    std::string adjust = "none";
    double level = 0.95;
    std::vector<double> pAdjusted;
    std::vector<bool> tExcludesZero;
    std::vector<bool> percentileExcludesZero;
    std::vector<bool> againstIntervals;
};

// Orders the samples as the Cartesian test does, tests every pair and
// marks the letters. Values beyond double precision end it with a
// UserError naming the treatments.
Comparison compareTreatments(std::vector<TreatmentSample> samples, double alpha, bool sidak);

}  // namespace lumera::analysis
