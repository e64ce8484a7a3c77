#pragma once
#include <stdexcept>
#include <string>
#include <utility>

namespace lumera {

// A condition the program cannot process, found where the input is read.
// The command's entry point shows it (message box or stderr) and ends the run.
class UserError : public std::runtime_error {
public:
    UserError(std::string title, std::string text)
        : std::runtime_error(text), title_(std::move(title)), text_(std::move(text)) {}
    const std::string& title() const { return title_; }
    const std::string& text() const { return text_; }

private:
    std::string title_;
    std::string text_;
};

// Values whose mean, variance or sum leave double precision: the run stops
// rather than print INF or a zero spread. The text names what went beyond.
inline constexpr const char* kTooLargeTitle = "Values too large";
inline constexpr const char* kBeyondDouble =
    " beyond the range of double precision (about 1.8E+308). Rescale the values (other units) and try again.";

// The mirror: squares of deviations that fall below the normal range of
// doubles would turn a spread into 0 and report a difference as significant.
inline constexpr const char* kTooSmallTitle = "Values too small";
inline constexpr const char* kBelowDouble =
    " below the range of double precision (about 2.2E-308). Rescale the values (other units) and try again.";

// The user ended a command on purpose (a cancelled file dialogue): the
// command stops without a message.
struct CommandCancelled {};

}  // namespace lumera
