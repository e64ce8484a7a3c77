#pragma once
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "cli/cli_dialogs.h"
#include "shell/dialog_texts.h"
#include "shell/program.h"
#include "textio/number_forms.h"

namespace lumera::bench {

inline double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Median wall time of several runs, in seconds: machines here are noisy.
inline double medianSeconds(int runs, const std::function<void()>& work) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        auto start = std::chrono::steady_clock::now();
        work();
        times.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return median(std::move(times));
}

// CPU seconds of the process so far, in the kernel (writing) or not.
inline double cpuSeconds(bool kernel) {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const timeval& t = kernel ? usage.ru_stime : usage.ru_utime;
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

inline double peakMegabytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
}

// Normal replicates for a treatment, reproducible from the generator.
inline std::vector<double> replicates(std::mt19937_64& rng, double mean, double sd, int b) {
    std::normal_distribution<double> normal(mean, sd);
    std::vector<double> v(static_cast<std::size_t>(b));
    for (double& x : v) x = normal(rng);
    return v;
}

// A bootstrap-results file of one treatment.
inline void writeTreatmentFile(const std::filesystem::path& path, const std::string& code,
                               const std::vector<double>& v) {
    std::ofstream out(path, std::ios::binary);
    out << "\"" << code << "\",\"R0\",40,\"x\"," << v.size() << ",\"" << code << "\",40,1.5\r\n";
    for (double x : v) out << writeForm(x) << "\r\n";
}

// Three treatments of B replicates, as the benchmarks compare them; their
// replicates are left in data, the files' paths returned.
inline std::vector<std::string> writeThreeTreatments(const std::filesystem::path& dir, int b,
                                                     std::vector<std::vector<double>>& data) {
    std::mt19937_64 rng(20231);
    data = {replicates(rng, 45.2, 3.1, b), replicates(rng, 44.1, 2.8, b), replicates(rng, 39.7, 3.5, b)};
    std::vector<std::string> files;
    for (int t = 0; t < 3; ++t) {
        std::string name = "t";
        name += std::to_string(t);
        name += ".txt";
        files.push_back((dir / name).string());
        writeTreatmentFile(files.back(), std::string(1, static_cast<char>('A' + t)), data[t]);
    }
    return files;
}

// One Cartesian test of the given files as the command line answers it;
// a run that does not finish ends the benchmark with its messages.
inline void runTest(Program& program, cli::CliDialogs& dialogs, const std::vector<std::string>& files, bool detail,
                    const std::ostringstream& notices) {
    using namespace dialog_texts;
    dialogs.answerQuestion(kDetailInfoTitle, detail ? Answer::Yes : Answer::No);
    dialogs.answerQuestion(kFlowTitle, Answer::No);
    dialogs.answerQuestion(kDifferencesTitle, detail ? Answer::Yes : Answer::No);
    dialogs.answerQuestion(kReversedTitle, Answer::No);
    dialogs.answerInput(kTreatmentCountTitle, std::to_string(files.size()));
    dialogs.answerInput(kTransformTitle, "0");
    dialogs.answerInput(kCodeTitle, "1");
    for (const std::string& f : files) dialogs.queueFile(f);
    if (program.click("cmdCartesianDifference") != Program::Outcome::Done) {
        std::cerr << notices.str();
        std::exit(1);
    }
}

}  // namespace lumera::bench
