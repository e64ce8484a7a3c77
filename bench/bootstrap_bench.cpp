// lumera-cli bootstrap as whole processes: B = 100,000 replicates of a
// cohort of 100 individuals over about 60 days, every statistic written,
// and compare --cohorts of three such cohorts by r; beside a straightforward
// bootstrap in this process that copies the drawn records and calls an exp
// per age in each step of Newton's method, for the five parameters alone.
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "process_run.h"

namespace fs = std::filesystem;

namespace {

struct Individual {
    char sex;
    std::vector<int> durations;  // days in each stage entered
    int adult = 0;
    std::vector<int> eggs;  // by adult day
};

// Four immature stages of about 18 days, adults living 10-40 days, 20 %
// dying young, females laying 0-12 eggs a day: about 60 days in all.
std::vector<Individual> makeCohort(std::uint64_t seed) {
    std::mt19937_64 rng(seed);
    const auto uniform = [&](int lo, int hi) { return lo + static_cast<int>(rng() % (hi - lo + 1)); };
    std::vector<Individual> c;
    for (int i = 0; i < 100; ++i) {
        Individual v;
        const int kind = uniform(0, 99);
        v.sex = kind < 45 ? 'F' : kind < 80 ? 'M' : 'N';
        const int reached = v.sex == 'N' ? uniform(1, 4) : 4;
        const int days[4] = {uniform(3, 5), uniform(2, 4), uniform(3, 5), uniform(5, 7)};
        v.durations.assign(days, days + reached);
        if (v.sex != 'N') v.adult = uniform(10, 40);
        if (v.sex == 'F')
            for (int t = 0; t < v.adult; ++t) v.eggs.push_back(t < 2 ? 0 : uniform(0, 12));
        c.push_back(v);
    }
    return c;
}

void writeCohort(const fs::path& path, const std::vector<Individual>& c) {
    std::ofstream out(path, std::ios::binary);
    out << "id,sex,egg,L1,L2,pupa,adult";
    for (int d = 1; d <= 40; ++d) out << ",d" << d;
    out << "\n";
    for (std::size_t i = 0; i < c.size(); ++i) {
        out << i + 1 << ',' << c[i].sex;
        for (int j = 0; j < 4; ++j) {
            out << ',';
            if (j < static_cast<int>(c[i].durations.size())) out << c[i].durations[j];
        }
        out << ',';
        if (c[i].sex != 'N') out << c[i].adult;
        for (int e : c[i].eggs) out << ',' << e;
        out << "\n";
    }
}

using lumera::bench::ProcessRun;

ProcessRun runCli(std::vector<std::string> words) {
    words.insert(words.begin(), LUMERA_CLI_PATH);
    const ProcessRun run = lumera::bench::spawnTimed(words);
    if (run.exitCode != 0) {
        std::fprintf(stderr, "%s failed\n", words[1].c_str());
        std::exit(1);
    }
    return run;
}

ProcessRun medianRun(int runs, const std::vector<std::string>& words) {
    std::vector<double> seconds, peaks, cpu;
    for (int r = 0; r < runs; ++r) {
        const ProcessRun run = runCli(words);
        seconds.push_back(run.seconds);
        peaks.push_back(run.peakMegabytes);
        cpu.push_back(run.cpuSeconds);
    }
    std::sort(seconds.begin(), seconds.end());
    std::sort(cpu.begin(), cpu.end());
    ProcessRun median;
    median.seconds = seconds[seconds.size() / 2];
    median.peakMegabytes = *std::max_element(peaks.begin(), peaks.end());
    median.cpuSeconds = cpu[cpu.size() / 2];
    return median;
}

// The way a bootstrap is usually written: copy the drawn individuals, sum
// their eggs by age, and find r by Newton's method from 0.1, each step
// summing an exp per age.
double straightforwardBootstrap(const std::vector<Individual>& c, int B) {
    std::mt19937_64 rng(1);
    std::uniform_int_distribution<std::size_t> pick(0, c.size() - 1);
    double check = 0;
    for (int b = 0; b < B; ++b) {
        std::vector<Individual> drawn;
        for (std::size_t i = 0; i < c.size(); ++i) drawn.push_back(c[pick(rng)]);
        std::vector<double> lm(80, 0.0), alive(80, 0.0);
        for (const Individual& v : drawn) {
            int age = 0;
            for (int d : v.durations) age += d;
            for (int x = 0; x < age + v.adult; ++x) alive[x] += 1;
            for (std::size_t t = 0; t < v.eggs.size(); ++t) lm[age + t] += v.eggs[t] / 100.0;
        }
        double R0 = 0, GRR = 0;
        for (int x = 0; x < 80; ++x) {
            R0 += lm[x];
            if (alive[x] > 0) GRR += lm[x] * 100 / alive[x];
        }
        double r = 0.1;
        for (int step = 0; step < 50 && R0 > 0; ++step) {
            double f = -1, df = 0;
            for (int x = 0; x < 80; ++x) {
                const double e = std::exp(-r * (x + 1)) * lm[x];
                f += e;
                df -= (x + 1) * e;
            }
            const double next = r - f / df;
            if (std::fabs(next - r) < 1e-14) break;
            r = next;
        }
        const double lambda = std::exp(r), T = std::log(R0) / r;
        check += r + lambda + T + GRR;
    }
    return check;
}

}  // namespace

