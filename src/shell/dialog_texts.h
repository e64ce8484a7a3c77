#pragma once

// The titles and fixed texts of the program's message and input boxes, in
// one place: the procedures ask with them, and the command line and the
// benchmarks answer by them.
namespace lumera::dialog_texts {

// The Cartesian paired test's options.
inline constexpr const char* kDetailInfoTitle = "Do you need detailed info?";
inline constexpr const char* kFlowTitle = "Do you need flow record?";
inline constexpr const char* kFlowText = "Do you need the record of program flow?";
inline constexpr const char* kDifferencesTitle = "Detailed differences";
inline constexpr const char* kDifferencesText =
    "Do you need detailed differences between treatments and normal density curves?\n"
    "   This option is useful to teachers to show the normal curve.\n"
    "   If you are comparing more treatments, there will be many files.\n"
    "\n"
    "Yes: Write detailed differences between treatments and normal density curves.\n"
    "No: Don't write detailed differences between treatments.\n";
inline constexpr const char* kReversedTitle = "Reversed sort";
inline constexpr const char* kReversedText = "Do you want to do reversed sort?";

// Its treatment input.
inline constexpr const char* kTreatmentCountTitle =
    "Read data file one by one for paired comparison using Cartesian Product";
inline constexpr const char* kTreatmentCountPrompt = "Enter number of treatments";
inline constexpr const char* kTransformTitle = "Transformation?";
inline constexpr const char* kTransformPrompt = "No transformation (0), Arcsine (1), or logit (2) transformation?";
inline constexpr const char* kTreatmentFileTitle = "Input treatment ";  // followed by its number
inline constexpr const char* kTreatmentLimitText =
    "\nThis window compares at most 3 treatments. For more, use the command line: "
    "lumera-cli compare takes any number of treatment files.";

// Its report.
inline constexpr const char* kCodeTitle = "Add a code to the output filename?";
inline constexpr const char* kCodePrompt =
    "If you want to add a specific code for this analysis, please enter the code and press OK. "
    "If not, just click on OK.";
inline constexpr const char* kCompletedTitle = "Task completed";
// The box that shows a run writing detail files, and the run stopped from it.
inline constexpr const char* kRunProgressTitle = "Cartesian paired test with detail files";
inline constexpr const char* kCancellingText = "Cancelling: stopping after this chunk...";
inline constexpr const char* kRunCancelledTitle = "Run cancelled";
inline constexpr const char* kRunCancelledText =
    "The run was cancelled. No report was written; the detail files of the pair in progress were removed.";

// The sort and count.
inline constexpr const char* kSortKindTitle = "Sort and count general data or bootstrap results";
inline constexpr const char* kSerialTitle = "Data formate";
inline constexpr const char* kSerialText =
    "Are there serial numbers in your data file (Yes: i and x(i), No: x(i) only.\n"
    "Most bootstrap results are without serial numbers.\n"
    "Bootstrap results of population parameters are offered in both formats.";
inline constexpr const char* kGeneralFileTitle = "Open a general data file to sort";
inline constexpr const char* kBootFileTitle = "Open a bootstrap file to sort";
inline constexpr const char* kDecimalsTitle = "Limit the decimal points?";
inline constexpr const char* kDecimalsPrompt =
    "Limit of decimal points (0, 1, 2, 3, 4, 5 and -1).\n[Enter -1 (minus 1) to use double precision.]";
inline constexpr const char* kSortedReadyText = "Bootstrap results sorted and data file ready!";
inline constexpr const char* kCountsReadyText = "File of data counts is ready!";
// Its progress box, and the sort stopped from it.
inline constexpr const char* kSortProgressTitle = "Sorting and counting";
inline constexpr const char* kSortCancelledText = "The sort and count was cancelled. It left none of its files.";
// A grid cell clicked after a later test replaced the grid's treatments.
inline constexpr const char* kPairChartTitle = "Pair chart";
inline constexpr const char* kPairChartGoneText =
    "The treatments of this grid are no longer in memory: a later test has replaced them.\n"
    "Run the Cartesian test again to see the chart of a pair.";
inline constexpr const char* kFrequencyTitle = "Frequency distribution";
inline constexpr const char* kFrequencyText = "Do you want to see the frequency distribution?";

// Titles of the error boxes: none equals a question's title, so an error can
// never be taken for a question that was answered ahead of time.
inline constexpr const char* kTreatmentCountErrorTitle = "Number of treatments";
inline constexpr const char* kReadTreatmentErrorTitle = "Reading a treatment file";
inline constexpr const char* kTransformErrorTitle = "Transformation";
inline constexpr const char* kDetailFilesErrorTitle = "Detail difference files";
inline constexpr const char* kReportErrorTitle = "Comparison report";
inline constexpr const char* kSortErrorTitle = "Sort and count";
inline constexpr const char* kFlowErrorTitle = "Program-flow record";
// "Values too large" stands with UserError: the analysis core says it too.
inline constexpr const char* kMemoryTitle = "Not enough memory";
inline constexpr const char* kInternalErrorTitle = "Internal error";

}  // namespace lumera::dialog_texts
