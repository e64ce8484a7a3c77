#include "cli/cli_app.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>

#include "analysis/normality.h"
#include "app/commands.h"
#include "cli/cli_args.h"
#include "cli/cli_dialogs.h"
#include "cli/compare_input.h"
#include "cli/compare_output.h"
#include "cli/plot_files.h"
#include "report/pair_chart.h"
#include "shell/dialog_texts.h"
#include "shell/dialogs.h"
#include "shell/program.h"
#include "shell/progress.h"
#include "sorting/sort_and_count.h"
#include "textio/number_forms.h"
#include "textio/rounding.h"
#include "textio/text_file.h"
#include "textio/user_error.h"

namespace lumera::cli {

namespace {

namespace fs = std::filesystem;
using namespace dialog_texts;

// The current folder, or nothing when it cannot be had (it was deleted):
// then only absolute names work, and the others fail with a message.
std::string currentFolder() {
    std::error_code ec;
    fs::path here = fs::current_path(ec);
    return ec ? std::string() : here.string();
}

std::string absoluteName(const std::string& name) {
    if (fs::path(name).is_absolute()) return name;
    std::error_code ec;
    fs::path full = fs::absolute(name, ec);
    return ec ? name : full.string();
}

// The decimals as the sort's box takes them, or nothing (with a message)
// when the box would be asked again for ever.
std::optional<double> decimalsOption(const std::string& command, const std::string& decimals, std::ostream& err) {
    const double d = leadingNumber(decimals);
    if (d >= -1 && d <= 5) return d;
    err << "lumera-cli: " << command << ": the decimals must lie between -1 and 5, not " << decimals << '\n';
    return std::nullopt;
}

// Runs a command of the analysis core alone: bad input and a lack of
// memory are messages and exit 1, as for the window's commands.
int runReported(std::ostream& err, const std::function<void()>& command) {
    try {
        command();
        return 0;
    } catch (const UserError& e) {
        err << e.title() << ": " << e.text() << '\n';
    } catch (const std::bad_alloc&) {
        err << "Not enough memory: the command needs more memory than this computer can give.\n";
    }
    return 1;
}

// compare works on the analysis core alone: no window, no dialog.
int runCompare(const CompareOptions& o, std::ostream& out, std::ostream& err) {
    if (o.help) {
        out << kCompareHelp;
        return 0;
    }
    bool csvWritten = false;
    const int code = runReported(err, [&] {
        if (!o.plot.empty()) checkPlotFolder(o.plot);
        std::vector<analysis::TreatmentSample> samples;
        for (const std::string& file : o.files) samples.push_back(readCompareFile(file));
        const analysis::Comparison c = analysis::compareTreatments(std::move(samples), o.alpha, o.sidak);
        if (!o.csv.empty()) {
            TextFile csv(o.csv, "compare");
            csv.write(comparisonCsv(c));
            csv.close();
            csvWritten = true;
        }
        if (!o.plot.empty()) {
            std::vector<PlotPair> plots;
            for (const analysis::PairResult& r : c.pairs) {
                const analysis::TreatmentSample& minuend = c.treatments[r.first];
                const analysis::TreatmentSample& subtrahend = c.treatments[r.second];
                plots.push_back(
                    {static_cast<int>(std::min(r.first, r.second)) + 1,
                     static_cast<int>(std::max(r.first, r.second)) + 1,
                     analysis::pairChart(minuend, subtrahend, r, analysis::twiceMeanDifference(minuend, subtrahend))});
            }
            writePairPlots(o.plot, plots);
        }
        out << (o.json ? comparisonJson(c) : comparisonTable(c));
    });
    // Only the charts come after the CSV: it stays, and the user is told.
    if (code != 0 && csvWritten)
        err << "lumera-cli: compare: the pair charts (--plot) failed; the CSV " << o.csv << " is written\n";
    return code;
}

std::string statText(double v) { return std::isfinite(v) ? plainForm(v) : std::string("not defined"); }

nlohmann::ordered_json normalityJson(const analysis::NormalityResult& r) {
    // NaN (values that do not vary) comes out as null.
    nlohmann::ordered_json j;
    j["n"] = r.n;
    j["mean"] = r.mean;
    j["sd"] = r.sd;
    j["skewness"] = r.skewness;
    j["excess_kurtosis"] = r.excessKurtosis;
    j["shapiro_wilk"] = nullptr;
    if (r.shapiroWilk) j["shapiro_wilk"] = {{"W", r.shapiroWilk->W}, {"p", r.shapiroWilk->p}};
    j["anderson_darling"] = nullptr;
    if (r.andersonDarling) j["anderson_darling"] = {{"A2", r.andersonDarling->A2}, {"p", r.andersonDarling->p}};
    return j;
}

std::string normalityText(const analysis::NormalityResult& r) {
    std::string t = "n = " + std::to_string(r.n) + "\n";
    t += "Mean = " + statText(r.mean) + "\n";
    t += "SD = " + statText(r.sd) + "\n";
    t += "Skewness (g1) = " + statText(r.skewness) + "\n";
    t += "Excess kurtosis (g2) = " + statText(r.excessKurtosis) + "\n";
    t += "Shapiro-Wilk: ";
    if (r.shapiroWilk)
        t += "W = " + statText(r.shapiroWilk->W) + ", P = " + statText(r.shapiroWilk->p) + "\n";
    else if (r.n >= 3 && r.n <= 5000)
        t += "not computed (the values do not vary)\n";
    else
        t += "not computed (n outside 3..5000)\n";
    t += "Anderson-Darling: ";
    if (r.andersonDarling)
        t += "A-squared = " + statText(r.andersonDarling->A2) + ", P = " + statText(r.andersonDarling->p) + "\n";
    else if (r.n >= 8)
        t += "not computed (the values do not vary)\n";
    else
        t += "not computed (n < 8)\n";
    return t;
}

// normality reads as the sort reads, then tests: no window, no dialog, no file written.
int runNormality(const NormalityOptions& o, std::ostream& out, std::ostream& err) {
    const std::optional<double> d = decimalsOption("normality", o.decimals, err);
    if (!d) return 1;
    return runReported(err, [&] {
        const SortDataKind kind = o.kind == SortKind::General ? SortDataKind::General
                                  : o.kind == SortKind::Boot  ? SortDataKind::Boot
                                                              : SortDataKind::PairTestResults;
        SortInputData data = readSortInput(absoluteName(o.file), kind, o.serials);
        roundSortValues(data.values, *d);
        const analysis::NormalityResult r = analysis::testNormality(data.values);
        if (o.json)
            out << normalityJson(r).dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << '\n';
        else
            out << normalityText(r);
    });
}

// On a terminal, the line the window's busy message ends with (the pair
// being compared, how far the detail files are written) is shown on one line
// of stderr, after the window has taken it.
class TerminalProgress : public Progress {
public:
    TerminalProgress(std::ostream& err, Progress& window) : err_(err), window_(window) {}
    ~TerminalProgress() override {
        if (shown_) err_ << '\n';
    }
    void runStarted(const std::string& busy) override {
        window_.runStarted(busy);
        show(busy.substr(busy.rfind('\n') + 1));
    }
    void runBegan(const std::string& began) override { window_.runBegan(began); }
    void pairStarted(int i, int j) override {
        window_.pairStarted(i, j);
        show(progress_texts::comparing(i, j));
    }
    void detailFiles(int i, int j, int percent) override {
        window_.detailFiles(i, j, percent);
        show(progress_texts::detailFiles(percent));
    }
    void sorting(int i, int j) override {
        window_.sorting(i, j);
        show(progress_texts::kSorting);
    }
    void pairDone(int i, int j, const DateTime& now) override { window_.pairDone(i, j, now); }

private:
    void show(const std::string& line) {
        err_ << '\r' << line << std::string(line.size() < width_ ? width_ - line.size() : 0, ' ') << std::flush;
        width_ = line.size();
        shown_ = true;
    }

