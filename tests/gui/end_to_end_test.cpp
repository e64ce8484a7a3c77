// The program as a user meets it: the real main window and the real Qt
// dialogs, driven by mouse and keyboard on the sample data.
#include <gtest/gtest.h>

#include <QDesktopServices>
#include <QDialog>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPaintEvent>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QUrl>
#include <QtCharts/QAreaSeries>
#include <QtCharts/QChartView>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>
#include <QtCharts/QXYSeries>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "app/commands.h"
#include "gui/form1_view.h"
#include "gui/qt_dialogs.h"
#include "gui/run_progress.h"
#include "gui/vater_view.h"
#include "shell/dialog_texts.h"
#include "shell/program.h"
#include "shell/progress.h"
#include "support/fake_services.h"
#include "support/modal_driver.h"
#include "support/qt_app.h"
#include "support/treatment_files.h"

namespace lumera::gui {
namespace {

namespace fs = std::filesystem;
using test::ModalDriver;

const fs::path kExamples = LUMERA_EXAMPLES_DIR;
using Box = QMessageBox;

const QString kDetailTitle = QStringLiteral("Do you need detailed info?");
const QString kDetailText = QStringLiteral(
    "Do you need the detailed info?\nIn general you can choose \"No\". If you choose \"Yes\", there will be many huge "
    "files.\n\nAttention: this is only for results of B =3000, and CPT =9000000");
const QString kReversedTitle = QStringLiteral("Reversed sort");
const QString kReversedText = QStringLiteral("Do you want to do reversed sort?");
const QString kCountTitle = QStringLiteral("Read data file one by one for paired comparison using Cartesian Product");
const QString kCountPrompt = QStringLiteral("Enter number of treatments");
const QString kTransformTitle = QStringLiteral("Transformation?");
const QString kTransformPrompt = QStringLiteral("No transformation (0), Arcsine (1), or logit (2) transformation?");
const QString kCodeTitle = QStringLiteral("Add a code to the output filename?");
const QString kCodePrompt = QStringLiteral(
    "If you want to add a specific code for this analysis, please enter the code and press OK. If not, just click on "
    "OK.");
const QString kDoneText = QStringLiteral("Analysis completed! Congratulation!\n\nThe output file is: ");

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find("\r\n", start);
        if (end == std::string::npos) end = text.size();
        out.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return out;
}

bool startsWith(const std::string& s, const std::string& prefix) { return s.rfind(prefix, 0) == 0; }

// The numbers standing in a line after its last "=" (or after its frame character).
std::vector<double> numbersIn(std::string s) {
    std::size_t eq = s.rfind('=');
    if (eq != std::string::npos) s = s.substr(eq + 1);
    for (char& c : s)
        if (c == '*' || c == '#') c = ' ';
    std::istringstream in(s);
    std::vector<double> v;
    std::string word;
    while (in >> word) v.push_back(std::strtod(word.c_str(), nullptr));
    return v;
}

// Comma-separated fields of a record, quotes removed.
std::vector<std::string> fields(const std::string& record) {
    std::vector<std::string> out;
    std::string field;
    bool quoted = false;
    for (char c : record) {
        if (c == '"')
            quoted = !quoted;
        else if (c == ',' && !quoted)
            out.push_back(std::exchange(field, {}));
        else
            field += c;
    }
    out.push_back(field);
    return out;
}

// What the report says about one pair.
struct PairBlock {
    std::string first, second;
    double meanFirst = 0, meanSecond = 0;
    double tLower = 0;
    double p = 0;
};

std::vector<PairBlock> pairBlocks(const std::vector<std::string>& report) {
    std::vector<PairBlock> blocks;
    for (std::size_t k = 0; k < report.size(); ++k) {
        const std::string& l = report[k];
        if (startsWith(l, "Comparison between ")) {
            std::string names = l.substr(19);
            std::size_t vs = names.find(" vs ");
            blocks.push_back({names.substr(0, vs), names.substr(vs + 4)});
        } else if (blocks.empty()) {
            continue;
        } else if (startsWith(l, "Bootstrap mean =")) {
            std::vector<double> m = numbersIn(l);
            if (m.size() == 2) blocks.back().meanFirst = m[0], blocks.back().meanSecond = m[1];
        } else if (startsWith(l, "* Bootstrap t confidence") && k + 2 < report.size()) {
            std::vector<double> t = numbersIn(report[k + 2]);
            if (t.size() == 2) blocks.back().tLower = t[0];
        } else if (startsWith(l, "# P-value (based on")) {
            std::vector<double> p = numbersIn(l);
            if (!p.empty()) blocks.back().p = p.back();
        }
    }
    return blocks;
}

// Rounded as the grid shows a difference of the means.
double gridDifference(double v) {
    double scale = v < 1 ? 1000 : v <= 100 ? 100 : 1;
    return std::nearbyint(v * scale) / scale;
}

// Stands in for the desktop's file manager.
class FolderOpener : public QObject {
    Q_OBJECT
public:
    FolderOpener() { QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "open"); }
    ~FolderOpener() override { QDesktopServices::unsetUrlHandler(QStringLiteral("file")); }
    std::vector<QUrl> opened;
public slots:
    void open(const QUrl& url) { opened.push_back(url); }
};

// Watches, for every dialog over the window that closes, whether the whole
// window, every control in it included, is painted before the next dialog
// shows. Nothing else would paint it then: the handler holds the thread
// until the next dialog's event loop, too late on a screen. (Painting the
// window alone leaves out the controls that fill their own background: on
// a screen, the closed box then stays visible over them.)
class WholeRepaints : public QObject {
public:
    explicit WholeRepaints(QWidget* window) : window_(window) { QApplication::instance()->installEventFilter(this); }
    ~WholeRepaints() override { QApplication::instance()->removeEventFilter(this); }

    int closed() const { return closed_; }
    // The titles of the dialogs after which it was not.
    std::vector<std::string> missed() {
        settle();
        return missed_;
    }

protected:
    bool eventFilter(QObject* object, QEvent* event) override {
        if (!object->isWidgetType()) return false;
        auto* w = static_cast<QWidget*>(object);
        const bool dialog = w->isWindow() && qobject_cast<QDialog*>(w) != nullptr;
        if (event->type() == QEvent::Hide && dialog) {
            settle();
            pending_ = w->windowTitle().toStdString();
            painted_ = QRegion();
            ++closed_;
        } else if (event->type() == QEvent::Show && dialog) {
            settle();
        } else if (event->type() == QEvent::Paint && pending_ && (w == window_ || window_->isAncestorOf(w))) {
            painted_ += static_cast<QPaintEvent*>(event)->region().translated(w->mapTo(window_, QPoint(0, 0)));
        }
        return false;
    }

private:
    void settle() {
        if (pending_ && !(QRegion(window_->rect()) - painted_).isEmpty()) missed_.push_back(*pending_);
        pending_.reset();
    }

