#pragma once
// Plain files of replicates for lumera-cli compare at the benchmarks'
// sizes: normal, skewed and coarsely rounded treatments with means close
// enough that every pair's differences straddle 0.
#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace lumera::bench {

// Treatment t of k: its values, reproducible from (t, b).
inline std::vector<double> compareTreatment(int t, int b) {
    std::mt19937_64 rng(0x1000u + static_cast<unsigned>(t) * 7919u + static_cast<unsigned>(b));
    std::vector<double> v(static_cast<std::size_t>(b));
    const double mean = 0.20 + 0.004 * t;
    switch (t % 3) {
        case 0: {
            std::normal_distribution<double> normal(mean, 0.02);
            for (double& x : v) x = normal(rng);
            break;
        }
        case 1: {
            // Right-skewed: a lognormal shifted to the same scale.
            std::lognormal_distribution<double> skew(-4.0, 0.6);
            for (double& x : v) x = mean - 0.02 + skew(rng);
            break;
        }
        default: {
            // Four decimals, as some programs write them: many equal values.
            std::normal_distribution<double> normal(mean, 0.025);
            for (double& x : v) x = std::round(normal(rng) * 1e4) / 1e4;
            break;
        }
    }
    return v;
}

// k plain files of b replicates each in dir, their paths returned.
inline std::vector<std::string> writeCompareFiles(const std::filesystem::path& dir, int k, int b) {
    std::vector<std::string> files;
    char buf[32];
    for (int t = 0; t < k; ++t) {
        std::string name = "t";
        name += std::to_string(t);
        name += "_";
        name += std::to_string(b);
        name += ".txt";
        const std::filesystem::path path = dir / name;
        std::string text;
        for (double x : compareTreatment(t, b)) {
            text.append(buf, std::to_chars(buf, buf + sizeof buf, x).ptr);
            text += '\n';
        }
        std::ofstream(path, std::ios::binary) << text;
        files.push_back(path.string());
    }
    return files;
}

}  // namespace lumera::bench
