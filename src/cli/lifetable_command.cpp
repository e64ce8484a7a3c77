#include "cli/lifetable_command.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <ostream>
#include <stdexcept>

#include "cli/chart_loader.h"
#include "cli/provenance.h"
#include "cli/text_columns.h"
#include "textio/escaped_text.h"
#include "textio/number_forms.h"
#include "textio/temporary_files.h"
#include "textio/text_file.h"
#include "textio/user_error.h"
#include "textio/version.h"

namespace lumera::cli {

namespace {

namespace fs = std::filesystem;
using analysis::LifeTable;
using analysis::Parameters;
using analysis::Statistics;
using Json = nlohmann::ordered_json;

constexpr const char* kTitle = "Life table";

Json orNull(const std::optional<double>& v) { return v ? Json(*v) : Json(nullptr); }

std::string csvNumber(const std::optional<double>& v) { return v ? shortestForm(*v) : std::string("NA"); }

std::string layout(const std::vector<std::vector<std::string>>& rows, const std::string& indent = "") {
    return textColumns(rows, indent, false);
}

// One line of the summary: the value, or "none" and why there is none.
std::vector<std::string> row(const std::string& name, const std::optional<double>& v, const std::string& unit,
                             const std::string& whyNone) {
    if (v) return {name, summaryForm(*v), unit};
    return {name, "none", "(" + whyNone + ")"};
}

Json cohortJson(const CohortLifeTable& c) {
    const CohortRecords& rec = c.records;
    const LifeTable& t = c.result.table;
    const Parameters& p = c.result.parameters;
    const Statistics& s = c.result.statistics;
    Json j;
    j["name"] = rec.name;
    j["file"] = rec.file;
    j["n"] = s.n;
    j["females"] = s.females;
    j["males"] = s.males;
    j["immature_deaths"] = s.immatureDeaths;
    j["stages"] = t.stages;
    j["parameters"] = {{"r", orNull(p.r)}, {"lambda", p.lambda}, {"R0", p.R0}, {"T", orNull(p.T)}, {"GRR", p.GRR}};
    Json duration = Json::object();
    for (std::size_t k = 0; k < rec.stages.size(); ++k) duration[rec.stages[k]] = orNull(s.duration[k]);
    Json st;
    st["duration"] = std::move(duration);
    st["preadult"] = orNull(s.preadult);
    st["adult_longevity_female"] = orNull(s.adultLongevityFemale);
    st["adult_longevity_male"] = orNull(s.adultLongevityMale);
    st["longevity_female"] = orNull(s.longevityFemale);
    st["longevity_male"] = orNull(s.longevityMale);
    st["longevity_all"] = orNull(s.longevityAll);
    st["fecundity"] = orNull(s.fecundity);
    st["APOP"] = orNull(s.APOP);
    st["TPOP"] = orNull(s.TPOP);
    st["oviposition_days"] = orNull(s.ovipositionDays);
    st["proportion_female"] = s.proportionFemale;
    st["proportion_male"] = s.proportionMale;
    st["proportion_N"] = s.proportionN;
    st["preadult_survival"] = s.preadultSurvival;
    j["statistics"] = std::move(st);

    Json table;
    Json ages = Json::array();
    for (std::size_t x = 0; x < t.ages(); ++x) ages.push_back(x);
    table["age"] = std::move(ages);
    table["l"] = t.l;
    table["E"] = t.E;
    table["f"] = t.f;
    table["m"] = t.m;
    table["lm"] = t.lm;
    Json n = Json::object(), sx = Json::object(), e = Json::object(), v = Json::object();
    for (std::size_t k = 0; k < t.stages.size(); ++k) {
        n[t.stages[k]] = t.n[k];
        sx[t.stages[k]] = t.s[k];
        Json ek = Json::array(), vk = Json::array();
        for (std::size_t x = 0; x < t.ages(); ++x) {
            ek.push_back(orNull(t.e[k][x]));
            vk.push_back(orNull(t.v[k][x]));
        }
        e[t.stages[k]] = std::move(ek);
        v[t.stages[k]] = std::move(vk);
    }
    table["n"] = std::move(n);
    table["s"] = std::move(sx);
    table["e"] = std::move(e);
    table["v"] = std::move(v);
    j["table"] = std::move(table);
    return j;
}

std::string cohortText(const CohortLifeTable& c) {
    const CohortRecords& rec = c.records;
    const Parameters& p = c.result.parameters;
    const Statistics& s = c.result.statistics;
    std::string out = escapedControls(rec.name) + " (" + escapedControls(rec.file) + ")\n";
    out += "  n = " + std::to_string(s.n) + ": " + std::to_string(s.females) + " females, " + std::to_string(s.males) +
           " males, " + std::to_string(s.immatureDeaths) + " died before adulthood\n";
    std::string stages;
    for (const std::string& stage : rec.stages) {
        if (!stages.empty()) stages += ", ";
        stages += stage;
    }
    out += "  Immature stages: " + stages + "\n\n  Parameters\n";
    const char* noEggs = "no eggs were laid: R0 = 0";
    out += layout({row("r", p.r, "per day", noEggs),
                   {"lambda", summaryForm(p.lambda), p.r ? "per day" : "(0: no eggs were laid)"},
                   {"R0", summaryForm(p.R0), "eggs per individual"},
                   row("T", p.T, "days", noEggs),
                   {"GRR", summaryForm(p.GRR), "eggs per individual"}},
                  "    ");
    out += "\n  Statistics of the individuals (means)\n";
    std::vector<std::vector<std::string>> rows;
    for (std::size_t k = 0; k < rec.stages.size(); ++k)
        rows.push_back(
            row("duration-" + rec.stages[k], s.duration[k], "days", "no individual completed " + rec.stages[k]));
    const char* noFemale = "no female";
    const char* noMale = "no male";
    const char* noLaying = "no female laid eggs";
    rows.push_back(row("preadult", s.preadult, "days", "no individual became adult"));
    rows.push_back(row("adult_longevity_female", s.adultLongevityFemale, "days", noFemale));
    rows.push_back(row("adult_longevity_male", s.adultLongevityMale, "days", noMale));
    rows.push_back(row("longevity_female", s.longevityFemale, "days", noFemale));
    rows.push_back(row("longevity_male", s.longevityMale, "days", noMale));
    rows.push_back(row("longevity_all", s.longevityAll, "days", "no individual"));
    rows.push_back(row("fecundity", s.fecundity, "eggs per female", noFemale));
    rows.push_back(row("APOP", s.APOP, "days", noLaying));
    rows.push_back(row("TPOP", s.TPOP, "days", noLaying));
    rows.push_back(row("oviposition_days", s.ovipositionDays, "days", noLaying));
    rows.push_back({"proportion_female", summaryForm(s.proportionFemale), ""});
    rows.push_back({"proportion_male", summaryForm(s.proportionMale), ""});
    rows.push_back({"proportion_N", summaryForm(s.proportionN), ""});
    rows.push_back({"preadult_survival", summaryForm(s.preadultSurvival), ""});
    out += layout(rows, "    ");
    return out;
}

// The palette positions of the renderer: the immature stages in turn, then
// the female in vermillion and the male in blue on every chart.
int stageColour(std::size_t stage, std::size_t immature) {
    static constexpr int kImmature[] = {1, 2, 3, 5, 7, 4};
    if (stage == immature) return 6;
    if (stage == immature + 1) return 0;
    return kImmature[stage % std::size(kImmature)];
}

// A curve broken where its value does not exist, each piece under one name.
void addPieces(ChartControl& chart, const std::string& label, int colour, LineStyle style, bool right, std::size_t ages,
               const std::function<std::optional<double>(std::size_t)>& value) {
    ChartLine piece{label, {}, colour, style, right};
    for (std::size_t x = 0; x <= ages; ++x) {
        const std::optional<double> y = x < ages ? value(x) : std::nullopt;
        if (y) {
            piece.points.emplace_back(static_cast<double>(x), *y);
        } else if (!piece.points.empty()) {
            chart.lines.push_back(piece);
            piece.points.clear();
        }
    }
}

std::unique_ptr<ChartControl> stageChart(const CohortLifeTable& c, const std::string& what, const std::string& yTitle,
                                         const std::function<std::optional<double>(std::size_t, std::size_t)>& value) {
    const LifeTable& t = c.result.table;
    auto chart = std::make_unique<ChartControl>("lifetable", ControlKind::Chart);
    chart->title = c.records.name + ": " + what;
    chart->xTitle = "Age (days)";
    chart->yTitle = yTitle;
    for (std::size_t k = 0; k < t.stages.size(); ++k)
        addPieces(*chart, t.stages[k], stageColour(k, c.records.stages.size()), LineStyle::Solid, false, t.ages(),
                  [&](std::size_t x) { return t.n[k][x] > 0 ? value(k, x) : std::nullopt; });
    return chart;
}

// Every file of a run is made whole under a temporary name beside its own
// and put in place only when all of them are made: a run that fails leaves
// neither its files nor a gap where an older file of the name stood. The
// tables stay open in the safe writer until then; the figures, drawn by the
// chart renderer, wait under names of their own.
class RunFiles {
public:
    ~RunFiles() {
        std::error_code ec;
        for (const Figure& f : figures_) {
            fs::remove(f.staged, ec);
            releaseTemporary(f.slot);
        }
    }
    void text(const fs::path& path, const std::string& content) {
        tables_.push_back(std::make_unique<TextFile>(path.string(), kTitle, std::size_t{1} << 16));
        tables_.back()->write(content);
    }
    void chart(const fs::path& stem, const ChartControl& model) {
        for (const char* extension : {".png", ".svg"}) {
            fs::path path = stem;
            path += extension;
            // Far above the safe writer's own numbers, so that the names never meet.
            const std::string staged =
                temporaryName(path.parent_path().string(), 0x80000000u + static_cast<unsigned>(figures_.size()));
            figures_.push_back({staged, path, registerTemporary(staged)});
            const ChartModule& charts = chartModule();
            const char* error =
                (std::string(extension) == ".png" ? charts.savePng : charts.saveSvg)(model, staged.c_str());
            if (error != nullptr)
                throw UserError(kTitle, "Cannot write " + escapedControls(path.string()) + ": " + error);
        }
    }
    // A folder under a file's name is looked for before the first file goes
    // in place.
    void putInPlace() {
        std::vector<fs::path> all;
        for (const auto& table : tables_) all.emplace_back(table->path());
        for (const Figure& f : figures_) all.push_back(f.path);
        for (const fs::path& path : all) {
            std::error_code ec;
            if (fs::is_directory(path, ec))
                throw UserError(kTitle, "Cannot write " + escapedControls(path.string()) + ": a folder has that name");
        }
        std::vector<fs::path> placed;
        try {
            for (auto& table : tables_) {
                table->close();
                placed.push_back(table->path());
            }
            while (!figures_.empty()) {
                const Figure& f = figures_.back();
                std::error_code ec;
                fs::rename(f.staged, f.path, ec);
                if (ec)
                    throw UserError(kTitle, "Cannot write " + escapedControls(f.path.string()) + ": " + ec.message());
                releaseTemporary(f.slot);
                placed.push_back(f.path);
                figures_.pop_back();
            }
        } catch (...) {
            std::error_code ec;
            for (const fs::path& path : placed) fs::remove(path, ec);
            throw;
        }
    }

private:
    struct Figure {
        std::string staged;
        fs::path path;
        int slot;
    };
    std::vector<std::unique_ptr<TextFile>> tables_;
    std::vector<Figure> figures_;
};

void checkFolder(const std::string& dir, const char* option) {
    std::error_code ec;
    const fs::file_status status = fs::status(dir, ec);
    const std::string shown = escapedControls(dir);
    if (ec && ec != std::errc::no_such_file_or_directory)
        throw UserError(kTitle, std::string(option) + ": cannot reach the folder " + shown + ": " + ec.message());
    if (!fs::exists(status))
        throw UserError(kTitle, std::string(option) + ": the folder " + shown + " does not exist.");
    if (!fs::is_directory(status)) throw UserError(kTitle, std::string(option) + ": " + shown + " is not a folder.");
}

}  // namespace

std::string lifeTableJson(const std::vector<CohortLifeTable>& cohorts, const std::vector<std::string>& commandLine) {
    Json doc;
    doc["format"] = "lumera-lifetable";
    doc["version"] = 1;
    doc["program_version"] = kProgramVersion;
    Provenance provenance{commandLine, {}};
    for (const CohortLifeTable& c : cohorts) provenance.inputs.push_back(c.records.input);
    addProvenance(doc, provenance);
    doc["cohorts"] = Json::array();
    for (const CohortLifeTable& c : cohorts) doc["cohorts"].push_back(cohortJson(c));
    // Ids and names come from files: text that is not UTF-8 is replaced.
    return doc.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

std::string lifeTableText(const std::vector<CohortLifeTable>& cohorts) {
    std::string out;
    for (std::size_t i = 0; i < cohorts.size(); ++i) {
        if (i > 0) out += '\n';
        out += cohortText(cohorts[i]);
    }
    return out;
}

std::string ageCsv(const LifeTable& t) {
    std::string out = "age,l,E,f,m,lm\n";
    for (std::size_t x = 0; x < t.ages(); ++x)
        out += std::to_string(x) + "," + shortestForm(t.l[x]) + "," + std::to_string(t.E[x]) + "," +
               shortestForm(t.f[x]) + "," + shortestForm(t.m[x]) + "," + shortestForm(t.lm[x]) + "\n";
    return out;
}

std::string stageCsv(const LifeTable& t) {
    std::string out = "age,stage,n,s,e,v\n";
    for (std::size_t x = 0; x < t.ages(); ++x)
        for (std::size_t k = 0; k < t.stages.size(); ++k)
            out += std::to_string(x) + "," + t.stages[k] + "," + std::to_string(t.n[k][x]) + "," +
                   shortestForm(t.s[k][x]) + "," + csvNumber(t.e[k][x]) + "," + csvNumber(t.v[k][x]) + "\n";
    return out;
}

std::vector<LifeTableFigure> lifeTableCharts(const CohortLifeTable& c) {
    const LifeTable& t = c.result.table;
    const Parameters& p = c.result.parameters;
    const std::string& name = c.records.name;
    std::vector<LifeTableFigure> charts;

    charts.push_back({name + "-sxj", stageChart(c, "age-stage survival rate s_xj", "Survival rate s_xj",
                                                [&](std::size_t k, std::size_t x) { return t.s[k][x]; })});

    auto lxmx = std::make_unique<ChartControl>("lifetable", ControlKind::Chart);
    // The parameters on the title's second line: a figures box would cover the right axis.
    lxmx->title = name + ": survivorship and fecundity (R0 = " + summaryForm(p.R0) +
                  (p.r ? ", r = " + summaryForm(*p.r) + " per day)" : std::string(", no r)"));
    lxmx->xTitle = "Age (days)";
    lxmx->yTitle = "Survivorship l_x";
    lxmx->rightYTitle = "Eggs per day (f_x, m_x, l_x m_x)";
    const std::size_t female = c.records.stages.size();
    addPieces(*lxmx, "l_x (age-specific survival)", 7, LineStyle::Solid, false, t.ages(),
              [&](std::size_t x) { return t.l[x]; });
    // The egg curves where a female is alive: elsewhere they are 0 by definition.
    auto whileFemales = [&](const std::vector<double>& values) {
        return [&t, &values, female](std::size_t x) {
            return t.n[female][x] > 0 ? std::optional<double>(values[x]) : std::nullopt;
        };
    };
    addPieces(*lxmx, "f_x (female fecundity)", 6, LineStyle::Solid, true, t.ages(), whileFemales(t.f));
    addPieces(*lxmx, "m_x (age-specific fecundity)", 0, LineStyle::Dashed, true, t.ages(), whileFemales(t.m));
    addPieces(*lxmx, "l_x m_x (age-specific maternity)", 2, LineStyle::Solid, true, t.ages(), whileFemales(t.lm));
    charts.push_back({name + "-lxmx", std::move(lxmx)});

    charts.push_back({name + "-exj", stageChart(c, "age-stage life expectancy e_xj", "Life expectancy e_xj (days)",
                                                [&](std::size_t k, std::size_t x) { return t.e[k][x]; })});
    auto v = stageChart(c, "age-stage reproductive value v_xj", "Reproductive value v_xj",
                        [&](std::size_t k, std::size_t x) { return t.v[k][x]; });
    if (!p.r) v->note = "No eggs were laid:\nno r, so no v_xj";
    charts.push_back({name + "-vxj", std::move(v)});
    return charts;
}

int runLifeTable(const LifeTableOptions& o, std::ostream& out, std::ostream& err) {
    try {
        if (!o.tables.empty()) checkFolder(o.tables, "--tables");
        if (!o.plot.empty()) {
            checkFolder(o.plot, "--plot");
            chartModule();  // a build without figures says so before any work
        }
        std::vector<CohortLifeTable> cohorts;
        for (CohortRecords& records : readCohorts(o.files, kTitle)) {
            const std::string file = records.file;
            try {
                const analysis::Cohort cohort(records);
                cohorts.push_back({std::move(records), analysis::lifeTable(cohort)});
            } catch (const std::invalid_argument& e) {
                throw UserError(kTitle, escapedControls(file) + ": " + e.what());
            }
        }
        RunFiles files;
        for (const CohortLifeTable& c : cohorts) {
            if (!o.tables.empty()) {
                files.text(fs::path(o.tables) / (c.records.name + "-age.csv"), ageCsv(c.result.table));
                files.text(fs::path(o.tables) / (c.records.name + "-stage.csv"), stageCsv(c.result.table));
            }
            if (!o.plot.empty()) {
                for (const LifeTableFigure& f : lifeTableCharts(c)) files.chart(fs::path(o.plot) / f.stem, *f.chart);
            }
        }
        files.putInPlace();
        out << (o.json ? lifeTableJson(cohorts, o.commandLine) : lifeTableText(cohorts));
        return 0;
    } catch (const UserError& e) {
        err << e.title() << ": " << e.text() << '\n';
    } catch (const std::bad_alloc&) {
        err << "Not enough memory: the command needs more memory than this computer can give.\n";
    }
    return 1;
}

}  // namespace lumera::cli