    QWidget* window_;
    std::optional<std::string> pending_;  // the dialog closed last, until the next shows
    QRegion painted_;
    std::vector<std::string> missed_;
    int closed_ = 0;
};

class EndToEndTest : public ::testing::Test {
protected:
    EndToEndTest()
        : folder(testName()),
          start((folder.path() / "start").string()),
          data((folder.path() / "data").string()),
          program(dialogs, clock, random, start) {
        test::qtApp();
        // A platform's own file dialogue cannot be driven; the widget one can.
        QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
        fs::create_directories(start);
        fs::create_directories(data);
        // As the program starts: load, the window drawn from the model, the
        // dialogs over it.
        installCommands(program);
        program.form1().Form_Load();
        window = std::make_unique<Form1View>(program, &dialogs);
        window->syncAll();
        window->show();
    }

    static std::string testName() {
        return std::string("e2e_") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    }

    // A sample file copied where the run may write beside it.
    std::string sample(const std::string& name) {
        fs::path from = kExamples / name;
        fs::path to = fs::path(data) / name;
        std::error_code error;
        fs::copy_file(from, to, fs::copy_options::overwrite_existing, error);
        if (error) ADD_FAILURE() << "sample file " << from << ": " << error.message();
        return to.string();
    }

    template <typename W>
    W* widget(const char* name) {
        auto* w = qobject_cast<W*>(window->widgetFor(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    bool shown(const char* name) { return window->widgetFor(name)->isVisible(); }

    // The control the user sees at the middle of the named one.
    std::string seenAtMiddleOf(const char* name) {
        QWidget* w = window->widgetFor(name);
        QWidget* frame = w->parentWidget();
        QWidget* seen = frame->childAt(w->geometry().center());
        while (seen != nullptr && seen->parentWidget() != frame) seen = seen->parentWidget();
        return seen != nullptr ? seen->objectName().toStdString() : std::string("nothing");
    }

    // The sort and count of a general data file at 0 decimals, to the chart;
    // "No serial numbers" given by a click, or by Enter.
    ModalDriver& sortGeneralData(ModalDriver& driver, const std::string& input, bool serialsByEnter = false,
                                 Box::StandardButton frequency = Box::Yes) {
        const QString kindText = QStringLiteral(
            "You can use this button to sort a data file.\n"
            "Choose a general data file or a bootstrap resampling file to sort.Don't choose a \"sorted\" file. It "
            "is already sorted. You don't need to sort it again.  You can use it to prepare figures.\n\n"
            "Yes: General integer data (Individual developmental duration, longevity, fecundity, etc). You will get "
            "the sorted and counted files. You will see the frequency distribution. No bootstrap technique will be "
            "used. The output files are not for paired test.\n\n"
            "No: Bootstrap results (e.g., Effec Boot-A1a). Your bootstrap results will be sorted and counted.\n\n"
            "Cancel: PBT or CPT results (e.g., file no. 24 or 25). \n\n");
        const QString decimals = QStringLiteral("Limit the decimal points?");
        driver
            .message("Sort and count general data or bootstrap results", kindText, Box::Yes | Box::No | Box::Cancel,
                     Box::Yes)
            .message("Data formate",
                     "Are there serial numbers in your data file (Yes: i and x(i), No: x(i) only.\n"
                     "Most bootstrap results are without serial numbers.\n"
                     "Bootstrap results of population parameters are offered in both formats.",
                     Box::Yes | Box::No, Box::No);
        if (serialsByEnter) driver.byEnter();
        return driver
            .openFile("Open a general data file to sort", QString::fromStdString(program.workingFolder()),
                      QString::fromStdString(input))
            .input(decimals,
                   "Limit of decimal points (0, 1, 2, 3, 4, 5 and -1).\n[Enter -1 (minus 1) to use double precision.]",
                   "-1", QStringLiteral("0"))
            .message(decimals, "Bootstrap results sorted and data file ready!", Box::Ok | Box::Cancel, Box::Ok)
            .message(decimals, "File of data counts is ready!", Box::Ok | Box::Cancel, Box::Ok)
            .message("Frequency distribution", "Do you want to see the frequency distribution?", Box::Yes | Box::No,
                     frequency);
    }

    // The Cartesian test of the two sample bean and pea files, every question
    // answered No or left at its default; whileRunning looks at the window
    // as the report's code is asked.
    void compareBeanAndPea(ModalDriver& driver, const std::string& firstFolder, const std::string& bean,
                           const std::string& reportName, std::function<void()> whileRunning) {
        driver.message(kDetailTitle, kDetailText, Box::Yes | Box::No, Box::No)
            .message(kReversedTitle, kReversedText, Box::Yes | Box::No, Box::No)
            .input(kCountTitle, kCountPrompt, "2")
            .input(kTransformTitle, kTransformPrompt, "0")
            .openFile("Input treatment 1", QString::fromStdString(firstFolder), QString::fromStdString(bean))
            .openFile("Input treatment 2", QString::fromStdString(data), QStringLiteral("rm-pea.txt"))
            .input(kCodeTitle, kCodePrompt, "1")
            .whileShown([whileRunning](QWidget*) { whileRunning(); })
            .message("Task completed", kDoneText + QString::fromStdString(reportName), Box::Ok | Box::Cancel, Box::Ok);
        driver.run([&] { QTest::mouseClick(widget<QPushButton>("cmdCartesianDifference"), Qt::LeftButton); });
    }

    test::TempFolder folder;
    std::string start;  // the folder the program starts in
    std::string data;   // the folder the sample files are chosen from
    QtDialogs dialogs;
    test::FakeClock clock;
    test::FakeRandom random;
    Program program;
    std::unique_ptr<Form1View> window;
};

TEST_F(EndToEndTest, ThreeTreatmentsFromTheButtonToReportGridAndCompletion) {
    std::vector<std::string> files = {sample("r0-18C.txt"), sample("r0-24C.txt"), sample("r0-30C.txt")};
    ASSERT_FALSE(HasFailure());
    const std::string lastCode = fields(lines(test::readFile(files[2])).at(0)).at(5);
    // The fake clock reads 2026-12-09 14:05:07 throughout.
    const std::string reportName = "25A-Cartesian diff results-" + lastCode + "_2026129-1457.txt";

    QPushButton* run = widget<QPushButton>("cmdCartesianDifference");
    ASSERT_EQ(run->text(), "Q. DavuzuradEZ");
    ASSERT_TRUE(run->isEnabled());

    ModalDriver driver;
    driver.message(kDetailTitle, kDetailText, Box::Yes | Box::No, Box::Yes)
        .whileShown([&](QWidget*) {
            // The window shows the locked state and the revealed list behind the question.
            EXPECT_FALSE(shown("Image1"));
            EXPECT_TRUE(shown("Label14"));
            EXPECT_FALSE(widget<QPushButton>("cmdGeneralNormalTest")->isEnabled());
        })
        .message("Do you need flow record?", "Do you need the record of program flow?", Box::Yes | Box::No, Box::Yes)
        .message("Detailed differences",
                 "Do you need detailed differences between treatments and normal density curves?\n"
                 "   This option is useful to teachers to show the normal curve.\n"
                 "   If you are comparing more treatments, there will be many files.\n"
                 "\n"
                 "Yes: Write detailed differences between treatments and normal density curves.\n"
                 "No: Don't write detailed differences between treatments.\n",
                 Box::Yes | Box::No, Box::No)
        .message(kReversedTitle, kReversedText, Box::Yes | Box::No, Box::No)
        .input(kCountTitle, kCountPrompt, "2", QStringLiteral("3"))
        .input(kTransformTitle, kTransformPrompt, "0")
        // The first dialogue opens where the program started; each choice
        // moves the working folder, so the later ones need only a name.
        .openFile("Input treatment 1", QString::fromStdString(start), QString::fromStdString(files[0]))
        .openFile("Input treatment 2", QString::fromStdString(data), QStringLiteral("r0-24C.txt"))
        .openFile("Input treatment 3", QString::fromStdString(data), QStringLiteral("r0-30C.txt"))
        .input(kCodeTitle, kCodePrompt, "1")
        .whileShown([&](QWidget*) {
            // The engine has run to its last pair, the grid not yet shown;
            // the busy message has gone before the question.
            auto* clockLabel = widget<QLabel>("Label6");
            EXPECT_TRUE(clockLabel->text().endsWith("Treat 2 to treat 3")) << clockLabel->text().toStdString();
            EXPECT_FALSE(widget<QLabel>("Label2")->isVisible());
            EXPECT_EQ(widget<QLabel>("lblBootBegin")->text(), "Cartesian paired test began at:2026-12-09 14:05:07");
            EXPECT_FALSE(shown("MSFlexGrid1"));
        })
        .message("Task completed", kDoneText + QString::fromStdString(reportName), Box::Ok | Box::Cancel, Box::Ok)
        .whileShown([&](QWidget*) {
            // The report is written and the grid is up before the box.
            EXPECT_TRUE(fs::exists(fs::path(data) / reportName));
            EXPECT_TRUE(shown("MSFlexGrid1"));
            EXPECT_FALSE(shown("Label2"));
        });
    driver.run([&] { QTest::mouseClick(run, Qt::LeftButton); });
    ASSERT_FALSE(driver.failed());

    // The report, beside the last file chosen.
    const fs::path reportPath = fs::path(data) / reportName;
    ASSERT_TRUE(fs::exists(reportPath)) << reportPath;
    const std::vector<std::string> report = lines(test::readFile(reportPath.string()));
    ASSERT_GT(report.size(), 100u);
    EXPECT_EQ(report.front(), "Program: Lumera (KORVEX-MSChart-DavuzuradEZ only).");
    EXPECT_NE(std::find(report.begin(), report.end(), "Number of treatments = 3 "), report.end());
    EXPECT_NE(std::find(report.begin(), report.end(), "Parameter: " + lastCode), report.end());
    EXPECT_EQ(report[report.size() - 3], "Cartesian paired test began at:2026-12-09 14:05:07");
    EXPECT_EQ(report[report.size() - 2], "Cartesian paired test ended at:2026-12-09 14:05:07");
    EXPECT_EQ(report[report.size() - 1], "Total time = 0 sec.");

    // Three pairs (1, 2), (1, 3), (2, 3), ordered by descending bootstrap mean.
    const std::vector<PairBlock> pairs = pairBlocks(report);
    ASSERT_EQ(pairs.size(), 3u);
    const std::string name[4] = {"", pairs[0].first, pairs[0].second, pairs[1].second};
    EXPECT_EQ(pairs[1].first, name[1]);
    EXPECT_EQ(pairs[2].first, name[2]);
    EXPECT_EQ(pairs[2].second, name[3]);
    EXPECT_GE(pairs[0].meanFirst, pairs[0].meanSecond);
    EXPECT_GE(pairs[2].meanFirst, pairs[2].meanSecond);
    for (const PairBlock& b : pairs) {
        EXPECT_GE(b.p, 0) << b.first << " vs " << b.second;
        EXPECT_LE(b.p, 1) << b.first << " vs " << b.second;
    }

    // The grid on the window says what the report says.
    auto* grid = widget<QTableWidget>("MSFlexGrid1");
    ASSERT_TRUE(grid->isVisible());
    ASSERT_EQ(grid->rowCount(), 4);
    ASSERT_EQ(grid->columnCount(), 4);
    auto cell = [grid](int r, int c) {
        QTableWidgetItem* item = grid->item(r, c);
        return item ? item->text().toStdString() : std::string("<no item>");
    };
    const int pairAt[4][4] = {{}, {0, 0, 0, 1}, {0, 0, 0, 2}, {}};
    for (int k = 1; k <= 3; ++k) {
        EXPECT_EQ(cell(0, k), name[k]);
        EXPECT_EQ(cell(k, 0), name[k]);
        EXPECT_EQ(cell(k, k), " ----");
    }
    for (int i = 1; i <= 3; ++i)
        for (int j = i + 1; j <= 3; ++j) {
            const PairBlock& b = pairs[pairAt[i][j]];
            const std::string upper = cell(i, j);
            EXPECT_DOUBLE_EQ(std::strtod(upper.c_str(), nullptr), gridDifference(std::fabs(b.meanFirst - b.meanSecond)))
                << "difference cell (" << i << ", " << j << "): " << upper;
            EXPECT_EQ(upper.front(), ' ') << upper;
            const std::string lower = cell(j, i);
            EXPECT_DOUBLE_EQ(std::strtod(lower.c_str(), nullptr), std::nearbyint(b.p * 10000) / 10000)
                << "P-value cell (" << j << ", " << i << "): " << lower;
            EXPECT_EQ(lower.back() == '*', b.tLower > 0) << "star of cell (" << j << ", " << i << "): " << lower;
        }

    // The rest of the window after the run.
    EXPECT_EQ(widget<QLineEdit>("txtDatafile")->text().toStdString(), "Output file is: " + reportName);
    EXPECT_TRUE(shown("lblBootEnd"));
    EXPECT_EQ(widget<QLabel>("lblBootEnd")->text(), "Cartesian paired test ended at:2026-12-09 14:05:07");
    EXPECT_TRUE(run->isEnabled());
    EXPECT_FALSE(widget<QPushButton>("cmdGeneralNormalTest")->isEnabled());
    QPushButton* quit = widget<QPushButton>("Command1");
    EXPECT_FALSE(quit->isEnabled());

    // Quit, after the clock unlocks it: the flow record, opened where the
    // program started, is complete; the farewell window ends the program.
    QTest::mouseClick(window->widgetFor("Label6"), Qt::LeftButton);
    ASSERT_TRUE(quit->isEnabled());
    random.queue(0.5);
    QTest::mouseClick(quit, Qt::LeftButton);
    EXPECT_FALSE(window->isVisible());
    ASSERT_NE(window->vaterView(), nullptr);
    EXPECT_TRUE(window->vaterView()->isVisible());
    const std::vector<std::string> flow =
        lines(test::readFile((fs::path(start) / "25A-Cartesian diff_0_Flow.txt").string()));
    std::vector<std::string> entered;
    for (const std::string& l : flow)
        if (l != "Sub QuickSort") entered.push_back(l);
    EXPECT_EQ(entered, (std::vector<std::string>{"Sub CartesianDifference2", "Sub PrintMultiCIofDifference",
                                                 "Sub PrintPairTestTable", "Sub ShowMultiCIofDifference"}));
    QTest::mouseClick(window->vaterView()->button(), Qt::LeftButton);
    EXPECT_TRUE(program.ended());
}

TEST_F(EndToEndTest, SortAndCountOfGeneralDataFromTheUnlockToFilesAndChart) {
    const std::string input = sample("development-days.txt");
    ASSERT_FALSE(HasFailure());
    const std::vector<std::string> inputLines = lines(test::readFile(input));
    ASSERT_FALSE(inputLines.empty());
    const std::vector<std::string> head = fields(inputLines[0]);
    ASSERT_GE(head.size(), 3u);
    const std::string project = head[0];
    const std::string variable = head[2];
    // The values up to the end marker, and how often each occurs.
    std::vector<double> values;
    for (std::size_t k = 1; k < inputLines.size(); ++k) {
        double v = std::strtod(inputLines[k].c_str(), nullptr);
        if (v == -1) break;
        values.push_back(v);
    }
    ASSERT_GT(values.size(), 10u);
    std::map<double, int> tally;
    for (double v : values) ++tally[v];
    ASSERT_LT(tally.size(), values.size()) << "the sample is meant to hold ties";

    QPushButton* sortButton = widget<QPushButton>("cmdGeneralNormalTest");
    ASSERT_FALSE(sortButton->isEnabled());
    QTest::mouseClick(window->widgetFor("Label6"), Qt::LeftButton);
    ASSERT_TRUE(sortButton->isEnabled()) << "a click on the clock unlocks the buttons";
    EXPECT_EQ(sortButton->text(), "N. Sort, norm.  ");
    EXPECT_FALSE(shown("MSChart1"));

    ModalDriver driver;
    sortGeneralData(driver, input).whileShown([&](QWidget*) {
        EXPECT_TRUE(shown("MSChart1")) << "the chart is shown before the question";
    });
    driver.run([&] { QTest::mouseClick(sortButton, Qt::LeftButton); });
    ASSERT_FALSE(driver.failed());

    // Three files beside the input, named for 0 decimals.
    const std::string stem = (fs::path(data) / "development-days").string();
    const std::string sortedPath = stem + "-2_Sorted-0 decimals.txt";
    const std::string percentilePath = stem + "-1_0.025, 0.5 and 0.975 " + variable + "0 decimals.txt";
    const std::string countsPath = stem + "-3_Sorted and counts-0 decimals.txt";
    ASSERT_TRUE(fs::exists(sortedPath)) << sortedPath;
    ASSERT_TRUE(fs::exists(percentilePath)) << percentilePath;
    ASSERT_TRUE(fs::exists(countsPath)) << countsPath;

    const std::string n = std::to_string(values.size());
    const std::vector<std::string> sorted = lines(test::readFile(sortedPath));
    ASSERT_EQ(sorted.size(), 4 + values.size());
    EXPECT_EQ(sorted[0], "\"Project: " + project + "\"");
    EXPECT_EQ(sorted[1], "\"Sample size =\"," + n);
    std::vector<double> expectSorted = values;
    std::sort(expectSorted.begin(), expectSorted.end());
    for (std::size_t i = 0; i < values.size(); ++i) {
        std::vector<std::string> f = fields(sorted[4 + i]);
        ASSERT_EQ(f.size(), 3u) << sorted[4 + i];
        EXPECT_EQ(f[0], std::to_string(i + 1));
        const long serial = std::strtol(f[1].c_str(), nullptr, 10);
        ASSERT_TRUE(serial >= 1 && serial <= static_cast<long>(values.size())) << sorted[4 + i];
        EXPECT_EQ(std::strtod(f[2].c_str(), nullptr), expectSorted[i]) << sorted[4 + i];
        EXPECT_EQ(values[static_cast<std::size_t>(serial - 1)], expectSorted[i]) << "serial of " << sorted[4 + i];
    }

    const std::vector<std::string> percentiles = lines(test::readFile(percentilePath));
    const std::size_t expectedPercentiles = (values.size() % 40 == 0 ? 2 : 0) + (values.size() % 2 == 0 ? 1 : 0);
    EXPECT_EQ(percentiles.size(), expectedPercentiles);
    for (const std::string& l : percentiles) EXPECT_TRUE(startsWith(l, "\"The 0.")) << l;

    const std::vector<std::string> counts = lines(test::readFile(countsPath));
    ASSERT_EQ(counts.size(), 5 + tally.size());
    EXPECT_EQ(counts[0], "\"Project: " + project + "\"");
    EXPECT_EQ(counts[3], "\"Total classes =\"," + std::to_string(tally.size()));
    std::size_t k = 5;
    for (auto [value, count] : tally) {
        const std::vector<std::string> f = fields(counts[k]);
        ASSERT_EQ(f.size(), 3u) << counts[k];
        EXPECT_EQ(f[0], std::to_string(k - 4)) << counts[k];
        EXPECT_EQ(std::strtod(f[1].c_str(), nullptr), value) << counts[k];
        EXPECT_EQ(f[2], std::to_string(count)) << counts[k];
        ++k;
    }

    // The chart on the window: one bar per class at its count, the curve over them.
    auto* chartView = widget<QChartView>("MSChart1");
    ASSERT_TRUE(chartView->isVisible());
    QChart* chart = chartView->chart();
    double sum = 0, squares = 0;
    for (double v : values) sum += v;
    const double mean = sum / static_cast<double>(values.size());
    for (double v : values) squares += (v - mean) * (v - mean);
    // The source on the first line, the figures on the second.
    const QString source = QString::fromStdString(variable) + QStringLiteral(" in development-days.txt");
    const QString figures = QStringLiteral("N = %1, mean = %2, SD = %3")
                                .arg(values.size())
                                .arg(mean, 0, 'g', 4)
                                .arg(std::sqrt(squares / (values.size() - 1)), 0, 'g', 4);
    EXPECT_EQ(program.form1().MSChart1.title, (source + ": " + figures).toStdString());
    const QString title = chart->title();
    EXPECT_TRUE(title.contains(source + "<br>" + figures)) << title.toStdString();
    ASSERT_EQ(chart->series().size(), 2);
    auto* bars = qobject_cast<QAreaSeries*>(chart->series()[0]);
    auto* curve = qobject_cast<QLineSeries*>(chart->series()[1]);
    ASSERT_NE(bars, nullptr);
    ASSERT_NE(curve, nullptr);
    EXPECT_GT(curve->count(), 10);
    const QList<QPointF> outline = bars->upperSeries()->points();
    ASSERT_EQ(static_cast<std::size_t>(outline.size()), 4 * tally.size());
    std::size_t bar = 0;
    for (auto [value, count] : tally) {
        const QPointF left = outline[static_cast<qsizetype>(4 * bar + 1)];
        const QPointF right = outline[static_cast<qsizetype>(4 * bar + 2)];
        EXPECT_DOUBLE_EQ((left.x() + right.x()) / 2, value) << "bar " << bar;
        EXPECT_EQ(left.y(), count) << "bar at " << value;
        ++bar;
    }
    QList<QAbstractAxis*> xAxes = chart->axes(Qt::Horizontal);
    QList<QAbstractAxis*> yAxes = chart->axes(Qt::Vertical);
    ASSERT_EQ(xAxes.size(), 1);
    ASSERT_EQ(yAxes.size(), 1);
    EXPECT_EQ(xAxes[0]->titleText(), "Value");
    EXPECT_EQ(yAxes[0]->titleText(), "Count");

    // A click on the chart shows the normal probability plot of the same
    // values, another click the bars again.
    const ChartControl& model = program.form1().MSChart1;
    EXPECT_NE(model.note.find("Shapiro-Wilk\n  W = 0.9526\n  P = "), std::string::npos) << model.note;
    EXPECT_NE(model.note.find("Anderson-Darling\n  A\u00b2 = 6.885\n  P = "), std::string::npos) << model.note;
    if (const char* dir = std::getenv("LUMERA_SCREENSHOT_DIR")) chartView->grab().save(QString(dir) + "/frequency.png");
    QTest::mouseClick(chartView->viewport(), Qt::LeftButton);
    ASSERT_TRUE(chartView->chart()->title().contains(source + " (normal probability plot)<br>" + figures))
        << chartView->chart()->title().toStdString();
    auto* points = qobject_cast<QXYSeries*>(chartView->chart()->series().value(0));
    ASSERT_NE(points, nullptr);
    EXPECT_EQ(static_cast<std::size_t>(points->count()), values.size());
    std::vector<double> ordered = values;
    std::sort(ordered.begin(), ordered.end());
    for (qsizetype k = 1; k < points->count(); ++k) {
        EXPECT_LT(points->at(k - 1).x(), points->at(k).x());
        EXPECT_EQ(points->at(k).y(), ordered[static_cast<std::size_t>(k)]);
    }
    if (const char* dir = std::getenv("LUMERA_SCREENSHOT_DIR")) window->grab().save(QString(dir) + "/probability.png");
    QTest::mouseClick(chartView->viewport(), Qt::LeftButton);
    EXPECT_EQ(chartView->chart()->title(), title);

    // The chart takes the cover away at once, uncovering the quotation and
    // the list; the chart stays in front of them, also after the cover's
    // fifteen seconds are up.
    EXPECT_FALSE(shown("Image1"));
    EXPECT_TRUE(shown("Label14"));
    EXPECT_EQ(seenAtMiddleOf("MSChart1"), "MSChart1");
    clock.advance(16);
    QTest::qWait(600);
    EXPECT_FALSE(shown("Image1"));
    EXPECT_EQ(seenAtMiddleOf("MSChart1"), "MSChart1");
}

TEST_F(EndToEndTest, AComparisonAfterTheChartShowsItsGridInFront) {
    const std::string days = sample("development-days.txt");
    const std::string bean = sample("rm-bean.txt");
    sample("rm-pea.txt");
    ASSERT_FALSE(HasFailure());
    QTest::mouseClick(window->widgetFor("Image1"), Qt::LeftButton);
    QTest::mouseClick(window->widgetFor("Label6"), Qt::LeftButton);

    ModalDriver sort;
    sortGeneralData(sort, days);
    sort.run([&] { QTest::mouseClick(widget<QPushButton>("cmdGeneralNormalTest"), Qt::LeftButton); });
    ASSERT_FALSE(sort.failed());
    ASSERT_EQ(seenAtMiddleOf("MSChart1"), "MSChart1");

    const std::string reportName = "25A-Cartesian diff results-Pea_2026129-1457.txt";
    ModalDriver compare;
    compareBeanAndPea(compare, data, bean, reportName,
                      [&] { EXPECT_NE(seenAtMiddleOf("MSChart1"), "MSChart1") << "the earlier chart is out of view"; });
    ASSERT_FALSE(compare.failed());

    auto* grid = widget<QTableWidget>("MSFlexGrid1");
    ASSERT_TRUE(grid->isVisible());
    ASSERT_EQ(grid->rowCount(), 3);
    EXPECT_EQ(grid->item(0, 1)->text(), "Bean");
    EXPECT_EQ(seenAtMiddleOf("MSFlexGrid1"), "MSFlexGrid1") << "the new result, not the old chart, is in view";

    // A click on the pair's P cell puts its distribution in the grid's place;
    // a click on the chart brings the grid back, and so does Esc.
    auto clickCell = [grid](int r, int c) {
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualItemRect(grid->item(r, c)).center());
    };
    auto* pairView = widget<QChartView>("MSChart2");
    const std::string cellBefore = grid->item(2, 1)->text().toStdString();
    clickCell(2, 1);
    ASSERT_TRUE(shown("MSChart2"));
    EXPECT_FALSE(shown("MSFlexGrid1"));
    EXPECT_EQ(seenAtMiddleOf("MSChart2"), "MSChart2");
    const QString title = pairView->chart()->title();
    EXPECT_TRUE(title.contains(" - ") && title.contains("mean difference") && title.contains("P = "))
        << title.toStdString();
    QStringList names;
    for (QAbstractSeries* series : pairView->chart()->series()) names << series->name();
    EXPECT_EQ(names.count("t limits (95%)"), 2) << names.join(", ").toStdString();
    EXPECT_EQ(names.count("Percentile limits (95%)"), 2) << names.join(", ").toStdString();
    if (const char* dir = std::getenv("LUMERA_SCREENSHOT_DIR")) window->grab().save(QString(dir) + "/pair-chart.png");
    QTest::mouseClick(pairView->viewport(), Qt::LeftButton);
    EXPECT_FALSE(shown("MSChart2"));
    ASSERT_TRUE(shown("MSFlexGrid1"));
    EXPECT_EQ(seenAtMiddleOf("MSFlexGrid1"), "MSFlexGrid1");
    EXPECT_EQ(grid->item(2, 1)->text().toStdString(), cellBefore) << "the grid is as it was";

    clickCell(1, 2);
    ASSERT_TRUE(shown("MSChart2"));
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : window.get(), Qt::Key_Escape);
    EXPECT_FALSE(shown("MSChart2"));
    EXPECT_TRUE(shown("MSFlexGrid1"));
    clickCell(1, 1);  // the diagonal holds no pair
    EXPECT_FALSE(shown("MSChart2"));
    EXPECT_TRUE(shown("MSFlexGrid1"));
}

TEST_F(EndToEndTest, TheGridSaysWhatItHoldsAndTheOutputLineLeadsToItsFolder) {
    const std::string bean = sample("rm-bean.txt");
    sample("rm-pea.txt");
    ASSERT_FALSE(HasFailure());
    FolderOpener opener;
    auto* output = widget<QLineEdit>("txtDatafile");
    // No report yet: a double click opens nothing.
    QTest::mouseDClick(output, Qt::LeftButton);
    EXPECT_TRUE(opener.opened.empty());
    EXPECT_EQ(output->toolTip(), "The report file of the last test");
    EXPECT_FALSE(shown("lblGridKey"));

    const std::string reportName = "25A-Cartesian diff results-Pea_2026129-1457.txt";
    ModalDriver compare;
    compareBeanAndPea(compare, start, bean, reportName,
                      [&] { EXPECT_FALSE(shown("lblGridKey")) << "no key without its grid"; });
    ASSERT_FALSE(compare.failed());

    auto* grid = widget<QTableWidget>("MSFlexGrid1");
    auto* key = widget<QLabel>("lblGridKey");
    ASSERT_TRUE(grid->isVisible());
    ASSERT_TRUE(key->isVisible());
    EXPECT_EQ(key->text(),
              "Above the diagonal: absolute difference of the two bootstrap means. Below: P-value of the pair, * where "
              "its 95% t confidence interval of the difference lies above 0.");
    // The cells centred in the grid's area, the key right under them and inside it.
    QWidget* cells = grid->viewport();
    int cellsHeight = 0;
    for (int r = 0; r < grid->rowCount(); ++r) cellsHeight += grid->rowHeight(r);
    EXPECT_NEAR(cells->geometry().center().x(), grid->rect().center().x(), 1);
    EXPECT_GE(cells->geometry().top(), 0);
    const QRect keyRect = key->geometry();
    EXPECT_GE(keyRect.top(), cells->geometry().top() + cellsHeight);
    EXPECT_LE(keyRect.top(), cells->geometry().top() + cellsHeight + 20);
    EXPECT_TRUE(grid->rect().contains(keyRect));
    EXPECT_LE(key->heightForWidth(key->width()), keyRect.height()) << "the whole text shows";
    // The procedure list coming back behind the grid (the cover's timer) stays hidden around the cells.
    program.form1().Label14.visible = true;
    window->syncAll();
    const QImage frame = window->widgetFor("Frame3")->grab().toImage();
    EXPECT_NE(frame.pixelColor(grid->geometry().topLeft() + QPoint(4, 4)), QColor(255, 255, 0));

    // The output line names the report; its tooltip gives the whole path, and
    // a double click opens the folder it is in.
    const fs::path reportPath = fs::path(data) / reportName;
    ASSERT_TRUE(fs::exists(reportPath));
    EXPECT_EQ(output->text().toStdString(), "Output file is: " + reportName);
    EXPECT_EQ(output->toolTip().toStdString(), reportPath.string());
    QTest::mouseDClick(output, Qt::LeftButton);
    ASSERT_EQ(opener.opened.size(), 1u);
    EXPECT_EQ(fs::path(opener.opened[0].toLocalFile().toStdString()), fs::path(data));
    if (const char* dir = std::getenv("LUMERA_SCREENSHOT_DIR")) window->grab().save(QString(dir) + "/grid.png");
}

// Enter gives No to the three questions whose Yes costs gigabytes or
// misreads a file, and the first button elsewhere; after every box the whole
// window is drawn again at once.
TEST_F(EndToEndTest, EnterSaysNoToTheCostlyQuestionsAndTheWindowIsRedrawnAfterEachBox) {
    const std::string bean = sample("rm-bean.txt");
    sample("rm-pea.txt");
    const std::string days = sample("development-days.txt");
    ASSERT_FALSE(HasFailure());
    WholeRepaints repaints(window.get());
    const QString kFlowText = QStringLiteral("Do you need the record of program flow?");
    const QString kDifferencesText = QString::fromUtf8(dialog_texts::kDifferencesText);
    const std::string reportName = "25A-Cartesian diff results-Pea_2026129-1457.txt";
    auto compareBeanAndPea = [&](ModalDriver& driver, const QString& firstFolder) -> ModalDriver& {
        return driver.input(kCountTitle, kCountPrompt, "2")
            .input(kTransformTitle, kTransformPrompt, "0")
            .openFile("Input treatment 1", firstFolder, QString::fromStdString(bean))
            .openFile("Input treatment 2", QString::fromStdString(data), QStringLiteral("rm-pea.txt"))
            .input(kCodeTitle, kCodePrompt, "1");
    };
    QPushButton* run = widget<QPushButton>("cmdCartesianDifference");

    // No detail (the next question is the last option), and the reversed sort.
    ModalDriver first;
    first.message(kDetailTitle, kDetailText, Box::Yes | Box::No, Box::No).byEnter();
    first.message(kReversedTitle, kReversedText, Box::Yes | Box::No, Box::Yes).byEnter();
    compareBeanAndPea(first, QString::fromStdString(start))
        .message("Task completed", kDoneText + QString::fromStdString(reportName), Box::Ok | Box::Cancel, Box::Ok)
        .byEnter();
    first.run([&] { QTest::mouseClick(run, Qt::LeftButton); });
    ASSERT_FALSE(first.failed());
    EXPECT_EQ(program.state().DetailedInfo, Flag::No);
    EXPECT_EQ(program.state().ReversedSort, Flag::Yes);
    ASSERT_TRUE(fs::remove(fs::path(data) / reportName));

    // Detail wanted, the flow record by Enter, no detailed differences by Enter.
    ModalDriver second;
    second.message(kDetailTitle, kDetailText, Box::Yes | Box::No, Box::Yes)
        .message("Do you need flow record?", kFlowText, Box::Yes | Box::No, Box::Yes)
        .byEnter()
        .message("Detailed differences", kDifferencesText, Box::Yes | Box::No, Box::No)
        .byEnter()
        .message(kReversedTitle, kReversedText, Box::Yes | Box::No, Box::No);
    compareBeanAndPea(second, QString::fromStdString(data))
        .message("Task completed", kDoneText + QString::fromStdString(reportName), Box::Ok | Box::Cancel, Box::Ok);
    second.run([&] { QTest::mouseClick(run, Qt::LeftButton); });
    ASSERT_FALSE(second.failed());
    EXPECT_EQ(program.state().FlowRecord, Flag::Yes);
    EXPECT_EQ(program.state().DetailedDifferences, Flag::No);
    for (const auto& e : fs::directory_iterator(data))
        EXPECT_EQ(e.path().filename().string().find(" to "), std::string::npos) << "detail file " << e.path();

    // No serial numbers by Enter.
    QTest::mouseClick(window->widgetFor("Label6"), Qt::LeftButton);
    ModalDriver sort;
    sortGeneralData(sort, days, true);
    sort.run([&] { QTest::mouseClick(widget<QPushButton>("cmdGeneralNormalTest"), Qt::LeftButton); });
    ASSERT_FALSE(sort.failed());
    EXPECT_EQ(program.state().WithSerialNumbers, Flag::No);
    EXPECT_TRUE(fs::exists(fs::path(data) / "development-days-2_Sorted-0 decimals.txt"));

    EXPECT_GE(repaints.closed(), 25);
    EXPECT_EQ(repaints.missed(), std::vector<std::string>{});
}

// A run writing detail files shows a progress box, the one thing that takes
// input meanwhile; Cancel in the second pair removes that pair's files,
// keeps the first pair's, writes no report, and the window goes on.
TEST_F(EndToEndTest, CancellingADetailRunFromItsProgressBox) {
    // B = 800: 640,000 differences a pair, long enough to press Cancel in.
    std::vector<std::string> files;
    for (int t = 0; t < 3; ++t) {
        test::TreatmentSpec spec;
        spec.name = std::string("T") + char('A' + t);
        spec.code = std::string(1, char('A' + t));
        for (int r = 0; r < 800; ++r) spec.replicates.push_back(3 - t + r * 0.0001);
        files.push_back(test::writeTreatment((fs::path(data) / ("t" + std::to_string(t + 1) + ".txt")).string(), spec));
    }
    QPushButton* run = widget<QPushButton>("cmdCartesianDifference");
    const QString progressTitle = QString::fromUtf8(dialog_texts::kRunProgressTitle);
    QString cancelledAt;
    int ticksAtFirstSight = -1;
    bool nestedRun = false;

    ModalDriver driver;
    driver.message(kDetailTitle, kDetailText, Box::Yes | Box::No, Box::Yes)
        .message("Do you need flow record?", "Do you need the record of program flow?", Box::Yes | Box::No, Box::No)
        .message("Detailed differences", QString::fromUtf8(dialog_texts::kDifferencesText), Box::Yes | Box::No,
                 Box::Yes)
        .message(kReversedTitle, kReversedText, Box::Yes | Box::No, Box::No)
        .input(kCountTitle, kCountPrompt, "2", QStringLiteral("3"))
        .input(kTransformTitle, kTransformPrompt, "0")
        .openFile("Input treatment 1", QString::fromStdString(start), QString::fromStdString(files[0]))
        .openFile("Input treatment 2", QString::fromStdString(data), QStringLiteral("t2.txt"))
        .openFile("Input treatment 3", QString::fromStdString(data), QStringLiteral("t3.txt"))
        .progress(progressTitle,
                  [&](QWidget* box) {
                      if (ticksAtFirstSight < 0) ticksAtFirstSight = program.form1().GreetingTick;
                      cancelledAt = static_cast<ProgressBox*>(box)->line();
                      return cancelledAt.contains("(Comparing 1 with 3)");
                  })
        .whileShown([&](QWidget* box) {
            EXPECT_EQ(QApplication::activeModalWidget(), box);
            // A second click on the window starts nothing, and the clock's
            // ticks wait, however long the box is up.
            // (Through the window system, as a user's click comes: a click
            // sent to the widget itself would pass any modal box.)
            QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {},
                              run->mapTo(window.get(), run->rect().center()));
            QTest::qWait(1200);
            nestedRun = program.state().DetailedInfo != Flag::Yes;
            EXPECT_EQ(program.form1().GreetingTick, ticksAtFirstSight);
        })
        .message("Run cancelled", QString::fromUtf8(dialog_texts::kRunCancelledText), Box::Ok, Box::Ok);
    driver.run([&] { QTest::mouseClick(run, Qt::LeftButton); });
    ASSERT_FALSE(driver.failed());
    EXPECT_FALSE(nestedRun);
    EXPECT_TRUE(cancelledAt.startsWith("(Comparing 1 with 3)")) << cancelledAt.toStdString();

