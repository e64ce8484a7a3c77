#include "textio/escaped_text.h"

namespace lumera {

std::string escapedChar(char c) {
    switch (c) {
        case '\0':
            return "\\0";
        case '\t':
            return "\\t";
        case '\r':
            return "\\r";
        case '\n':
            return "\\n";
        default:
            break;
    }
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) {
        const char* hex = "0123456789ABCDEF";
        return std::string{'\\', 'x', hex[u >> 4], hex[u & 15]};
    }
    return std::string(1, c);
}

std::string escapedControls(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) out += escapedChar(c);
    return out;
}

}  // namespace lumera
