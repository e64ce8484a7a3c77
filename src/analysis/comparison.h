#pragma once
#include <string>
#include <vector>

#include "analysis/interval_level.h"
#include "analysis/letters.h"
#include "analysis/pair_test.h"
#include "analysis/treatment_sample.h"

namespace lumera::analysis {

// The Cartesian paired test of any number of treatments.
struct Comparison {
    double alpha = 0.05;
    double sidakAlpha = 0;                     // 1 - (1 - alpha)^(1/m), m the number of pairs
    bool sidak = false;                        // whether the Sidak level decides
    std::string adjust = "none";               // the multiplicity rule's name
    double level = 0.95;                       // of both intervals
    std::string levelPercent = "95";           // 100 x level, exactly as typed
    IntervalLevel interval;                    // its quantile and percentile factors
    std::vector<TreatmentSample> treatments;   // in the test's order
    std::vector<PairResult> pairs;             // (0,1), (0,2), ..., (k-2,k-1)
    std::vector<bool> significant;             // per pair: P <= the level that decides
    std::vector<double> pAdjusted;             // per pair, by the rule
    std::vector<bool> tExcludesZero;           // per pair: 0 outside the t interval
    std::vector<bool> percentileExcludesZero;  // per pair: 0 outside the percentile interval
    std::vector<bool> againstIntervals;        // the verdict opposes what both intervals say
    std::vector<std::string> letters;          // per treatment
    LettersMethod lettersMethod = LettersMethod::InsertAbsorb;
};

// Orders the samples as the Cartesian test does, tests every pair and
// marks the letters. Values beyond double precision end it with a
// UserError naming the treatments.
Comparison compareTreatments(std::vector<TreatmentSample> samples, double alpha, bool sidak);

// The same with a multiplicity rule named as adjustRuleNamed() takes it
// and an interval level. Under sidak a pair differs when P <= the Sidak
// level, under none when P <= alpha, under the others when its adjusted
// P <= alpha.
Comparison compareTreatments(std::vector<TreatmentSample> samples, double alpha, const std::string& adjust,
                             const LevelChoice& level);

}  // namespace lumera::analysis
