#include "analysis/letters.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string_view>

namespace lumera::analysis {
namespace {

// Membership by treatment position, 64 a word: the subset tests and unions
// of many groups are what the display's time goes to.
class Column {
public:
    Column(std::size_t k, bool all) : words_((k + 63) / 64, all ? ~std::uint64_t{0} : 0) {
        if (all && k % 64 != 0) words_.back() = (std::uint64_t{1} << (k % 64)) - 1;
    }
    bool operator[](std::size_t t) const { return (words_[t / 64] >> (t % 64)) & 1; }
    void set(std::size_t t, bool member) {
        const std::uint64_t bit = std::uint64_t{1} << (t % 64);
        words_[t / 64] = member ? words_[t / 64] | bit : words_[t / 64] & ~bit;
    }
    bool operator==(const Column& other) const = default;
    bool subsetOf(const Column& other) const {
        for (std::size_t w = 0; w < words_.size(); ++w)
            if (words_[w] & ~other.words_[w]) return false;
        return true;
    }
    void unite(const Column& other) {
        for (std::size_t w = 0; w < words_.size(); ++w) words_[w] |= other.words_[w];
    }

private:
    std::vector<std::uint64_t> words_;
};

bool subsetOf(const Column& a, const Column& b) { return a.subsetOf(b); }

// Drops every column inside another; of equal columns the first stays.
// Only the halves of a split can be inside another: the columns before the
// split held none inside another, and a half is smaller than its column.
void absorb(std::vector<Column>& cols, const std::vector<char>& half) {
    std::vector<Column> kept;
    for (std::size_t c = 0; c < cols.size(); ++c) {
        bool inside = false;
        for (std::size_t d = 0; d < cols.size() && !inside && half[c]; ++d)
            inside = d != c && subsetOf(cols[c], cols[d]) && (d < c || cols[c] != cols[d]);
        if (!inside) kept.push_back(cols[c]);
    }
    cols = std::move(kept);
}

// Whether the live columns other than `skip` still give every member of
// cols[skip] a letter and every pair inside it a shared one: for each
// member, the union of the other live columns holding it covers the column.
bool redundant(const std::vector<Column>& cols, const std::vector<char>& alive, std::size_t skip, std::size_t k) {
    const Column& col = cols[skip];
    for (std::size_t a = 0; a < k; ++a) {
        if (!col[a]) continue;
        Column reached(k, false);
        bool covered = false;
        for (std::size_t d = 0; d < cols.size() && !covered; ++d)
            if (d != skip && alive[d] && cols[d][a]) {
                reached.unite(cols[d]);
                covered = col.subsetOf(reached);
            }
        if (!covered) return false;
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

bool differs(const std::vector<std::vector<bool>>& differ, std::size_t i, std::size_t j) {
    return differ[i][j] || differ[j][i];
}

// Insert-and-absorb: every maximal group of treatments no two of which
// differ. Nothing when it would hold more than `bound` groups at once.
std::optional<std::vector<Column>> insertAbsorb(const std::vector<std::vector<bool>>& differ, std::size_t bound) {
    const std::size_t k = differ.size();
    std::vector<Column> cols{Column(k, true)};
    if (cols.size() > bound) return std::nullopt;
    for (std::size_t i = 0; i < k; ++i) {
        for (std::size_t j = i + 1; j < k; ++j) {
            if (!differs(differ, i, j)) continue;
            std::vector<Column> next;
            std::vector<char> half;
            bool split = false;
            for (Column& col : cols) {
                if (col[i] && col[j]) {
                    next.push_back(col);
                    next.back().set(i, false);
                    next.push_back(std::move(col));
                    next.back().set(j, false);
                    half.insert(half.end(), {1, 1});
                    split = true;
                } else {
                    next.push_back(std::move(col));
                    half.push_back(0);
                }
                if (next.size() > bound) return std::nullopt;
            }
            cols = std::move(next);
            if (split) absorb(cols, half);
        }
    }
    return cols;
}

// A greedy cover of the pairs that do not differ by cliques: for each pair
// not yet sharing a group, in order of position, the group grown from it by
// every later-tried treatment (in order of position) that differs from none
// of its members. A treatment that differs from all others stands alone.
// At most one group per pair, each grown in O(k^2): polynomial in k.
std::vector<Column> cliqueCover(const std::vector<std::vector<bool>>& differ) {
    const std::size_t k = differ.size();
    std::vector<Column> cols;
    std::vector<std::vector<char>> covered(k, std::vector<char>(k, 0));
    for (std::size_t i = 0; i < k; ++i) {
        bool alone = true;
        for (std::size_t j = 0; j < k; ++j) {
            if (j == i || differs(differ, i, j)) continue;
            alone = false;
            if (j < i || covered[i][j]) continue;
            Column col(k, false);
            std::vector<std::size_t> members{i, j};
            col.set(i, true);
            col.set(j, true);
            for (std::size_t v = 0; v < k; ++v) {
                if (col[v]) continue;
                bool fits = true;
                for (std::size_t m : members) fits = fits && !differs(differ, v, m);
                if (!fits) continue;
                col.set(v, true);
                members.push_back(v);
            }
            for (std::size_t a : members)
                for (std::size_t b : members) covered[a][b] = 1;
            cols.push_back(std::move(col));
        }
        if (alone) {
            cols.emplace_back(k, false);
            cols.back().set(i, true);
        }
    }
    return cols;
}

}  // namespace

std::vector<std::string> letterDisplay(const std::vector<std::vector<bool>>& differ) {
    return letterDisplayWithMethod(differ).letters;
}

LetterDisplay letterDisplayWithMethod(const std::vector<std::vector<bool>>& differ, std::size_t groupBound) {
    const std::size_t k = differ.size();
    for (const auto& row : differ)
        if (row.size() != k) throw std::invalid_argument("letterDisplay: the matrix of differences is not square");
    LetterDisplay result;
    if (k == 0) return result;

    std::optional<std::vector<Column>> maximal = insertAbsorb(differ, groupBound);
    std::vector<Column> cols;
    if (maximal) {
        cols = std::move(*maximal);
    } else {
        result.method = LettersMethod::CliqueCover;
        cols = cliqueCover(differ);
    }

    // Naming order first, so that which of two interchangeable groups the
    // sweep drops does not hang on the order of the splits.
    auto members = [k](const Column& col) {
        std::vector<std::size_t> m;
        for (std::size_t t = 0; t < k; ++t)
            if (col[t]) m.push_back(t);
        return m;
    };
    std::vector<std::vector<std::size_t>> keys;
    for (const Column& col : cols) keys.push_back(members(col));
    std::vector<std::size_t> order(cols.size());
    for (std::size_t c = 0; c < order.size(); ++c) order[c] = c;
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return keys[a] < keys[b]; });
    std::vector<Column> sorted;
    for (std::size_t c : order) sorted.push_back(std::move(cols[c]));
    cols = std::move(sorted);

    // Sweep: insert-absorb leaves every maximal group, some of whose pairs
    // may all be shared elsewhere. Coverage only shrinks as columns go, so a
    // column kept once stays needed and one pass suffices.
    std::vector<char> alive(cols.size(), 1);
    for (std::size_t c = 0; c < cols.size(); ++c)
        if (redundant(cols, alive, c, k)) alive[c] = 0;

    result.letters.assign(k, std::string());
    std::size_t named = 0;
    for (std::size_t c = 0; c < cols.size(); ++c) {
        if (!alive[c]) continue;
        const std::string name = letterName(named++);
        result.groups.push_back(members(cols[c]));
        for (std::size_t t = 0; t < k; ++t)
            if (cols[c][t]) result.letters[t] += name;
    }
    return result;
}

}  // namespace lumera::analysis
