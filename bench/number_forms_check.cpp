// The write form against the C library's "%.15G" on many random doubles
// (bit patterns, differences of replicates, values near the switch to
// exponent notation, near-halves and exact halves at the 16th digit,
// negative zero), and the time a number of each.
//   number_forms_check [millions] [seed]
#include <bit>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "support/write_form_reference.h"
#include "textio/number_forms.h"

namespace {

double draw(std::mt19937_64& gen, long i) {
    static std::normal_distribution<double> normal(45, 3);
    char text[64];
    switch (i % 8) {
        case 0:
            return std::bit_cast<double>(gen());
        case 1:
            return normal(gen) - normal(gen);
        case 2:
            return std::ldexp(static_cast<double>(gen() >> 11), static_cast<int>(gen() % 80) - 100);
        case 3: {
            static const double ends[] = {1e-4, 1e15, 1e-5, 1e14};
            double x = ends[gen() % 4];
            for (auto j = gen() % 64; j > 0; --j) x = std::nextafter(x, (gen() & 1) ? 0.0 : 1e300);
            return x;
        }
        case 4: {
            static const char* const tails[] = {"5", "4999", "5001"};
            std::snprintf(text, sizeof text, "%llu%se%d", 100000000000000ULL + gen() % 900000000000000ULL,
                          tails[gen() % 3], static_cast<int>(gen() % 30) - 20);
            return std::strtod(text, nullptr);
        }
        case 5:
            return static_cast<double>(gen() % 2000000000000000ULL) + 0.5;
        case 6:
            return std::ldexp(static_cast<double>(gen() % 100000), -static_cast<int>(gen() % 40));
        default:
            return static_cast<double>(gen() % 2000000) / static_cast<double>(1 + gen() % 1000);
    }
}

}  // namespace

int main(int argc, char** argv) {
    const long count = static_cast<long>((argc > 1 ? std::atof(argv[1]) : 10) * 1e6);
    const unsigned seed = argc > 2 ? static_cast<unsigned>(std::atoi(argv[2])) : 1;
    std::mt19937_64 gen(seed);
    long mismatches = 0, checked = 0;
    char got[lumera::kMaxNumberText];
    for (long i = 0; i < count; ++i) {
        double v = draw(gen, i);
        if (gen() & 1) v = -v;
        if (!std::isfinite(v)) continue;
        ++checked;
        const std::string want = lumera::test::writeFormReference(v);
        if (want != std::string(got, lumera::writeFormTo(got, v)) && mismatches++ < 10)
            std::printf("%a: %s, want %s\n", v, std::string(got, lumera::writeFormTo(got, v)).c_str(), want.c_str());
    }
    if (lumera::writeForm(-0.0) != "0") ++mismatches;
    std::printf("%ld values (seed %u): %ld differ from %%.15G\n", checked, seed, mismatches);

    // Speed on differences of replicates, the bulk of the detail files.
    std::vector<double> values(1 << 22);
    std::normal_distribution<double> normal(45, 3);
    for (double& v : values) v = normal(gen) - normal(gen);
    std::vector<char> out(values.size() * lumera::kMaxNumberText);
    auto nsPerNumber = [&](auto format) {
        const auto start = std::chrono::steady_clock::now();
        char* p = out.data();
        for (double v : values) p = format(p, v);
        const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        return s / static_cast<double>(values.size()) * 1e9;
    };
    const double ours = nsPerNumber([](char* p, double v) { return lumera::writeFormTo(p, v); });
    const double library = nsPerNumber([](char* p, double v) { return p + std::snprintf(p, 32, "%.15G", v); });
    std::printf("write form %.1f ns a number, snprintf %.1f ns (%.1f times as long)\n", ours, library, library / ours);
    return mismatches == 0 ? 0 : 1;
}