    std::ostream& err_;
    Progress& window_;
    std::size_t width_ = 0;
    bool shown_ = false;
};

// One run of the program: commands of a script share it, so what outlives a
// command in the window outlives it here too.
class Session {
public:
    Session(std::ostream& out, std::ostream& err)
        : out_(out), err_(err), dialogs_(err), program_(dialogs_, clock_, random_, currentFolder()) {
        installCommands(program_);
        program_.form1().Form_Load();
        if (&err == &std::cerr && isatty(STDERR_FILENO)) {
            progress_ = std::make_unique<TerminalProgress>(err, program_.form1());
            program_.setProgress(progress_.get());
        }
    }

    int run(const Command& command) {
        switch (command.kind) {
            case Command::Kind::Cartesian:
                return runCartesian(command.cartesian);
            case Command::Kind::Sort:
                return runSort(command.sort);
            case Command::Kind::Normality:
                return runNormality(command.normality, out_, err_);
            case Command::Kind::Compare:
                return runCompare(command.compare, out_, err_);
            case Command::Kind::Script:
                return runScript(command.script.file);
        }
        return 2;
    }

    ~Session() { program_.endProgram(); }

private:
    int finish(Program::Outcome outcome) {
        if (outcome == Program::Outcome::Cancelled) err_ << "lumera-cli: the command was cancelled\n";
        return outcome == Program::Outcome::Done ? 0 : 1;
    }