    // The first pair's six files stay; nothing of the second or third pair,
    // no report, no temporary file.
    int firstPair = 0;
    for (const auto& e : fs::directory_iterator(data)) {
        const std::string name = e.path().filename().string();
        if (name.rfind("t", 0) == 0 && name.size() == 6) continue;  // the treatment files
        EXPECT_NE(name.find("-1 to 2"), std::string::npos) << name;
        firstPair += name.find("-1 to 2") != std::string::npos;
    }
    EXPECT_EQ(firstPair, 6);
    EXPECT_EQ(window->runProgress().box(), nullptr);
    EXPECT_FALSE(shown("Label2"));

    // The window goes on: the next run, without detail, is whole.
    ModalDriver next;
    next.message(kDetailTitle, kDetailText, Box::Yes | Box::No, Box::No)
        .message(kReversedTitle, kReversedText, Box::Yes | Box::No, Box::No)
        .input(kCountTitle, kCountPrompt, "2")
        .input(kTransformTitle, kTransformPrompt, "0")
        .openFile("Input treatment 1", QString::fromStdString(data), QStringLiteral("t1.txt"))
        .openFile("Input treatment 2", QString::fromStdString(data), QStringLiteral("t2.txt"))
        .input(kCodeTitle, kCodePrompt, "1")
        .message("Task completed", kDoneText + "25A-Cartesian diff results-B_2026129-1457.txt", Box::Ok | Box::Cancel,
                 Box::Ok);
    next.run([&] { QTest::mouseClick(run, Qt::LeftButton); });
    ASSERT_FALSE(next.failed());
    EXPECT_TRUE(shown("MSFlexGrid1"));
}

