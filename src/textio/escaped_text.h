#pragma once
#include <string>
#include <string_view>

namespace lumera {

// Control characters as \0, \t, \r, \n or \xHH, everything else as it is:
// text from a file or a file name shown in a message or a printed path can
// then neither split a line nor steer the terminal.
std::string escapedChar(char c);
std::string escapedControls(std::string_view text);

}  // namespace lumera
