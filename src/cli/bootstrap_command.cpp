#include "cli/bootstrap_command.h"

#include <unistd.h>

#include <atomic>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <future>
#include <iostream>
#include <nlohmann/json.hpp>
#include <optional>
#include <stdexcept>
#include <streambuf>
#include <thread>

#include "analysis/bootstrap.h"
#include "analysis/interval_rules.h"
#include "analysis/life_table.h"
#include "cli/compare_output.h"
#include "textio/cohort_reader.h"
#include "textio/escaped_text.h"
#include "textio/number_forms.h"
#include "textio/text_file.h"
#include "textio/user_error.h"
#include "textio/version.h"

namespace lumera::cli {

namespace {

namespace fs = std::filesystem;
using analysis::StatisticReplicates;

constexpr const char* kTitle = "bootstrap";
// The treatment file's end marker: a replicate equal to it would end the file early.
constexpr double kEndMarker = -1;

bool holdsEndMarker(const analysis::ReplicateValues& values) {
    for (double v : values)
        if (v == kEndMarker) return true;
    return false;
}

}  // namespace

std::optional<std::string> noFileReason(const StatisticReplicates& s) {
    if (!s.estimate) return "the cohort itself has no value (" + analysis::leftOutReason(s.name) + ")";
    if (s.values.size() < 2)
        return std::to_string(s.values.size()) + " replicate" + (s.values.size() == 1 ? " has" : "s have") +
               " a value; at least 2 are needed";
    if (holdsEndMarker(s.values)) return "a replicate equals -1, the end marker of the file format";
    return std::nullopt;
}

std::vector<StatisticReplicates> bootstrapWithProgress(const analysis::Cohort& cohort,
                                                       analysis::BootstrapRequest request, const std::string& name,
                                                       std::ostream& err, const ProgressDisplay& display) {
    if (!display.terminal) return analysis::bootstrapCohort(cohort, request);
    std::atomic<std::uint64_t> done{0};
    request.done = &done;
    auto result = std::async(std::launch::async, [&] { return analysis::bootstrapCohort(cohort, request); });
    const auto start = std::chrono::steady_clock::now();
    bool shown = false;
    while (result.wait_for(display.every) != std::future_status::ready) {
        if (std::chrono::steady_clock::now() - start < display.after) continue;
        err << "\rbootstrap " << escapedControls(name) << ": " << done.load() << " of " << request.replicates
            << " replicates" << std::flush;
        shown = true;
    }
    if (shown) err << '\n';
    return result.get();
}

ProgressDisplay stderrProgress(const std::ostream& err) { return {&err == &std::cerr && isatty(STDERR_FILENO)}; }

namespace {

struct Summary {
    std::size_t written = 0;
    std::optional<double> mean, se, lower, upper;
    std::optional<std::string> noFile;  // why no file is written
};

struct CohortRun {
    std::string name, file;
    std::uint64_t n = 0, seed = 0;
    std::vector<StatisticReplicates> statistics;
    std::vector<std::string> paths;  // per statistic; empty: no file
    std::vector<Summary> summaries;  // per statistic
};

// The treatment file of one statistic, as cartesian and compare read it.
void writeReplicates(const std::string& path, const CohortRun& c, const StatisticReplicates& s) {
    TextFile file(path, kTitle, 1 << 16);
    const std::string n = std::to_string(c.n);
    file.writeLine("\"" + c.name + "\",\"" + s.name + "\"," + n + ",\"seed " + std::to_string(c.seed) + "\"," +
                   std::to_string(s.values.size()) + ",\"" + c.name + "\"," + n + "," + shortestForm(*s.estimate));
    ShortestForms forms;
    for (double v : s.values) {
        char* at = file.reserve(kMaxNumberText + 2);
        char* end = forms.write(at, v);
        end[0] = '\r';
        end[1] = '\n';
        file.commit(static_cast<std::size_t>(end + 2 - at));
    }
    file.writeLine("-1");
    file.close();
}

void checkFolder(const std::string& dir) {
    std::error_code ec;
    const fs::file_status status = fs::status(dir, ec);
    if (status.type() == fs::file_type::not_found)
        throw UserError(kTitle, "The folder " + escapedControls(dir) + " does not exist.");
    if (ec) throw UserError(kTitle, "Cannot reach the folder " + escapedControls(dir) + ": " + ec.message() + ".");
    if (status.type() != fs::file_type::directory) throw UserError(kTitle, escapedControls(dir) + " is not a folder.");
}

nlohmann::ordered_json number(const std::optional<double>& v) {
    return v ? nlohmann::ordered_json(*v) : nlohmann::ordered_json(nullptr);
}

// Mean and SE exactly as compare computes a treatment's; the percentile
// points at the Cartesian test's positions.
Summary summarise(analysis::ReplicateValues values) {
    Summary none;
    none.written = values.size();
    if (values.size() < 2) return none;
    const analysis::MeanAndSe m = analysis::meanAndSe(values);
    // Two order statistics need no sorted copy of all the replicates.
    const analysis::PercentileRanks ranks = analysis::percentileRanks(static_cast<double>(values.size()));
    const auto lower = values.begin() + static_cast<std::ptrdiff_t>(ranks.lower - 1);
    const auto upper = values.begin() + static_cast<std::ptrdiff_t>(ranks.upper - 1);
    std::nth_element(values.begin(), lower, values.end());
    const double lowerValue = *lower;
    if (upper > lower) std::nth_element(lower + 1, upper, values.end());
    return {values.size(), m.mean, m.se, lowerValue, *upper, std::nullopt};
}

// Each statistic's summary and file; the statistics are shared out among
// the threads, as the replicates were. Every file put in place is named in
// `placed`, so that a failed run can take them back.
void finishStatistics(CohortRun& run, const std::string& dir, unsigned threads, std::vector<std::string>& placed) {
    const std::size_t count = run.statistics.size();
    run.paths.assign(count, std::string());
    run.summaries.assign(count, Summary());
    for (std::size_t i = 0; i < count; ++i)
        if (!noFileReason(run.statistics[i]))
            run.paths[i] = (fs::path(dir) / (run.name + "-" + run.statistics[i].name + ".txt")).string();
    if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
    threads = static_cast<unsigned>(std::min<std::size_t>(threads, std::max<std::size_t>(count, 1)));
    std::atomic<std::size_t> next{0};
    std::vector<std::exception_ptr> failures(threads);
    std::vector<std::vector<std::size_t>> written(threads);
    auto work = [&](unsigned t) {
        try {
            for (std::size_t i; (i = next.fetch_add(1)) < count;) {
                if (!run.paths[i].empty()) {
                    writeReplicates(run.paths[i], run, run.statistics[i]);
                    written[t].push_back(i);
                }
                // The replicates are not needed after their summary.
                std::optional<std::string> noFile = noFileReason(run.statistics[i]);
                run.summaries[i] = summarise(std::move(run.statistics[i].values));
                run.summaries[i].noFile = std::move(noFile);
            }
        } catch (...) {
            failures[t] = std::current_exception();
            next = count;
        }
    };
    std::vector<std::thread> pool;
    for (unsigned t = 1; t < threads; ++t) pool.emplace_back(work, t);
    work(0);
    for (std::thread& th : pool) th.join();
    for (const std::vector<std::size_t>& w : written)
        for (std::size_t i : w) placed.push_back(run.paths[i]);
    for (const std::exception_ptr& f : failures)
        if (f) std::rethrow_exception(f);
}

// The cohort reader takes "-" for standard input, which the command line
// has turned into its device name.
std::vector<std::string> cohortPaths(const std::vector<std::string>& files) {
    std::vector<std::string> paths;
    for (const std::string& f : files) paths.push_back(f == kStandardInput ? std::string(1, '-') : f);
    return paths;
}

std::string text(const std::optional<double>& v) { return v ? summaryForm(*v) : std::string("-"); }

}  // namespace

int runBootstrap(const BootstrapOptions& o, std::ostream& out, std::ostream& err) {
    std::vector<std::string> placed;  // removed again when the run fails
    try {
        if (!o.dir.empty()) checkFolder(o.dir);
        const std::vector<CohortRecords> records = readCohorts(cohortPaths(o.files), kTitle);
        std::vector<CohortRun> runs;
        for (std::size_t k = 0; k < records.size(); ++k) {
            const analysis::Cohort cohort(records[k]);
            const std::vector<std::string> names = analysis::statisticNames(cohort);
            for (const std::string& wanted : o.statistics)
                if (std::find(names.begin(), names.end(), wanted) == names.end())
                    throw UserError(kTitle, records[k].file + ": the cohort has no statistic " + wanted +
                                                " (its stages are not those named).");
            CohortRun run{
                records[k].name, records[k].file, cohort.size(), analysis::cohortSeed(o.seed, k + 1), {}, {}, {}};
            analysis::BootstrapRequest request;
            request.replicates = o.replicates;
            request.seed = run.seed;
            request.threads = o.threads;
            request.statistics = o.statistics;
            run.statistics = bootstrapWithProgress(cohort, request, run.name, err, stderrProgress(err));
            finishStatistics(run, o.dir, o.threads, placed);
            runs.push_back(std::move(run));
        }

        if (o.json) {
            nlohmann::ordered_json doc;
            doc["format"] = "lumera-bootstrap";
            doc["version"] = 1;
            doc["program_version"] = kProgramVersion;
            Provenance provenance{o.commandLine, {}};
            for (const CohortRecords& r : records) provenance.inputs.push_back(r.input);
            addProvenance(doc, provenance);
            doc["replicates"] = o.replicates;
            doc["seed"] = o.seed;
            doc["cohorts"] = nlohmann::ordered_json::array();
            for (const CohortRun& run : runs) {
                nlohmann::ordered_json c;
                c["name"] = run.name;
                c["file"] = run.file;
                c["n"] = run.n;
                c["seed"] = run.seed;
                nlohmann::ordered_json stats = nlohmann::ordered_json::object();
                for (std::size_t i = 0; i < run.statistics.size(); ++i) {
                    const StatisticReplicates& s = run.statistics[i];
                    const Summary& m = run.summaries[i];
                    nlohmann::ordered_json j;
                    j["estimate"] = number(s.estimate);
                    j["file"] =
                        run.paths[i].empty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(run.paths[i]);
                    j["written"] = m.written;
                    j["left_out"] = s.leftOut;
                    j["left_out_reason"] =
                        s.leftOut == 0 ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(s.leftOutReason);
                    j["mean"] = number(m.mean);
                    j["se"] = number(m.se);
                    j["percentile_lower"] = number(m.lower);
                    j["percentile_upper"] = number(m.upper);
                    stats[s.name] = std::move(j);
                }
                c["statistics"] = std::move(stats);
                doc["cohorts"].push_back(std::move(c));
            }
            out << doc.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << '\n';
        } else {
            for (const CohortRun& run : runs) {
                out << "Cohort " << run.name << " (" << escapedControls(run.file) << "): n = " << run.n << ", seed "
                    << run.seed << ", " << o.replicates << " replicates\n";
                char line[256];
                std::snprintf(line, sizeof line, "  %-24s %12s %8s %8s %12s %12s %12s %12s\n", "Statistic", "Estimate",
                              "Written", "Left out", "Mean", "SE", "2.5%", "97.5%");
                out << line;
                std::string notes;
                for (std::size_t i = 0; i < run.statistics.size(); ++i) {
                    const StatisticReplicates& s = run.statistics[i];
                    const Summary& m = run.summaries[i];
                    std::snprintf(line, sizeof line, "  %-24s %12s %8zu %8llu %12s %12s %12s %12s\n", s.name.c_str(),
                                  text(s.estimate).c_str(), m.written, static_cast<unsigned long long>(s.leftOut),
                                  text(m.mean).c_str(), text(m.se).c_str(), text(m.lower).c_str(),
                                  text(m.upper).c_str());
                    out << line;
                    if (s.leftOut > 0)
                        notes += "  " + s.name + ": " + std::to_string(s.leftOut) + " replicates left out (" +
                                 s.leftOutReason + ")\n";
                    if (m.noFile) notes += "  " + s.name + ": no file: " + *m.noFile + "\n";
                }
                out << notes << "  Files: " << escapedControls((fs::path(o.dir) / (run.name + "-*.txt")).string())
                    << "\n";
            }
        }
        return 0;
    } catch (const UserError& e) {
        err << e.title() << ": " << e.text() << '\n';
    } catch (const std::bad_alloc&) {
        err << "Not enough memory: the command needs more memory than this computer can give.\n";
    } catch (const std::invalid_argument& e) {
        err << kTitle << ": " << e.what() << '\n';
    }
    for (const std::string& path : placed) {
        std::error_code ec;
        fs::remove(path, ec);
    }
    return 1;
}

CohortBootstraps bootstrapTreatments(const CompareOptions& o) {
    const std::vector<CohortRecords> records = readCohorts(cohortPaths(o.files), "compare");
    CohortBootstraps result;
    for (std::size_t k = 0; k < records.size(); ++k) {
        const analysis::Cohort cohort(records[k]);
        const std::vector<std::string> names = analysis::statisticNames(cohort);
        if (std::find(names.begin(), names.end(), o.statistic) == names.end())
            throw UserError("compare", "Cohort " + records[k].name + " (" + records[k].file + ") has no statistic " +
                                           o.statistic + ": its stages are not those named.");
        analysis::BootstrapRequest request;
        request.replicates = o.replicates;
        request.seed = analysis::cohortSeed(o.seed, k + 1);
        request.statistics = {o.statistic};
        request.threads = 0;
        std::vector<StatisticReplicates> got =
            bootstrapWithProgress(cohort, request, records[k].name, std::cerr, stderrProgress(std::cerr));
        StatisticReplicates& s = got.front();
        if (const std::optional<std::string> why = noFileReason(s))
            throw UserError("compare", "Cohort " + records[k].name + " (" + records[k].file +
                                           ") cannot be compared by " + o.statistic + ": " + *why + ".");
        result.notes.push_back({records[k].name, request.seed, s.values.size(), s.leftOut, s.leftOutReason});
        result.inputs.push_back(records[k].input);
        // The header bootstrap would write for the statistic.
        analysis::TreatmentSample sample = analysis::makeSample(records[k].name, records[k].file,
                                                                std::vector<double>(s.values.begin(), s.values.end()));
        sample.estimate = s.estimate;
        sample.sampleSize = static_cast<double>(cohort.size());
        sample.code = records[k].name;
        result.samples.push_back(std::move(sample));
    }
    return result;
}

namespace {

// Passes text on but for its last three characters, so that a document's
// closing "\n}\n" can be replaced by more members.
class HoldBack : public std::streambuf {
public:
    explicit HoldBack(std::ostream& out) : out_(out) {}
    std::string held() const { return held_; }

protected:
    int_type overflow(int_type ch) override {
        if (traits_type::eq_int_type(ch, traits_type::eof())) return traits_type::not_eof(ch);
        held_ += traits_type::to_char_type(ch);
        if (held_.size() > kHeld) {
            out_.put(held_.front());
            held_.erase(0, 1);
        }
        return ch;
    }
    std::streamsize xsputn(const char* s, std::streamsize n) override {
        held_.append(s, static_cast<std::size_t>(n));
        if (held_.size() > kHeld) {
            out_.write(held_.data(), static_cast<std::streamsize>(held_.size() - kHeld));
            held_.erase(0, held_.size() - kHeld);
        }
        return n;
    }

private:
    static constexpr std::size_t kHeld = 3;
    std::ostream& out_;
    std::string held_;
};

}  // namespace

void writeComparisonJson(std::ostream& out, const analysis::Comparison& c, const CompareOptions& o,
                         const CohortBootstraps& b, const Provenance& provenance) {
    HoldBack hold(out);
    std::ostream held(&hold);
    writeComparisonJson(held, c, provenance);
    if (hold.held() != "\n}\n") throw std::logic_error("compare's JSON document ends unexpectedly");
    nlohmann::ordered_json j;
    j["statistic"] = o.statistic;
    j["replicates"] = o.replicates;
    j["seed"] = o.seed;
    j["cohorts"] = nlohmann::ordered_json::array();
    for (const CohortBootstrapNote& note : b.notes)
        j["cohorts"].push_back(
            {{"name", note.name},
             {"seed", note.seed},
             {"written", note.written},
             {"left_out", note.leftOut},
             {"left_out_reason", note.leftOutReason.empty() ? nlohmann::ordered_json(nullptr)
                                                            : nlohmann::ordered_json(note.leftOutReason)}});
    std::string text = j.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
    // One level deeper than the document's own members.
    for (std::size_t at = 0; (at = text.find('\n', at)) != std::string::npos; at += 3) text.insert(at + 1, "  ");
    out << ",\n  \"bootstrap\": " << text << "\n}\n";
}

}  // namespace lumera::cli
