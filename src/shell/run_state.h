#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "textio/date_time.h"

namespace lumera {

// Limits of this build.
inline constexpr int kMaxTreatments = 3;
inline constexpr std::int32_t kMaxValues = 9'000'005;       // replicates of one treatment, differences of one pair
inline constexpr int kTreatmentSlots = kMaxTreatments + 1;  // index 0 unused

template <typename T>
using PerTreatment = std::array<T, kTreatmentSlots>;
template <typename T>
using PerPair = std::array<std::array<T, kTreatmentSlots>, kTreatmentSlots>;

// A yes-or-no option of the run, Unset until first asked; never printed.
enum class Flag { Unset, No, Yes };

// What the file of the sort and count holds, Unset until first asked.
enum class SortDataKind { Unset, General, Boot, PairTestResults };

// The program-wide record that the procedures of an analysis share. Field
// names are the ones the procedures use; treatments are known by their
// position 1..TreatmentCount, pairs by (i, j) with i < j unless mirrored.
// Index 0 of every array is unused. Large arrays are sized to the run by the
// procedure that fills them.
struct RunState {
    // Build constants, set when the main window loads.
    double BootstrapNumber = 0;
    double CartesianProducts = 0;
    std::string EditionTag;
    std::string VersionDate;
    std::string VersionText;

    // Option flags.
    Flag DetailedInfo = Flag::Unset;
    Flag FlowRecord = Flag::Unset;
    Flag DetailedDifferences = Flag::Unset;
    Flag ReversedSort = Flag::Unset;

    // File names and texts.
    std::string FileStem;
    std::string FlowFileName;
    std::string OutputFileName;
    // Notes on treatment files read as they stand although they hold more
    // than they announce; the command line prints them, the window does not.
    std::vector<std::string> ReadWarnings;
    PerTreatment<std::string> TreatFileName;
    std::string LastTreatCode;
    std::string CurrentProcedure;
    std::string BeganText;
    DateTime BeganTime;

    // Treatment data, by sorted position.
    std::int16_t TreatmentCount = 0;
    std::int16_t PairCount = 0;
    double SidakAlpha = 0;
    PerTreatment<std::string> TreatName;
    PerTreatment<std::string> TreatCode;
    PerTreatment<std::int32_t> SampleSize{};
    PerTreatment<std::int32_t> BootCount{};
    PerTreatment<double> BootCountValue{};
    PerTreatment<double> OriginalMean{};
    PerTreatment<std::vector<double>> BootData;  // BootData[k][r], r = 1..B
    std::vector<std::int16_t> ReplicateWeight;   // by replicate position
    std::string TableRuleEqual;
    std::string TableRuleDash;

    // Treatment statistics.
    PerTreatment<std::int32_t> EffectiveBootCount{};
    PerTreatment<double> BootMean{};
    PerTreatment<double> BootVariance{};
    PerTreatment<double> BootSE{};
    double FValue = 0;
    double DfBetween = 0;
    double DfWithin = 0;

    // Pair results.
    PerPair<double> MeanDiff{};
    PerPair<double> DiffVariance{};
    PerPair<double> DiffSE{};
    PerPair<double> TLower{};
    PerPair<double> TUpper{};
    PerPair<double> PctLower{};
    PerPair<double> PctUpper{};
    PerPair<std::int32_t> CountAtMostZero{};
    PerPair<std::int32_t> CountAtLeastTwice{};
    PerPair<std::int32_t> CountInsignificant{};
    PerPair<std::int32_t> CountSignificant{};
    PerPair<double> PValue{};
    PerPair<double> PValueTable{};

    // Sort hand-off.
    std::int32_t SortCount = 0;
    std::vector<double> SortInput;
    std::vector<std::int32_t> SortInputSerial;
    std::vector<double> SortOutput;
    std::vector<std::int32_t> SortOutputSerial;
    std::vector<double> SortedDiff;
    // Program-wide limit on the sort's groups; 0 until the first sort sets it.
    std::int16_t GroupLimit = 0;

    // Sort and count.
    Flag SortAndCountUsed = Flag::Unset;
    SortDataKind DataKind = SortDataKind::Unset;
    Flag WithSerialNumbers = Flag::Unset;
    double DecimalLimit = 0;
    std::string ProjectName;
    std::string DataSetName;
    std::string SortFileName;  // the name, without its folder, of the file sorted last
    std::int32_t ClassCount = 0;
    std::vector<double> ClassValue;
    std::vector<double> ClassFrequency;

    // The grid's treatments and pair results are still in memory: set when
    // the grid is filled, cleared when a new test begins to replace them.
    bool GridChartsReady = false;

    // Comparison report. The table counter keeps counting past 32767.
    std::string OutputCode;
    std::string EndedText;
    DateTime EndedTime;
    std::string TotalTimeText;
    PerPair<double> AbsMeanDiff{};
    std::int32_t TableNumber = 0;
};

}  // namespace lumera
