#include "reference/unbounded_letters.h"

#include <algorithm>
#include <stdexcept>
#include <string_view>

namespace lumera::reference {
namespace {

using Column = std::vector<char>;  // membership by treatment position

bool subsetOf(const Column& a, const Column& b) {
    for (std::size_t t = 0; t < a.size(); ++t)
        if (a[t] && !b[t]) return false;
    return true;
}

// Drops every column inside another; of equal columns the first stays.
void absorb(std::vector<Column>& cols) {
    std::vector<Column> kept;
    for (std::size_t c = 0; c < cols.size(); ++c) {
        bool inside = false;
        for (std::size_t d = 0; d < cols.size() && !inside; ++d)
            inside = d != c && subsetOf(cols[c], cols[d]) && (d < c || cols[c] != cols[d]);
        if (!inside) kept.push_back(cols[c]);
    }
    cols = std::move(kept);
}

// Whether the live columns other than `skip` still give every member of
// cols[skip] a letter and every pair inside it a shared one.
bool redundant(const std::vector<Column>& cols, const std::vector<char>& alive, std::size_t skip) {
    const Column& col = cols[skip];
    const std::size_t k = col.size();
    auto coveredElsewhere = [&](std::size_t a, std::size_t b) {
        for (std::size_t d = 0; d < cols.size(); ++d)
            if (d != skip && alive[d] && cols[d][a] && cols[d][b]) return true;
        return false;
    };
    for (std::size_t a = 0; a < k; ++a) {
        if (!col[a]) continue;
        for (std::size_t b = a; b < k; ++b)  // b == a: a keeps some letter
            if (col[b] && !coveredElsewhere(a, b)) return false;
    }
    return true;
}

std::string letterName(std::size_t n) {
    static constexpr std::string_view alphabet = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
    const std::size_t base = alphabet.size();
    std::size_t length = 1;
    for (std::size_t block = base; n >= block; block *= base) {
        n -= block;
        ++length;
    }
    std::string name(length, 'a');
    for (std::size_t p = length; p-- > 0; n /= base) name[p] = alphabet[n % base];
    return name;
}

}  // namespace

std::vector<std::string> unboundedLetters(const std::vector<std::vector<bool>>& differ) {
    const std::size_t k = differ.size();
    for (const auto& row : differ)
        if (row.size() != k) throw std::invalid_argument("letterDisplay: the matrix of differences is not square");
    if (k == 0) return {};

    std::vector<Column> cols{Column(k, 1)};
    for (std::size_t i = 0; i < k; ++i) {
        for (std::size_t j = i + 1; j < k; ++j) {
            if (!differ[i][j] && !differ[j][i]) continue;
            std::vector<Column> next;
            bool split = false;
            for (const Column& col : cols) {
                if (col[i] && col[j]) {
                    next.push_back(col);
                    next.back()[i] = 0;
                    next.push_back(col);
                    next.back()[j] = 0;
                    split = true;
                } else {
                    next.push_back(col);
                }
            }
            cols = std::move(next);
            if (split) absorb(cols);
        }
    }

    // Naming order first, so that which of two interchangeable groups the
    // sweep drops does not hang on the order of the splits.
    auto members = [k](const Column& col) {
        std::vector<std::size_t> m;
        for (std::size_t t = 0; t < k; ++t)
            if (col[t]) m.push_back(t);
        return m;
    };
    std::sort(cols.begin(), cols.end(), [&](const Column& a, const Column& b) { return members(a) < members(b); });

    // Sweep: insert-absorb leaves every maximal group, some of whose pairs
    // may all be shared elsewhere. Coverage only shrinks as columns go, so a
    // column kept once stays needed and one pass suffices.
    std::vector<char> alive(cols.size(), 1);
    for (std::size_t c = 0; c < cols.size(); ++c)
        if (redundant(cols, alive, c)) alive[c] = 0;

    std::vector<std::string> letters(k);
    std::size_t named = 0;
    for (std::size_t c = 0; c < cols.size(); ++c) {
        if (!alive[c]) continue;
        const std::string name = letterName(named++);
        for (std::size_t t = 0; t < k; ++t)
            if (cols[c][t]) letters[t] += name;
    }
    return letters;
}

}  // namespace lumera::reference