int main() {
    const fs::path dir = fs::temp_directory_path() / ("lumera_bootstrap_bench_" + std::to_string(getpid()));
    fs::create_directories(dir);
    std::vector<std::string> cohorts;
    for (int k = 0; k < 3; ++k) {
        const fs::path path = dir / ("cohort" + std::to_string(k + 1) + ".csv");
        writeCohort(path, makeCohort(100 + static_cast<std::uint64_t>(k)));
        cohorts.push_back(path.string());
    }
    const int runs = 5, B = 100000;

    const auto start = std::chrono::steady_clock::now();
    const std::clock_t cpuStart = std::clock();
    const double check = straightforwardBootstrap(makeCohort(100), B);
    const double baseline = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double baselineCpu = static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;

    const fs::path out = dir / "out";
    fs::create_directories(out);
    const ProcessRun all =
        medianRun(runs, {"bootstrap", "--replicates", std::to_string(B), "--dir", out.string(), cohorts[0]});
    const ProcessRun one = medianRun(
        runs, {"bootstrap", "--replicates", std::to_string(B), "--threads", "1", "--dir", out.string(), cohorts[0]});
    const std::size_t files = static_cast<std::size_t>(std::distance(fs::directory_iterator(out), {}));
    const ProcessRun compare = medianRun(runs, {"compare", "--cohorts", "--statistic", "r", "--replicates",
                                                std::to_string(B), "--json", cohorts[0], cohorts[1], cohorts[2]});

    std::printf(
        "straightforward bootstrap in this process, B = %d, n = 100, five parameters: %.3f s, CPU %.3f s "
        "(check %g)\n",
        B, baseline, baselineCpu, check);
    std::printf(
        "lumera-cli bootstrap, B = %d, every statistic (%zu files), all cores: %.3f s (median of %d), "
        "CPU %.3f s, peak %.0f MB, ratio to the baseline %.2f\n",
        B, files, all.seconds, runs, all.cpuSeconds, all.peakMegabytes, all.seconds / baseline);
    std::printf("the same with --threads 1: %.3f s, CPU %.3f s, peak %.0f MB\n", one.seconds, one.cpuSeconds,
                one.peakMegabytes);
    std::printf(
        "lumera-cli compare --cohorts --statistic r, 3 cohorts x B = %d: %.3f s (median of %d), CPU %.3f s, "
        "peak %.0f MB\n",
        B, compare.seconds, runs, compare.cpuSeconds, compare.peakMegabytes);
    fs::remove_all(dir);
    return 0;
}