    // Found out before the work rather than when the report is created.
    bool checkFolder(const std::string& dir) {
        std::error_code ec;
        const fs::file_status status = fs::status(dir, ec);
        if (status.type() == fs::file_type::not_found) {
            err_ << "lumera-cli: cartesian: the folder " << dir << " does not exist\n";
        } else if (ec) {
            err_ << "lumera-cli: cartesian: cannot reach the folder " << dir << ": " << ec.message() << '\n';
        } else if (status.type() != fs::file_type::directory) {
            err_ << "lumera-cli: cartesian: " << dir << " is not a folder\n";
        } else {
            return true;
        }
        return false;
    }

    // Every pair of the test just run, with the numbers of its report.
    void writeWindowPlots(const std::string& dir) {
        const RunState& s = program_.state();
        std::vector<PlotPair> plots;
        for (int i = 1; i < s.TreatmentCount; ++i)
            for (int j = i + 1; j <= s.TreatmentCount; ++j) plots.push_back({i, j, windowPairChart(s, i, j)});
        writePairPlots(dir, plots);
    }

    int runCartesian(const CartesianOptions& o) {
        const Answer yes = Answer::Yes, no = Answer::No;
        if (!o.dir.empty() && !checkFolder(o.dir)) return 1;
        if (!o.plot.empty() && runReported(err_, [&] { checkPlotFolder(o.plot); }) != 0) return 1;
        if (const std::optional<std::string> problem = nameTextProblem(o.code)) {
            // The report asks for its code only after all the work.
            err_ << "lumera-cli: cartesian: the code cannot be part of the report's file name: " << *problem << '\n';
            return 1;
        }
        dialogs_.clearAnswers();
        dialogs_.answerQuestion(kDetailInfoTitle, o.detail || o.flow ? yes : no);
        dialogs_.answerQuestion(kFlowTitle, o.flow ? yes : no);
        dialogs_.answerQuestion(kDifferencesTitle, o.detail ? yes : no);
        dialogs_.answerQuestion(kReversedTitle, o.reversed ? yes : no);
        dialogs_.answerInput(kTreatmentCountTitle, std::to_string(o.files.size()));
        dialogs_.answerInput(kTransformTitle, std::to_string(o.transform));
        dialogs_.answerInput(kCodeTitle, o.code);
        dialogs_.quietNotice(kCompletedTitle);  // the report's path goes to stdout
        for (const std::string& f : o.files) dialogs_.queueFile(absoluteName(f));
        program_.pinWorkingFolder(o.dir.empty() ? program_.workingFolder() : absoluteName(o.dir));
        const int code = finish(program_.click("cmdCartesianDifference"));
        if (code != 0) return code;
        // The report stays whatever comes after it, so its name is given first.
        out_ << program_.resolve(program_.state().OutputFileName) << '\n' << std::flush;
        if (o.plot.empty() || runReported(err_, [&] { writeWindowPlots(absoluteName(o.plot)); }) == 0) return 0;
        err_ << "lumera-cli: cartesian: the pair charts (--plot) failed; the report above is written\n";
        return 1;
    }

