#include "analysis/comparison.h"

#include <cmath>
#include <optional>
#include <stdexcept>

#include "analysis/letters.h"
#include "analysis/multiplicity.h"
#include "textio/user_error.h"

namespace lumera::analysis {

Comparison compareTreatments(std::vector<TreatmentSample> samples, double alpha, bool sidak) {
    return compareTreatments(std::move(samples), alpha, sidak ? "sidak" : "none", LevelChoice{});
}

Comparison compareTreatments(std::vector<TreatmentSample> samples, double alpha, const std::string& adjust,
                             const LevelChoice& level) {
    const std::optional<AdjustRule> rule = adjustRuleNamed(adjust);
    if (!rule) throw std::invalid_argument("unknown multiplicity rule " + adjust);
    for (const TreatmentSample& t : samples)
        if (!std::isfinite(t.mean) || !std::isfinite(t.se))
            throw UserError(
                kTooLargeTitle,
                "File: " + t.file + "\nValues too large: the mean or SE of its replicates is" + kBeyondDouble);
    std::vector<double> means;
    for (const TreatmentSample& t : samples) means.push_back(t.mean);
    Comparison c;
    for (std::size_t index : exchangeOrder(means)) c.treatments.push_back(std::move(samples[index]));

    const std::size_t k = c.treatments.size();
    const double m = static_cast<double>(k * (k - 1) / 2);
    c.alpha = alpha;
    c.sidak = *rule == AdjustRule::Sidak;
    c.adjust = adjust;
    c.level = level.level;
    c.levelPercent = level.percent;
    c.interval = level.interval;
    c.sidakAlpha = 1 - std::pow(1 - alpha, 1 / m);
    c.pairs = testAllPairs(c.treatments, level.interval);
    std::vector<double> pValues;
    for (const PairResult& r : c.pairs) pValues.push_back(r.pValue);
    c.pAdjusted = adjustedP(pValues, *rule);

    std::vector<std::vector<bool>> differ(k, std::vector<bool>(k, false));
    for (const PairResult& p : c.pairs) {
        if (!std::isfinite(p.meanDifference) || !std::isfinite(p.se))
            throw UserError(kTooLargeTitle,
                            "Treatments " + c.treatments[p.first].name + " and " + c.treatments[p.second].name +
                                "\nValues too large: the variance of their differences is" + kBeyondDouble);
        // Scaled sums keep the SE of values near the top of the range; the
        // interval around the mean can still leave it.
        if (!std::isfinite(p.tLower) || !std::isfinite(p.tUpper))
            throw UserError(kTooLargeTitle,
                            "Treatments " + c.treatments[p.first].name + " and " + c.treatments[p.second].name +
                                "\nValues too large: the t interval of their differences is" + kBeyondDouble);
        const std::size_t at = c.significant.size();
        const bool significant = *rule == AdjustRule::Sidak  ? p.pValue <= c.sidakAlpha
                                 : *rule == AdjustRule::None ? p.pValue <= alpha
                                                             : c.pAdjusted[at] <= alpha;
        const bool tExcludes = p.tLower > 0 || p.tUpper < 0;
        const bool percentileExcludes = p.percentileLower > 0 || p.percentileUpper < 0;
        c.significant.push_back(significant);
        c.tExcludesZero.push_back(tExcludes);
        c.percentileExcludesZero.push_back(percentileExcludes);
        c.againstIntervals.push_back(tExcludes == percentileExcludes && tExcludes != significant);
        differ[p.first][p.second] = differ[p.second][p.first] = significant;
    }
    LetterDisplay display = letterDisplayWithMethod(differ);
    c.letters = std::move(display.letters);
    c.lettersMethod = display.method;
    return c;
}

}  // namespace lumera::analysis
