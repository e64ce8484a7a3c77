#pragma once
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "textio/number_forms.h"

namespace lumera::test {

// A folder of its own for one test, removed afterwards.
class TempFolder {
public:
    // The process id keeps tests that run side by side apart.
    explicit TempFolder(const std::string& name)
        : path_(std::filesystem::temp_directory_path() / ("lumera_" + name + "_" + std::to_string(getpid()))) {
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~TempFolder() { std::filesystem::remove_all(path_); }
    const std::filesystem::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }
    std::vector<std::string> names() const {
        std::vector<std::string> all;
        for (const auto& e : std::filesystem::directory_iterator(path_)) all.push_back(e.path().filename().string());
        std::sort(all.begin(), all.end());
        return all;
    }

private:
    std::filesystem::path path_;
};

// A bootstrap-results file as a bootstrap analysis writes it.
struct TreatmentSpec {
    std::string name = "Control";
    std::string code = "A";
    int sampleSize = 30;
    double original = 1;
    std::vector<double> replicates;
    std::optional<int> announcedB;  // field 5; the number of replicates when empty
    bool endMarker = false;
};

inline std::string writeTreatment(const std::string& path, const TreatmentSpec& t) {
    std::ofstream out(path, std::ios::binary);
    int b = t.announcedB.value_or(static_cast<int>(t.replicates.size()));
    out << '"' << t.name << "\",\"R0\"," << t.sampleSize << ",\"x\"," << b << ",\"" << t.code << "\"," << t.sampleSize
        << ',' << writeForm(t.original) << "\r\n";
    for (double r : t.replicates) out << writeForm(r) << "\r\n";
    if (t.endMarker) out << "-1\r\n";
    return path;
}

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace lumera::test