    // The "N. Sort, norm." button answered from the options. The working
    // folder is left free: the outputs go next to the file.
    int runSort(const SortOptions& o) {
        if (!decimalsOption("sort", o.decimals, err_)) return 1;
        dialogs_.clearAnswers();
        dialogs_.quietNotice(kDecimalsTitle);  // the two closing notices: the paths go to stdout
        dialogs_.answerQuestion(kSortKindTitle, o.kind == SortKind::General ? Answer::Yes
                                                : o.kind == SortKind::Boot  ? Answer::No
                                                                            : Answer::Cancel);
        dialogs_.answerQuestion(kSerialTitle, o.serials ? Answer::Yes : Answer::No);
        dialogs_.answerInput(kDecimalsTitle, o.decimals);
        dialogs_.answerQuestion(kFrequencyTitle, Answer::No);
        dialogs_.queueFile(absoluteName(o.file));
        int code = finish(program_.click("cmdGeneralNormalTest"));
        if (code == 0) {
            const SortOutputNames names = sortOutputNames(program_.state());
            out_ << names.sorted << '\n' << names.percentile << '\n' << names.counts << '\n';
        }
        return code;
    }

    int runScript(const std::string& path) {
        std::error_code ec;
        if (fs::is_directory(path, ec)) {
            err_ << "lumera-cli: the script " << path << " is a folder\n";
            return 1;
        }
        std::ifstream in(path, std::ios::binary);
        if (!in) {
            err_ << "lumera-cli: cannot open the script " << path << '\n';
            return 1;
        }
        std::string line;
        for (int number = 1; std::getline(in, line); ++number) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            std::vector<std::string> words;
            try {
                words = splitScriptLine(line);
                if (words.empty() || words[0].rfind('#', 0) == 0) continue;
                Command command = parseCommand(words);
                if (command.kind == Command::Kind::Script) throw UsageError("a script cannot run a script");
                int code = run(command);
                if (code != 0) {
                    err_ << "lumera-cli: " << path << ", line " << number << " failed\n";
                    return code;
                }
            } catch (const UsageError& e) {
                err_ << "lumera-cli: " << path << ", line " << number << ": " << e.what() << '\n' << kUsage;
                return 2;
            }
        }
        return 0;
    }

    std::ostream& out_;
    std::ostream& err_;
    CliDialogs dialogs_;
    // Outlives the program, which points to it.
    std::unique_ptr<TerminalProgress> progress_;
    SystemClock clock_;
    SystemRandom random_;
    Program program_;
};

}  // namespace

int runCli(const std::vector<std::string>& words, std::ostream& out, std::ostream& err) {
    if (words.size() == 1 && (words[0] == "--help" || words[0] == "-h")) {
        out << kUsage;
        return 0;
    }
    Command command;
    try {
        command = parseCommand(words);
    } catch (const UsageError& e) {
        err << "lumera-cli: " << e.what() << '\n' << kUsage;
        return 2;
    }
    // The commands catch what they can meet; this is the last resort, so
    // that a slip is a message and never an abort.
    try {
        if (command.kind == Command::Kind::Compare) return runCompare(command.compare, out, err);
        if (command.kind == Command::Kind::Normality) return runNormality(command.normality, out, err);
        Session session(out, err);
        return session.run(command);
    } catch (const std::bad_alloc&) {
        err << "lumera-cli: not enough memory\n";
    } catch (const std::exception& e) {
        err << "lumera-cli: internal error: " << e.what() << '\n';
    }
    return 1;
}

}  // namespace lumera::cli
