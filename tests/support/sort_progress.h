#pragma once
#include <string>
#include <utility>
#include <vector>

#include "shell/progress.h"

namespace lumera::test {

// Stands for the window's progress during a sort and count: keeps every
// stage and percent it is told, and presses Cancel at the ask that comes
// `asksAfter` asks after `cancelStage` was first told (never when empty).
class SortProgress : public Progress {
public:
    explicit SortProgress(std::string cancelStage = "", int asksAfter = 0)
        : cancelStage_(std::move(cancelStage)), asksAfter_(asksAfter) {}

    void runStarted(const std::string&) override {}
    void runBegan(const std::string&) override {}
    void pairStarted(int, int) override {}
    void detailFiles(int, int, int) override {}
    void sorting(int, int) override {}
    void pairDone(int, int, const DateTime&) override {}
    void sortWork(const std::string& stage, int percent) override {
        told.emplace_back(stage, percent);
        if (!cancelStage_.empty() && stage == cancelStage_) inStage_ = true;
    }
    bool cancelRequested() override {
        ++asks;
        if (!inStage_) return false;
        return stageAsks_++ >= asksAfter_;
    }

    std::vector<std::pair<std::string, int>> told;
    int asks = 0;

private:
    std::string cancelStage_;
    int asksAfter_;
    bool inStage_ = false;
    int stageAsks_ = 0;
};

}  // namespace lumera::test
