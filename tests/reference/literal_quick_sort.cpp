#include "reference/literal_quick_sort.h"

#include <array>

namespace lumera::reference {

LiteralSortResult literalQuickSort(const std::vector<double>& input, const std::vector<std::int32_t>& inSerial,
                                   std::int16_t& groupLimit) {
    const std::int32_t n = static_cast<std::int32_t>(input.size()) - 1;
    // Buffers A (the output), B and C, values and serials.
    std::array<std::vector<double>, 3> val;
    std::array<std::vector<std::int32_t>, 3> ser;
    for (int b = 0; b < 3; ++b) {
        val[b].assign(n + 1, 0.0);
        ser[b].assign(n + 1, 0);
    }
    // Per level k (1..10), per group g (1..2^k).
    std::array<std::vector<std::int32_t>, 11> start, end, count;
    std::array<std::vector<double>, 11> sum, mean;
    for (int k = 1; k <= 10; ++k) {
        std::size_t size = (std::size_t{1} << k) + 1;
        start[k].assign(size, 0);
        end[k].assign(size, 0);
        count[k].assign(size, 0);
        sum[k].assign(size, 0.0);
        mean[k].assign(size, 0.0);
    }
    auto bufferOf = [](int level) { return (level - 1) % 3; };  // 1,4,7,10 -> A; 2,5,8 -> B; 3,6,9 -> C

    // Step 2: level-0 mean.
    double total = 0;
    for (std::int32_t i = 1; i <= n; ++i) total = total + input[i];
    double mean0 = total / n;
    // Step 3.
    if (groupLimit == 0) groupLimit = 1024;

    int finishLevel = 0;
    // Steps 4 to 7: level 1.
    start[1][1] = 1;
    end[1][2] = n;
    count[1][1] = count[1][2] = 0;
    sum[1][1] = sum[1][2] = 0;
    for (std::int32_t i = 1; i <= n; ++i) {
        double v = input[i];
        std::int32_t pos;
        int g;
        if (v >= mean0) {
            g = 2;
            pos = end[1][2] - count[1][2];
        } else {
            g = 1;
            pos = start[1][1] + count[1][1];
        }
        val[0][pos] = v;
        ser[0][pos] = inSerial[i];
        sum[1][g] = sum[1][g] + v;
        count[1][g] = count[1][g] + 1;
    }
    end[1][1] = start[1][1] + count[1][1] - 1;
    start[1][2] = end[1][2] - count[1][2] + 1;
    bool emptyAtLevelOne = false;
    for (int g = 1; g <= 2; ++g) {
        if (count[1][g] == 0) {
            groupLimit = 1;
            emptyAtLevelOne = true;
            break;
        }
        mean[1][g] = sum[1][g] / count[1][g];
    }
    if (emptyAtLevelOne || groupLimit <= 2) {
        finishLevel = 1;  // an empty level-1 group still has the filled one sorted
    } else {
        // Steps 9 to 13.
        for (int k = 2; k <= 10; ++k) {
            const int groups = 1 << k;
            const int from = bufferOf(k - 1), to = bufferOf(k);
            for (int g = 1; g <= groups / 2; ++g) {
                start[k][2 * g - 1] = start[k - 1][g];
                end[k][2 * g] = end[k - 1][g];
            }
            for (int g = 1; g <= groups; ++g) {
                count[k][g] = 0;
                sum[k][g] = 0;
            }
            for (int g = 1; g <= groups / 2; ++g) {
                for (std::int32_t i = start[k][2 * g - 1]; i <= end[k][2 * g]; ++i) {
                    double v = val[from][i];
                    std::int32_t s = ser[from][i];
                    int h;
                    std::int32_t pos;
                    if (v >= mean[k - 1][g]) {
                        h = 2 * g;
                        pos = end[k][h] - count[k][h];
                    } else {
                        h = 2 * g - 1;
                        pos = start[k][h] + count[k][h];
                    }
                    val[to][pos] = v;
                    ser[to][pos] = s;
                    sum[k][h] = sum[k][h] + v;
                    count[k][h] = count[k][h] + 1;
                }
            }
            for (int g = 1; g <= groups / 2; ++g) {
                end[k][2 * g - 1] = start[k][2 * g - 1] + count[k][2 * g - 1] - 1;
                start[k][2 * g] = end[k][2 * g] - count[k][2 * g] + 1;
            }
            bool empty = false;
            for (int g = 1; g <= groups; ++g) {
                if (count[k][g] == 0) {
                    groupLimit = static_cast<std::int16_t>(1 << (k - 1));
                    empty = true;
                    break;
                }
                mean[k][g] = sum[k][g] / count[k][g];
            }
            if (empty) {
                finishLevel = k - 1;
                break;
            }
            if (k == 10 || groupLimit <= groups) {
                finishLevel = k;
                break;
            }
        }
    }

    // Steps 14 and 15.
    const int k = finishLevel;
    const int b = bufferOf(k);
    LiteralSortResult result;
    result.values = val[b];
    result.serials = ser[b];
    std::vector<double>& out = result.values;
    std::vector<std::int32_t>& outSer = result.serials;
    for (int g = 1; g <= (1 << k); ++g) {
        const std::int32_t first = start[k][g], last = end[k][g];
        for (std::int32_t i = first; i <= last - 1; ++i) {
            for (std::int32_t j = i + 1; j <= last; ++j) {
                if (out[i] > out[j]) {
                    std::swap(out[i], out[j]);
                    std::swap(outSer[i], outSer[j]);
                }
            }
        }
    }
    return result;
}

}  // namespace lumera::reference
