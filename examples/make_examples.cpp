// Writes the sample data of examples/ into the folder given as its argument.
//
// Every file comes from a simulated cohort: n eggs, each growing up or
// dying before adulthood, each adult a female or a male, each female laying
// eggs day by day until she dies. R0 and rm are computed from the cohort's
// life table; the bootstrap resamples the individuals with replacement.
//
// Only raw 64-bit outputs of std::mt19937_64 and +, -, *, / are used (no
// library distributions, no exp or log from the maths library), so the files
// come out byte for byte the same with any standard library.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <string>
#include <vector>

#include "textio/number_forms.h"

namespace {

constexpr int kBootstrapReplicates = 3000;
constexpr int kMaxAdultDays = 90;

class Draw {
public:
    explicit Draw(std::uint64_t seed) : engine_(seed) {}
    // Uniform in [0, 1) from the top 53 bits.
    double uniform() { return static_cast<double>(engine_() >> 11) * 0x1.0p-53; }
    bool chance(double p) { return uniform() < p; }
    int successes(int trials, double p) {
        int k = 0;
        for (int i = 0; i < trials; ++i) k += chance(p) ? 1 : 0;
        return k;
    }
    // Uniform index 0..n-1, by rejection so that every index is equally likely.
    int index(int n) {
        const std::uint64_t range = static_cast<std::uint64_t>(n);
        const std::uint64_t limit = UINT64_MAX - UINT64_MAX % range;
        std::uint64_t x;
        do x = engine_();
        while (x >= limit);
        return static_cast<int>(x % range);
    }

private:
    std::mt19937_64 engine_;
};

struct Conditions {
    int minDevelopment;       // days from egg to adult, at the least
    int extraTrials;          // plus successes in this many trials...
    double extraChance;       // ...of this chance each
    double preadultSurvival;  // chance of reaching adulthood
    int preoviposition;       // adult days before the first egg
    double adultSurvival;     // chance of living through each adult day
    int eggTrials;            // daily eggs: successes in this many trials...
    double eggChance;         // ...of the female's own chance, this times her vigour
};

struct Individual {
    int development = 0;  // 0: died before adulthood
    bool female = false;
    std::vector<int> eggsByAge;  // eggs laid at each age in days, from 0
};

Individual simulate(Draw& draw, const Conditions& c) {
    Individual ind;
    const int development = c.minDevelopment + draw.successes(c.extraTrials, c.extraChance);
    if (!draw.chance(c.preadultSurvival)) return ind;
    ind.development = development;
    ind.female = draw.chance(0.5);
    int adultDays = 1;
    while (adultDays < kMaxAdultDays && draw.chance(c.adultSurvival)) ++adultDays;
    if (!ind.female) return ind;
    const double vigour = 0.4 + 1.2 * draw.uniform();
    const double chance = c.eggChance * vigour < 1 ? c.eggChance * vigour : 1;
    ind.eggsByAge.assign(development + adultDays, 0);
    for (int day = c.preoviposition; day < adultDays; ++day)
        ind.eggsByAge[development + day] = draw.successes(c.eggTrials, chance);
    return ind;
}

std::vector<Individual> cohort(Draw& draw, const Conditions& c, int n) {
    std::vector<Individual> all;
    for (int i = 0; i < n; ++i) all.push_back(simulate(draw, c));
    return all;
}

// Eggs laid at each age by the whole group, in order of the members given.
std::vector<double> eggsByAge(const std::vector<const Individual*>& group) {
    std::vector<double> eggs;
    for (const Individual* ind : group) {
        if (ind->eggsByAge.size() > eggs.size()) eggs.resize(ind->eggsByAge.size(), 0);
        for (std::size_t x = 0; x < ind->eggsByAge.size(); ++x) eggs[x] += ind->eggsByAge[x];
    }
    return eggs;
}

// R0: eggs laid by the cohort per egg it started from (sum of lx mx).
double netReproductiveRate(const std::vector<const Individual*>& group) {
    double total = 0;
    for (double e : eggsByAge(group)) total += e;
    return total / static_cast<double>(group.size());
}

// Natural logarithm by the series 2 (z + z^3/3 + z^5/5 + ...), z = (x-1)/(x+1).
double logarithm(double x) {
    const double z = (x - 1) / (x + 1);
    const double z2 = z * z;
    double power = z;
    double sum = 0;
    for (int k = 1; k < 400; k += 2) {
        const double next = sum + power / k;
        if (next == sum) break;
        sum = next;
        power *= z2;
    }
    return 2 * sum;
}

// rm: the root of sum over x of exp(-r (x + 1)) lx mx = 1. Solved for
// lambda = exp(r) by bisection, the sum falling as lambda grows.
double intrinsicRate(const std::vector<const Individual*>& group) {
    const std::vector<double> eggs = eggsByAge(group);
    const double n = static_cast<double>(group.size());
    auto euler = [&](double lambda) {
        const double w = 1 / lambda;
        double discount = w;
        double sum = 0;
        for (double e : eggs) {
            sum += discount * (e / n);
            discount *= w;
        }
        return sum;
    };
    double low = 1.0 / 16, high = 16;
    for (;;) {
        const double mid = (low + high) / 2;
        if (mid <= low || mid >= high) break;
        if (euler(mid) > 1)
            low = mid;
        else
            high = mid;
    }
    return logarithm((low + high) / 2);
}

using Parameter = double (*)(const std::vector<const Individual*>&);

struct Treatment {
    std::string file;
    std::string name;
    std::string parameterName;
    std::string code;
    std::uint64_t seed;
    Conditions conditions;
    int cohortSize;
    Parameter parameter;
};

std::string text(const std::string& s) { return '"' + s + '"'; }

void writeTreatment(const std::filesystem::path& folder, const Treatment& t) {
    Draw draw(t.seed);
    const std::vector<Individual> members = cohort(draw, t.conditions, t.cohortSize);
    std::vector<const Individual*> original;
    for (const Individual& ind : members) original.push_back(&ind);

    std::ofstream out(folder / t.file, std::ios::binary);
    const std::string n = std::to_string(t.cohortSize);
    out << text(t.name) << ',' << text(t.parameterName) << ',' << n << ',' << text("bootstrap") << ','
        << kBootstrapReplicates << ',' << text(t.code) << ',' << n << ',' << lumera::writeForm(t.parameter(original))
        << "\r\n";
    std::vector<const Individual*> resample(members.size());
    for (int b = 0; b < kBootstrapReplicates; ++b) {
        for (auto& slot : resample) slot = &members[static_cast<std::size_t>(draw.index(t.cohortSize))];
        out << lumera::writeForm(t.parameter(resample)) << "\r\n";
    }
    out << "-1\r\n";
}

// General data: development time of every individual that reached adulthood.
void writeDevelopmentDays(const std::filesystem::path& folder, const Conditions& c, std::uint64_t seed, int eggs) {
    Draw draw(seed);
    std::ofstream out(folder / "development-days.txt", std::ios::binary);
    out << text("Example cohort at 24 C") << ',' << text("days") << ',' << text("DevTime") << "\r\n";
    for (const Individual& ind : cohort(draw, c, eggs))
        if (ind.development > 0) out << ind.development << "\r\n";
    out << "-1\r\n";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: make_examples FOLDER\n";
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    std::filesystem::create_directories(folder);

    //                     dev  +trials chance survival preovi adult  eggTrials eggChance
    const Conditions cool{25, 10, 0.5, 0.70, 4, 0.94, 10, 0.30};
    const Conditions mild{14, 8, 0.4, 0.80, 2, 0.95, 16, 0.45};
    const Conditions warm{10, 6, 0.4, 0.72, 1, 0.92, 32, 0.50};
    const Conditions bean{14, 8, 0.4, 0.82, 2, 0.95, 8, 0.50};
    const Conditions pea{16, 8, 0.4, 0.78, 3, 0.94, 8, 0.42};

    const std::vector<Treatment> treatments = {
        {"r0-18C.txt", "18 C", "R0", "T18", 1801, cool, 80, netReproductiveRate},
        {"r0-24C.txt", "24 C", "R0", "T24", 2401, mild, 80, netReproductiveRate},
        {"r0-30C.txt", "30 C", "R0", "T30", 3001, warm, 80, netReproductiveRate},
        {"rm-bean.txt", "Bean", "rm", "Bean", 101, bean, 50, intrinsicRate},
        {"rm-pea.txt", "Pea", "rm", "Pea", 102, pea, 50, intrinsicRate},
    };
    for (const Treatment& t : treatments) writeTreatment(folder, t);
    writeDevelopmentDays(folder, mild, 2402, 400);
    return 0;
}
