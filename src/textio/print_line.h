#pragma once
#include <cstddef>
#include <string>
#include <string_view>

namespace lumera {

// One statement of the print form: items written one after another with
// nothing between them. Tab(k) moves to column k (counted from 1) with
// spaces; when the line is already past column k it ends the line and fills
// the next one with k - 1 spaces. finish() ends the last line with CR LF.
class PrintLine {
public:
    PrintLine& text(std::string_view s);
    PrintLine& number(double v);  // print form: " 3000 ", "-.5 "
    PrintLine& tab(int column);
    // The whole output of the statement, every line ended by CR LF.
    std::string finish() const;
    // Column (from 1) at which the next item would start.
    int column() const { return static_cast<int>(out_.size() - lineStart_) + 1; }

private:
    std::string out_;
    std::size_t lineStart_ = 0;
};

}  // namespace lumera
