#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace lumera::analysis {

// One treatment's bootstrap replicates, with what every comparison needs.
struct TreatmentSample {
    std::string name;
    std::string file;
    std::vector<double> replicates;  // in file order
    std::vector<double> sorted;      // the same, ascending
    // As the Cartesian test computes it: the replicates added one by one in
    // file order from 0, divided by B. It decides order, direction and D.
    double mean = 0;
    // sqrt(sum of (x - mean)^2 in file order / (B - 1)).
    double se = 0;
    std::optional<double> estimate;  // field 8 of a treatment file
};

// The values ascending: std::sort for small inputs, a radix sort on order
// keys for large ones. The two may place -0 and +0, the only equal values
// that differ, either way round. Finite values only.
std::vector<double> ascending(std::span<const double> values);

TreatmentSample makeSample(std::string name, std::string file, std::vector<double> replicates);

// The mean and SE of makeSample, to the bit, for callers that need no
// sorted copy (the bootstrap's summaries).
struct MeanAndSe {
    double mean = 0;
    double se = 0;
};
MeanAndSe meanAndSe(std::span<const double> replicates);

// The Cartesian test's order of treatments by mean: for p < q in turn,
// exchange the treatments at p and q when the mean at p is smaller (larger
// when reversed); equal means are never exchanged. Returns the indices of
// `means` in that order.
std::vector<std::size_t> exchangeOrder(const std::vector<double>& means, bool reversed = false);

}  // namespace lumera::analysis
