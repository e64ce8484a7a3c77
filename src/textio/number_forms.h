#pragma once
#include <cstdint>
#include <string>
#include <vector>

// The three text forms of a number. Every form first rounds the value to 15
// significant digits (correctly, from its binary value) and writes it in
// fixed notation when 1E-4 <= |v| < 1E15, otherwise as mantissa, "E", sign
// and at least two exponent digits. Zero and negative zero read "0".

namespace lumera {

// Longest text any form can produce, with room to spare.
inline constexpr int kMaxNumberText = 40;

// " .05 ", "-.5 ", " 3000 ", " 1E-05 ": report lines and the flow record.
std::string printForm(double v);
// ".05", "-.5", "3000", "1E-05": detail files and sort-and-count records.
std::string writeForm(double v);
// "0.05", "-0.5", "3000", "1E-05": captions, messages, file names, text fields.
std::string plainForm(double v);

// "17.16", "0.0002411", "4.764e-11": a chart's figures, to 4 significant
// digits (the report has every digit).
std::string chartForm(double v);

// "0.1", "14.7625", "1e-200": the shortest text that reads back as the same
// double, for CSV files and replicate files that scripts read.
std::string shortestForm(double v);

// "0.0971685", "19.0375": six significant digits, for the command line's
// readable summaries (the JSON and the files have every digit).
std::string summaryForm(double v);

// Writes the write form into buf (at least kMaxNumberText bytes) without
// allocating; returns one past the last character.
char* writeFormTo(char* buf, double v);

// The shortest forms of a long run of values, with those of values seen
// before kept by bit pattern: a bootstrap of a proportion or a mean of whole
// numbers repeats a few thousand values a hundred thousand times. The text
// is always shortestForm's; a run that hardly repeats stops keeping forms.
class ShortestForms {
public:
    ShortestForms();
    // Writes the form into buf (at least kMaxNumberText bytes); returns one
    // past its last character.
    char* write(char* buf, double v);

private:
    struct Kept {
        std::uint64_t bits = 0;
        std::uint8_t length = 0;  // 0: nothing kept here
        char text[31];
    };
    std::vector<Kept> kept_;
    std::uint64_t seen_ = 0, found_ = 0;
    bool keeping_ = true;
};

}  // namespace lumera
