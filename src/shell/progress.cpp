#include "shell/progress.h"

namespace lumera::progress_texts {

std::string comparing(int i, int j) { return "(Comparing " + std::to_string(i) + " with " + std::to_string(j) + ")"; }

std::string detailFiles(int percent) { return "(Writing detail files: " + std::to_string(percent) + " %)"; }

std::string sortStage(const std::string& stage, int percent) {
    return "(" + stage + ": " + std::to_string(percent) + " %)";
}

}  // namespace lumera::progress_texts
