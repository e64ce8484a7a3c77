#pragma once
#include <string>
#include <string_view>

namespace lumera {

// Text for a person's terminal: control characters written as the readers'
// messages write them (\0, \t, \r, \n, else \xHH), so that a name taken from
// a file cannot move the cursor or change colours. Other bytes pass.
inline std::string escapedText(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\0')
            out += "\\0";
        else if (c == '\t')
            out += "\\t";
        else if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else if (u < 0x20 || u == 0x7F)
            out += {'\\', 'x', kHex[u >> 4], kHex[u & 15]};
        else
            out += c;
    }
    return out;
}

}  // namespace lumera
