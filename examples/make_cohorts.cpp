// Writes the sample cohort files of examples/ into the folder given as its
// argument: the records of every individual of one simulated moth (egg,
// three larval instars, pupa) reared at 20, 25 and 32 C, ready for
// `lumera-cli lifetable`.
//
// Each egg goes through the stages in turn, surviving each with a chance of
// its own; a stage lasts its least days plus successes in a few trials. An
// adult is a female or a male with even odds and lives its least days plus
// successes; a female lays nothing on her first adult days, then on each
// day a number of eggs that falls with her age. At 32 C few eggs hatch into
// adults and those lay little: that treatment's population declines (R0 < 1).
//
// Only raw 64-bit outputs of std::mt19937_64 and integer arithmetic are
// used, so the files come out byte for byte the same with any standard library.

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

class Draw {
public:
    explicit Draw(std::uint64_t seed) : engine_(seed) {}
    // True with chance percent / 100.
    bool chance(int percent) { return index(100) < percent; }
    int successes(int trials, int percent) {
        int k = 0;
        for (int i = 0; i < trials; ++i) k += chance(percent) ? 1 : 0;
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

struct Stage {
    const char* name;
    int survival;  // percent that live through the stage
    int least;     // days, at the least
    int trials;    // plus successes in this many trials of 50 %
};

struct Treatment {
    const char* file;
    const char* temperature;
    std::uint64_t seed;
    int n;
    std::vector<Stage> stages;
    int adultLeast, adultTrials;  // adult longevity: least days plus successes (50 %)
    int preoviposition;           // adult days without eggs
    int eggTrials, eggPercent;    // a young female's daily eggs: successes in these trials
};

const std::vector<Treatment> kTreatments = {
    {"moth-20C.csv",
     "20",
     20201,
     60,
     {{"egg", 92, 5, 3}, {"L1", 88, 4, 3}, {"L2", 90, 4, 3}, {"L3", 90, 6, 4}, {"pupa", 92, 9, 4}},
     9,
     10,
     3,
     14,
     45},
    {"moth-25C.csv",
     "25",
     20252,
     80,
     {{"egg", 94, 3, 2}, {"L1", 90, 3, 2}, {"L2", 92, 3, 2}, {"L3", 92, 4, 3}, {"pupa", 94, 6, 3}},
     7,
     8,
     2,
     18,
     50},
    {"moth-32C.csv",
     "32",
     20323,
     70,
     {{"egg", 80, 2, 2}, {"L1", 70, 2, 2}, {"L2", 75, 2, 2}, {"L3", 75, 3, 2}, {"pupa", 80, 4, 3}},
     3,
     4,
     2,
     8,
     25},
};

struct Individual {
    char sex = 'N';
    std::vector<int> days;  // per stage entered; for an N the last holds the days it lived there
    int adult = 0;
    std::vector<int> eggs;  // by adult day
};

Individual simulate(const Treatment& t, Draw& draw) {
    Individual one;
    for (const Stage& s : t.stages) {
        const int days = s.least + draw.successes(s.trials, 50);
        if (!draw.chance(s.survival)) {
            one.days.push_back(1 + draw.index(days));
            return one;
        }
        one.days.push_back(days);
    }
    one.sex = draw.chance(50) ? 'F' : 'M';
    one.adult = t.adultLeast + draw.successes(t.adultTrials, 50);
    if (one.sex == 'F')
        for (int day = 1; day <= one.adult; ++day) {
            // Fewer eggs as she ages: a tenth of the trials lost per day.
            const int trials = t.eggTrials - t.eggTrials * (day - t.preoviposition - 1) / 10;
            one.eggs.push_back(day <= t.preoviposition || trials <= 0 ? 0 : draw.successes(trials, t.eggPercent));
        }
    return one;
}

void write(const std::filesystem::path& folder, const Treatment& t) {
    Draw draw(t.seed);
    std::vector<Individual> cohort;
    std::size_t eggColumns = 0;
    for (int i = 0; i < t.n; ++i) {
        cohort.push_back(simulate(t, draw));
        if (cohort.back().sex == 'F') eggColumns = std::max(eggColumns, cohort.back().eggs.size());
    }
    std::ofstream out(folder / t.file, std::ios::binary);
    out << "# Simulated cohort of a moth reared at " << t.temperature << " C (make_cohorts.cpp, seed " << t.seed
        << "): days in each stage, adult days, eggs by adult day\n";
    out << "id,sex";
    for (const Stage& s : t.stages) out << ',' << s.name;
    out << ",adult";
    for (std::size_t d = 1; d <= eggColumns; ++d) out << ",d" << d;
    out << '\n';
    for (std::size_t i = 0; i < cohort.size(); ++i) {
        const Individual& one = cohort[i];
        out << t.temperature << "C-" << (i + 1) << ',' << one.sex;
        for (int d : one.days) out << ',' << d;
        if (one.sex != 'N') out << ',' << one.adult;
        for (int e : one.eggs) out << ',' << e;
        out << '\n';
    }
    if (!out.flush()) throw std::runtime_error("cannot write " + (folder / t.file).string());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: make_cohorts FOLDER\n";
        return 2;
    }
    try {
        const std::filesystem::path folder = argv[1];
        std::filesystem::create_directories(folder);
        for (const Treatment& t : kTreatments) write(folder, t);
    } catch (const std::exception& e) {
        std::cerr << "make_cohorts: " << e.what() << '\n';
        return 1;
    }
    return 0;
}
