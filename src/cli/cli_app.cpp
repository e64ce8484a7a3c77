#include "cli/cli_app.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <stdexcept>

#include "analysis/normality.h"
#include "app/commands.h"
#include "cli/bootstrap_command.h"
#include "cli/cli_args.h"
#include "cli/cli_dialogs.h"
#include "cli/compare_input.h"
#include "cli/compare_output.h"
#include "cli/lifetable_command.h"
#include "cli/paper_figure.h"
#include "cli/paper_tables.h"
#include "cli/plot_files.h"
#include "cli/provenance.h"
#include "report/pair_chart.h"
#include "shell/controls.h"
#include "shell/dialog_texts.h"
#include "shell/dialogs.h"
#include "shell/program.h"
#include "shell/progress.h"
#include "sorting/normality_test.h"
#include "sorting/sort_and_count.h"
#include "textio/escaped_text.h"
#include "textio/field_reader.h"
#include "textio/long_form_reader.h"
#include "textio/number_forms.h"
#include "textio/rounding.h"
#include "textio/text_file.h"
#include "textio/user_error.h"
#include "textio/version.h"

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

constexpr const char* kNotEnoughMemory =
    "Not enough memory: the command needs more memory than this computer can give.\n";

// Runs a command of the analysis core alone: bad input and a lack of
// memory are messages and exit 1, as for the window's commands.
int runReported(std::ostream& err, const std::function<void()>& command) {
    try {
        command();
        return 0;
    } catch (const UserError& e) {
        err << e.title() << ": " << e.text() << '\n';
    } catch (const std::bad_alloc&) {
        err << kNotEnoughMemory;
    } catch (const std::length_error&) {
        // A size past what an allocation can ask for: memory too.
        err << kNotEnoughMemory;
    }
    return 1;
}

// Each treatment of a long-form file as a sample named by the file.
std::vector<analysis::TreatmentSample> readLongFormTreatments(const CompareOptions& o,
                                                              std::vector<InputDigest>& inputs) {
    LongFormTable table = readLongForm(o.longForm, {o.treatmentColumn, o.valueColumn}, "compare");
    if (table.treatments.size() < 2)
        throw UserError("compare", o.longForm + ": the file holds " + std::to_string(table.treatments.size()) +
                                       (table.treatments.size() == 1 ? " treatment" : " treatments") +
                                       "; at least 2 are needed.");
    std::vector<analysis::TreatmentSample> samples;
    for (LongFormTreatment& t : table.treatments)
        samples.push_back(analysis::makeSample(std::move(t.name), o.longForm, std::move(t.values)));
    inputs.push_back(std::move(table.input));
    return samples;
}

// compare works on the analysis core alone: no window, no dialog.
int runCompare(const CompareOptions& o, std::ostream& out, std::ostream& err) {
    bool csvWritten = false, plotsWritten = false;
    const char* failing = "the pair charts (--plot)";
    const int code = runReported(err, [&] {
        if (!o.plot.empty()) checkPlotFolder(o.plot);
        if (!o.figure.empty()) checkFigure(o.figure);
        std::vector<analysis::TreatmentSample> samples;
        CohortBootstraps bootstraps;
        Provenance provenance{o.commandLine, {}};
        if (o.cohorts) {
            bootstraps = bootstrapTreatments(o), samples = std::move(bootstraps.samples);
            provenance.inputs = bootstraps.inputs;
        } else if (!o.longForm.empty()) {
            samples = readLongFormTreatments(o, provenance.inputs);
        } else {
            samples = readCompareFiles(o.files, &provenance.inputs);
        }
        const analysis::Comparison c = analysis::compareTreatments(std::move(samples), o.alpha, o.adjust, o.level);
        if (!o.csv.empty() && o.csv != "-") {
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
            plotsWritten = true;
        }
        if (!o.figure.empty()) {
            failing = "the figure (--figure)";
            writeFigure(o.figure, figurePoints(c, o.ciBars ? FigureBars::Ci : FigureBars::Se), o.label);
        }
        if (!o.table.empty())
            out << paperTables(c, o.table == "md"      ? TableForm::Markdown
                                  : o.table == "latex" ? TableForm::Latex
                                                       : TableForm::Csv);
        else if (o.csv == "-")
            out << comparisonCsv(c);
        else if (o.json && o.cohorts)
            writeComparisonJson(out, c, o, bootstraps, provenance);
        else if (o.json)
            writeComparisonJson(out, c, provenance);
        else
            out << comparisonTable(c);
    });
    // The charts and the figure come after the CSV: what is written stays, and
    // the user is told.
    if (code != 0 && plotsWritten)
        err << "lumera-cli: compare: " << failing << " failed; the pair charts" << (csvWritten ? " and the CSV " : "")
            << (csvWritten ? escapedControls(o.csv) : std::string()) << " are written\n";
    else if (code != 0 && csvWritten)
        err << "lumera-cli: compare: " << failing << " failed; the CSV " << escapedControls(o.csv) << " is written\n";
    return code;
}