// A sort after a test and an earlier sort: nothing of the earlier chart
// stays on the screen, and the output line names the new sort's files.
TEST_F(EndToEndTest, ASortAfterATestLeavesNoEarlierChartAndNamesItsFiles) {
    const std::string days = sample("development-days.txt");
    const std::string bean = sample("rm-bean.txt");
    sample("rm-pea.txt");
    ASSERT_FALSE(HasFailure());
    const std::string other = (fs::path(data) / "weights.txt").string();
    {
        std::ofstream out(other, std::ios::binary);
        out << "\"Lab\",\"x\",\"Weight\"\r\n";
        for (int v : {12, 14, 14, 15, 17, 17, 17, 19}) out << v << "\r\n";
        out << "-1\r\n";
    }
    FolderOpener opener;
    QTest::mouseClick(window->widgetFor("Label6"), Qt::LeftButton);
    ModalDriver first;
    sortGeneralData(first, days);
    first.run([&] { QTest::mouseClick(widget<QPushButton>("cmdGeneralNormalTest"), Qt::LeftButton); });
    ASSERT_FALSE(first.failed());
    auto* chartView = widget<QChartView>("MSChart1");
    ASSERT_FALSE(chartView->chart()->series().isEmpty());

    const std::string reportName = "25A-Cartesian diff results-Pea_2026129-1457.txt";
    ModalDriver compare;
    compareBeanAndPea(compare, data, bean, reportName, [&] {
        EXPECT_FALSE(shown("Label2")) << "no busy message under the code question";
        EXPECT_FALSE(shown("MSChart1"));
    });
    ASSERT_FALSE(compare.failed());
    auto* output = widget<QLineEdit>("txtDatafile");
    ASSERT_EQ(output->text().toStdString(), "Output file is: " + reportName);

    QTest::mouseClick(window->widgetFor("Label6"), Qt::LeftButton);
    ModalDriver second;
    sortGeneralData(second, other, false, Box::No);
    second.run([&] { QTest::mouseClick(widget<QPushButton>("cmdGeneralNormalTest"), Qt::LeftButton); });
    ASSERT_FALSE(second.failed());

    // The chart the edition shows before its question is up, and empty.
    ASSERT_TRUE(chartView->isVisible());
    EXPECT_TRUE(chartView->chart()->series().isEmpty());
    EXPECT_FALSE(chartView->chart()->title().contains("development-days")) << chartView->chart()->title().toStdString();
    EXPECT_EQ(seenAtMiddleOf("MSChart1"), "MSChart1");
    const std::string stem = (fs::path(data) / "weights").string();
    const std::vector<std::string> files = {stem + "-2_Sorted-0 decimals.txt",
                                            stem + "-1_0.025, 0.5 and 0.975 Weight0 decimals.txt",
                                            stem + "-3_Sorted and counts-0 decimals.txt"};
    EXPECT_EQ(output->text().toStdString(), "Output files in " + data +
                                                ": \"weights-2_Sorted-0 decimals.txt\", \"weights-1_0.025, 0.5 and "
                                                "0.975 Weight0 decimals.txt\" and \"weights-3_Sorted and counts-0 "
                                                "decimals.txt\"");
    EXPECT_EQ(output->cursorPosition(), 0) << "the line shows its start, the folder";
    EXPECT_EQ(output->toolTip().toStdString(), files[0] + "\n" + files[1] + "\n" + files[2]);
    for (const std::string& f : files) EXPECT_TRUE(fs::exists(f)) << f;
    QTest::mouseDClick(output, Qt::LeftButton);
    ASSERT_EQ(opener.opened.size(), 1u);
    EXPECT_EQ(fs::path(opener.opened[0].toLocalFile().toStdString()), fs::path(data));
    if (const char* dir = std::getenv("LUMERA_SCREENSHOT_DIR")) window->grab().save(QString(dir) + "/after-sort.png");
}

