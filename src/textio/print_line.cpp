#include "textio/print_line.h"

#include "textio/number_forms.h"

namespace lumera {

PrintLine& PrintLine::text(std::string_view s) {
    out_.append(s);
    // Keep column() right should an item carry its own line end.
    const auto lf = s.rfind('\n');
    if (lf != std::string_view::npos) lineStart_ = out_.size() - (s.size() - lf - 1);
    return *this;
}

PrintLine& PrintLine::number(double v) {
    out_ += printForm(v);
    return *this;
}

PrintLine& PrintLine::tab(int column) {
    if (column < 1) column = 1;
    const int col = this->column();
    if (col <= column) {
        out_.append(static_cast<std::size_t>(column - col), ' ');
    } else {
        out_ += "\r\n";
        lineStart_ = out_.size();
        out_.append(static_cast<std::size_t>(column - 1), ' ');
    }
    return *this;
}

std::string PrintLine::finish() const { return out_ + "\r\n"; }

}  // namespace lumera