std::string statText(double v) { return std::isfinite(v) ? plainForm(v) : std::string("not defined"); }

nlohmann::ordered_json normalityJson(const analysis::NormalityResult& r, const Provenance& provenance) {
    // NaN (values that do not vary) comes out as null.
    nlohmann::ordered_json j;
    j["program_version"] = kProgramVersion;
    addProvenance(j, provenance);
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

// The start of a data file's chart names: its name without the ending the
// sort drops; a pipe's charts are the pipe's, as its sort files are.
std::string plotStem(const std::string& path) {
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) return "pipe";
    return fs::path(sortFileStem(path)).filename().string();
}

// The frequency chart and the probability plot of the values, to `dir`.
void writeFrequencyPlots(const std::string& dir, const std::string& path, std::vector<double> values,
                         const std::string& dataSetName) {
    const std::string stem = plotStem(path);
    const std::string file = fs::path(path).filename().string();
    ChartControl chart("frequency", ControlKind::Chart);
    const analysis::FrequencyChart f =
        fillFrequencyChart(std::move(values), dataSetName.empty() ? file : dataSetName + " in " + file, stem, chart);
    writeValuePlots(dir, stem, f, chart);
}

// normality reads as the sort reads, then tests: no window, no dialog, no
// file written but the charts asked for.
int runNormality(const NormalityOptions& o, std::ostream& out, std::ostream& err) {
    // A whole number from -1 to 5: the command line checked it.
    const double decimals = leadingNumber(o.decimals);
    return runReported(err, [&] {
        if (!o.plot.empty()) checkPlotFolder(o.plot, kFrequencyChartsTitle);
        const SortDataKind kind = o.kind == SortKind::General ? SortDataKind::General
                                  : o.kind == SortKind::Boot  ? SortDataKind::Boot
                                                              : SortDataKind::PairTestResults;
        SortInputData data = readSortInput(absoluteName(o.file), kind, o.serials);
        roundSortValues(data.values, decimals);
        const analysis::NormalityResult r = analysis::testNormality(data.values);
        data.input.file = o.file;
        if (o.json)
            out << normalityJson(r, {o.commandLine, {data.input}})
                       .dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace)
                << '\n';
        else
            out << normalityText(r);
        if (!o.plot.empty())
            writeFrequencyPlots(o.plot, absoluteName(o.file), std::move(data.values), data.dataSetName);
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
    void sortWork(const std::string& stage, int percent) override {
        window_.sortWork(stage, percent);
        std::string line = stage;
        show(line.append(" ").append(std::to_string(percent)).append(" %"));
    }
    bool cancelRequested() override { return window_.cancelRequested(); }

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

std::string helpOrVersion(const Command& command) {
    if (command.kind == Command::Kind::Version) return std::string("lumera-cli ") + kProgramVersion + "\n";
    return command.help;
}

// The lines of a script, read a block at a time as the data files are: a
// line gets the limit of a data file's field, so that an endless line (a
// stream of NUL bytes) is a message rather than all the memory, and a read
// that fails is an error rather than the end of the script.
class ScriptLines {
public:
    static constexpr std::size_t kMaxLine = FieldReader::kMaxField;
    enum class Result { Line, End, TooLong, Failed };

    explicit ScriptLines(const std::string& path) : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
        if (fd_ < 0) error_ = errno;
    }
    ~ScriptLines() {
        if (fd_ >= 0) ::close(fd_);
    }
    ScriptLines(const ScriptLines&) = delete;
    ScriptLines& operator=(const ScriptLines&) = delete;

    int error() const { return error_; }

    // The next line without its line end (LF or CR LF).
    Result next(std::string& line) {
        line.clear();
        bool any = false;
        for (;;) {
            if (pos_ == end_) {
                const ssize_t n = ::read(fd_, buf_.data(), buf_.size());
                if (n < 0 && errno == EINTR) continue;
                if (n < 0) {
                    error_ = errno;
                    return Result::Failed;
                }
                if (n == 0) return any ? finished(line) : Result::End;
                pos_ = 0;
                end_ = static_cast<std::size_t>(n);
            }
            const char* start = buf_.data() + pos_;
            const auto* lf = static_cast<const char*>(std::memchr(start, '\n', end_ - pos_));
            const std::size_t take = lf ? static_cast<std::size_t>(lf - start) : end_ - pos_;
            if (line.size() + take > kMaxLine + 1) return Result::TooLong;  // + 1: a CR
            line.append(start, take);
            any = true;
            pos_ += take;
            if (lf) {
                ++pos_;
                return finished(line);
            }
        }
    }

private:
    static Result finished(std::string& line) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        return line.size() > kMaxLine ? Result::TooLong : Result::Line;
    }

    int fd_ = -1;
    int error_ = 0;
    std::vector<char> buf_ = std::vector<char>(std::size_t{1} << 16);
    std::size_t pos_ = 0;
    std::size_t end_ = 0;
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
            case Command::Kind::Bootstrap:
                return runBootstrap(command.bootstrap, out_, err_);
            case Command::Kind::LifeTable:
                return runLifeTable(command.lifetable, out_, err_);
            case Command::Kind::Script:
                return runScript(command.script.file);
            case Command::Kind::Help:
            case Command::Kind::Version:
                out_ << helpOrVersion(command);
                return 0;
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
            err_ << "lumera-cli: cartesian: the folder " << escapedControls(dir) << " does not exist\n";
        } else if (ec) {
            err_ << "lumera-cli: cartesian: cannot reach the folder " << escapedControls(dir) << ": " << ec.message()
                 << '\n';
        } else if (status.type() != fs::file_type::directory) {
            err_ << "lumera-cli: cartesian: " << escapedControls(dir) << " is not a folder\n";
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
        for (const std::string& w : program_.state().ReadWarnings)
            err_ << "lumera-cli: cartesian: warning: " << w << '\n';
        if (code != 0) return code;
        // The report stays whatever comes after it, so its name is given first.
        out_ << escapedControls(program_.resolve(program_.state().OutputFileName)) << '\n' << std::flush;
        if (o.plot.empty() || runReported(err_, [&] { writeWindowPlots(absoluteName(o.plot)); }) == 0) return 0;
        err_ << "lumera-cli: cartesian: the pair charts (--plot) failed; the report above is written\n";
        return 1;
    }

    // The "N. Sort, norm." button answered from the options. The working
    // folder is left free: the outputs go next to the file.
    int runSort(const SortOptions& o) {
        if (!o.plot.empty() && runReported(err_, [&] { checkPlotFolder(o.plot, kFrequencyChartsTitle); }) != 0)
            return 1;
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
            out_ << escapedControls(names.sorted) << '\n'
                 << escapedControls(names.percentile) << '\n'
                 << escapedControls(names.counts) << '\n'
                 << std::flush;
        }
        if (code != 0 || o.plot.empty()) return code;
        // The classes just counted, as the window's chart shows them.
        const RunState& s = program_.state();
        const int plotted = runReported(err_, [&] {
            ChartControl chart("frequency", ControlKind::Chart);
            const std::string stem = fs::path(s.FileStem).filename().string();
            const analysis::FrequencyChart f = fillFrequencyChart(s, chart);
            writeValuePlots(absoluteName(o.plot), stem, f, chart);
        });
        if (plotted == 0) return 0;
        err_ << "lumera-cli: sort: the frequency charts (--plot) failed; the three files above are written\n";
        return 1;
    }

    int runScript(const std::string& path) {
        const std::string shownPath = escapedControls(path);
        std::error_code ec;
        if (fs::is_directory(path, ec)) {
            err_ << "lumera-cli: the script " << shownPath << " is a folder\n";
            return 1;
        }
        ScriptLines in(path);
        if (in.error() != 0) {
            err_ << "lumera-cli: cannot open the script " << shownPath << ": " << std::strerror(in.error()) << '\n';
            return 1;
        }
        std::string line;
        for (int number = 1;; ++number) {
            const ScriptLines::Result got = in.next(line);
            if (got == ScriptLines::Result::End) return 0;
            if (got == ScriptLines::Result::Failed) {
                err_ << "lumera-cli: cannot read the script " << shownPath << " after line " << number - 1 << ": "
                     << std::strerror(in.error()) << '\n';
                return 1;
            }
            if (got == ScriptLines::Result::TooLong) {
                err_ << "lumera-cli: " << shownPath << ", line " << number << " is too long (more than "
                     << ScriptLines::kMaxLine << " characters)\n";
                return 1;
            }
            std::vector<std::string> words;
            try {
                words = splitScriptLine(line);
                if (words.empty() || words[0].rfind('#', 0) == 0) continue;
                Command command = parseCommand(words);
                if (command.kind == Command::Kind::Script) throw UsageError("a script cannot run a script");
                int code = run(command);
                // Each line's output as it is done; a line whose output is
                // lost has failed.
                if (!out_.flush() && code == 0) code = 1;
                if (code != 0) {
                    err_ << "lumera-cli: " << shownPath << ", line " << number << " failed\n";
                    return code;
                }
            } catch (const UsageError& e) {
                err_ << "lumera-cli: " << shownPath << ", line " << number << ": " << escapedControls(e.what()) << '\n'
                     << kUsage;
                return 2;
            }
        }
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
    Command command;
    try {
        command = parseCommand(words);
    } catch (const UsageError& e) {
        err << "lumera-cli: " << escapedControls(e.what()) << '\n' << kUsage;
        return 2;
    }
    // The commands catch what they can meet; this is the last resort, so
    // that a slip is a message and never an abort.
    if (command.kind == Command::Kind::Help || command.kind == Command::Kind::Version) {
        out << helpOrVersion(command);
        return 0;
    }
    try {
        if (command.kind == Command::Kind::Compare) return runCompare(command.compare, out, err);
        if (command.kind == Command::Kind::Bootstrap) return runBootstrap(command.bootstrap, out, err);
        if (command.kind == Command::Kind::Normality) return runNormality(command.normality, out, err);
        if (command.kind == Command::Kind::LifeTable) return runLifeTable(command.lifetable, out, err);
        Session session(out, err);
        return session.run(command);
    } catch (const std::bad_alloc&) {
        err << kNotEnoughMemory;
    } catch (const std::length_error&) {
        err << kNotEnoughMemory;
    } catch (const std::exception& e) {
        err << "lumera-cli: internal error: " << e.what() << '\n';
    }
    return 1;
}

}  // namespace lumera::cli
