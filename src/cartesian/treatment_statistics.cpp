#include "cartesian/treatment_statistics.h"

#include <cmath>
#include <limits>

#include "analysis/large_pages.h"
#include "textio/user_error.h"

namespace lumera {

namespace {

// A value beyond double precision would print as INF, or turn into a zero
// spread; the run stops instead.
void requireFinite(std::initializer_list<double> values, const std::string& what) {
    for (double v : values)
        if (!std::isfinite(v))
            throw UserError(kTooLargeTitle,
                            what + "\nValues too large: their mean, variance or F ratio is" + kBeyondDouble);
}

// Whether a deviation that is not 0 squares to 0 or a subnormal: the sum of
// squares then understates the spread.
bool squareUnderflows(double dev) { return dev != 0 && std::fabs(dev * dev) < std::numeric_limits<double>::min(); }

}  // namespace

void computeTreatmentStatistics(RunState& s, EngineCopy& copy) {
    const int n = s.TreatmentCount;
    // Each run states its own F ratio; a zero within-treatment mean square
    // reports 0, never an earlier run's value.
    s.FValue = 0;

    std::int32_t longest = 0;
    for (int k = 1; k <= n; ++k) longest = std::max(longest, s.BootCount[k]);
    copy.w = analysis::largeVector<std::int32_t>(static_cast<std::size_t>(longest) + 1);

    PerTreatment<double> oneRunVariance{};
    for (int k = 1; k <= n; ++k) {
        const std::int32_t b = s.BootCount[k];
        std::vector<double>& x = copy.X[k];
        x = analysis::largeVector<double>(static_cast<std::size_t>(b) + 1);
        s.EffectiveBootCount[k] = 0;
        double sum = 0, squares = 0;
        for (std::int32_t r = 1; r <= b; ++r) {
            copy.w[r] = s.ReplicateWeight[r];
            x[r] = s.BootData[k][r];
            s.EffectiveBootCount[k] += copy.w[r];
            sum += copy.w[r] * x[r];
            squares += copy.w[r] * (x[r] * x[r]);
        }
        const double effective = s.EffectiveBootCount[k];
        s.BootMean[k] = sum / effective;
        const double oneRun = (squares - sum * sum / effective) / (effective - 1);
        // Equal replicates that are not exactly representable can leave the
        // one-pass form a hair below zero.
        oneRunVariance[k] = std::max(0.0, oneRun);
        double deviations = 0;
        bool underflow = false;
        for (std::int32_t r = 1; r <= b; ++r) {
            double dev = x[r] - s.BootMean[k];
            deviations += dev * dev;
            underflow = underflow || squareUnderflows(dev);
        }
        s.BootVariance[k] = deviations / (effective - 1);
        s.BootSE[k] = std::sqrt(s.BootVariance[k]);
        requireFinite({s.BootMean[k], oneRun, s.BootVariance[k]}, "Treatment " + s.TreatName[k]);
        if (underflow)
            throw UserError(kTooSmallTitle,
                            "Treatment " + s.TreatName[k] + ", file: " + s.TreatFileName[k] +
                                "\nValues too small: the squares of their deviations from the mean are" + kBelowDouble);
    }

    double meanSum = 0;
    for (int k = 1; k <= n; ++k) meanSum += s.BootMean[k];
    const double grand = meanSum / n;
    double between = 0, within = 0, dfWithin = 0;
    for (int k = 1; k <= n; ++k) {
        double dev = s.BootMean[k] - grand;
        if (squareUnderflows(dev))
            throw UserError(kTooSmallTitle,
                            "The treatments' means\nValues too small: the squares of their deviations are" +
                                std::string(kBelowDouble));
        between += s.SampleSize[k] * (dev * dev);
        within += (s.SampleSize[k] - 1) * oneRunVariance[k];
        dfWithin += s.SampleSize[k] - 1;
    }
    s.DfWithin = dfWithin;
    s.DfBetween = n - 1;
    const double betweenSquare = between / s.DfBetween;
    if (s.DfWithin != 0) {
        const double withinSquare = within / s.DfWithin;
        if (withinSquare != 0) s.FValue = betweenSquare / withinSquare;
    }
    requireFinite({betweenSquare, s.FValue}, "The treatments' means");
}

}  // namespace lumera