// The sort's core reports its work a few times a second and asks between
// blocks whether to stop; a stand-in does so here. A short stretch of work
// shows the busy message only; past about a second the progress box comes,
// and its Cancel stops the sort, which ends with a note, no error, and a
// chart that says the sort did not finish.
TEST_F(EndToEndTest, ALongSortShowsItsProgressBoxAndCancelStopsItQuietly) {
    const std::string days = sample("development-days.txt");
    ASSERT_FALSE(HasFailure());
    qint64 boxAfterMs = -1;
    bool stopped = false;
    QElapsedTimer longWork;
    program.setCommand("cmdGeneralNormalTest", [&](Program& p) {
        runSortAndCount(p, [&](Program& q) {
            const std::string path = q.chooseFile(dialog_texts::kGeneralFileTitle);
            if (path.empty()) return;
            q.state().FileStem = path.substr(0, path.size() - 4);
            QElapsedTimer shortWork;
            shortWork.start();
            while (shortWork.elapsed() < 600) {
                q.progress().sortWork(progress_texts::kSortReading, static_cast<int>(shortWork.elapsed() / 20));
                QTest::qSleep(20);
            }
            q.dialogs().input(dialog_texts::kDecimalsTitle, dialog_texts::kDecimalsPrompt, "-1");
            // The second counts anew after the question: 600 ms more are not yet a long sort.
            longWork.start();
            while (longWork.elapsed() < 10000) {
                q.progress().sortWork(progress_texts::kSortSorting, 40 + static_cast<int>(longWork.elapsed() / 250));
                if (q.progress().cancelRequested()) {
                    stopped = true;
                    throw RunCancelled{};
                }
                QTest::qSleep(20);
            }
        });
    });
    QTest::mouseClick(window->widgetFor("Label6"), Qt::LeftButton);

    ModalDriver driver;
    driver
        .openFile("Open a general data file to sort", QString::fromStdString(program.workingFolder()),
                  QString::fromStdString(days))
        .input(QStringLiteral("Limit the decimal points?"),
               "Limit of decimal points (0, 1, 2, 3, 4, 5 and -1).\n[Enter -1 (minus 1) to use double precision.]",
               "-1")
        .whileShown([&](QWidget*) { EXPECT_FALSE(shown("Label2")) << "the busy message goes before a question"; })
        .progress(QString::fromUtf8(dialog_texts::kSortProgressTitle),
                  [&](QWidget* box) {
                      if (boxAfterMs < 0) boxAfterMs = longWork.elapsed();
                      auto* busy = widget<QLabel>("Label2");
                      EXPECT_TRUE(busy->isVisible());
                      EXPECT_TRUE(busy->text().startsWith("I am running sort and count."))
                          << busy->text().toStdString();
                      EXPECT_TRUE(busy->text().contains("(Sorting: ")) << busy->text().toStdString();
                      const QString line = static_cast<ProgressBox*>(box)->line();
                      EXPECT_TRUE(line.startsWith("(Sorting: ")) << line.toStdString();
                      if (const char* dir = std::getenv("LUMERA_SCREENSHOT_DIR"))
                          window->grab().save(QString(dir) + "/long-sort.png");
                      return longWork.elapsed() > 1500;
                  })
        .message(QString::fromUtf8(dialog_texts::kRunCancelledTitle),
                 QString::fromUtf8(dialog_texts::kSortCancelledText), Box::Ok, Box::Ok);
    driver.run([&] { QTest::mouseClick(widget<QPushButton>("cmdGeneralNormalTest"), Qt::LeftButton); });
    ASSERT_FALSE(driver.failed());
    EXPECT_TRUE(stopped);
    EXPECT_GE(boxAfterMs, 900) << "the box came before a second of work";
    EXPECT_LT(boxAfterMs, 3000);
    EXPECT_LT(longWork.elapsed(), 9000) << "Cancel did not stop the sort";

    EXPECT_EQ(window->runProgress().box(), nullptr);
    EXPECT_FALSE(shown("Label2"));
    auto* chartView = widget<QChartView>("MSChart1");
    ASSERT_TRUE(chartView->isVisible());
    EXPECT_TRUE(chartView->chart()->series().isEmpty());
    // The chart's title puts what follows its first colon on a line of its own.
    const QString title = chartView->chart()->title();
    EXPECT_TRUE(title.contains("No data<br>the last sort did not finish.")) << title.toStdString();
    EXPECT_EQ(program.form1().MSChart1.title, "No data: the last sort did not finish.");
    EXPECT_EQ(widget<QLineEdit>("txtDatafile")->text(), "");
    if (const char* dir = std::getenv("LUMERA_SCREENSHOT_DIR"))
        window->grab().save(QString(dir) + "/cancelled-sort.png");
}

}  // namespace
}  // namespace lumera::gui

#include "end_to_end_test.moc"
