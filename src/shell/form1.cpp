#include "shell/form1.h"

#include <cmath>
#include <filesystem>
#include <functional>
#include <stdexcept>

#include "shell/program.h"
#include "shell/texts.h"
#include "textio/number_forms.h"
#include "textio/rounding.h"

namespace lumera {

namespace {

constexpr const char* kWindowTitle =
    "Life table is the key to population ecology, pest management, and biological control";
constexpr const char* kEditionTag = "KORVEX-MSChart-DavuzuradEZ only";
constexpr const char* kVersionDate = "04/01/2023";
constexpr const char* kTitleName = "Lumera";
constexpr const char* kTitleEdition = "Cartesian Paired Test Only";
constexpr const char* kBusyDesignText = "Bootstrap is running. Please wait!";
constexpr const char* kNormalTestTip = "Read, sort and normality test for general data or bootstrap results";
constexpr const char* kGridKeyText =
    "Above the diagonal: absolute difference of the two bootstrap means. Below: P-value of the pair, "
    "* where its 95% t confidence interval of the difference lies above 0.";
constexpr const char* kOutputFileTip = "The report file of the last test";
constexpr const char* kSortBusyCaption = "I am running sort and count.\nPlease wait!\nDon't touch me!";
constexpr const char* kSortNotFinishedTitle = "No data: the last sort did not finish.";
constexpr int kProcedureListSlot = 53;
constexpr int kQuotationDoubleClickSlot = 26;
constexpr int kCoverSeconds = 15;
constexpr int kTimerMilliseconds = 500;

constexpr Color kTitleBack{128, 64, 0};
constexpr Color kYellow{255, 255, 0};

int px(int pixels) { return pixels * 15; }  // layout is drawn at 15 twips a pixel

struct ButtonSpec {
    const char* name;
    const char* caption;
    bool hidden = false;
    const char* picture = "";
};

// The buttons that lock and unlock handle, in their order; the unlock also
// enables cmdGeneralNormalTest, which stands after cmdCountBootLifeTable.
constexpr ButtonSpec kProcedureButtons[] = {
    {"cmdReadDataA1", "A1. Read data "},          {"cmdBasicRunA2", "A2. Basic Run "},
    {"cmdBootstrap", "A3. Bootstrap  "},          {"cmdSortAndCountLT", "A4. Sort LT      "},
    {"cmdReadNandF", "B. Read N, F   "},          {"cmdPairedBootTest", "C. Paired BT     "},
    {"cmdMatchedLifeTable", "D. Boot. match "},   {"FMNmatrices", "E. 3D life table  "},
    {"Command28", "F. Grouping       "},          {"cmdGeneralBootstrap", "G. Gen. boot      "},
    {"cmdHarvest", "H. Harvest      "},           {"ContributionPartition", "I. Contribution"},
    {"cmdCalculateRatio", "J. Cal. ratio     "},  {"Command44", "K. 1t to xt        "},
    {"cmdSortandCount", "L. Sort+count  "},       {"cmdCountBootLifeTable", "M. Count LT    "},
    {"cmdAddDuration", "O. + overwinter"},        {"cmdWriteSpeLifeTable", "P. Spec. boot   "},
    {"cmdCartesianDifference", "Q. DavuzuradEZ"},
};
constexpr ButtonSpec kHiddenButtons[] = {
    {"Command21", "J", true},      {"cmdReduceReprodPeriod", "-R", true}, {"cmdSplitStage", "S", true},
    {"cmdMultiCompCI", "P", true}, {"cmdCountBootIndNr", "R", true},      {"cmdCreateLectureFile", "CF", true},
    {"cmdSplit", "S", true},
};
constexpr ButtonSpec kFigureButtons[] = {
    {"Command16", "s(x,j)"},
    {"Command13", "g(x,j)"},
    {"Command14", "d(x,j)"},
    {"Command15", "f(x,j)"},
    {"Command12", "c(x,j)"},
    {"Command20", "v(x,j)"},
    {"cmdCxj", "c(x,j)"},
    {"cmdFr", "", false, "button-fecundity"},
    {"Command29", "", false, "button-survival"},
    {"Command22", "q(x,j)"},
    {"Command5", "m(x)"},
    {"Command3", "l(x)"},
    {"Command7", "l(x)m(x)"},
    {"Command17", "p(x,j)"},
    {"Command6", "v(x)"},
    {"cmdCurtailedR", "", false, "button-growth"},
    {"cmdCumuR0", "Cumu. Ro(x)"},
    {"Command32", "Stage mort."},
    {"Command10", "e(x)"},
    {"cmdmxlxmx", "m(x), l(x)m(x)"},
    {"Command31", "F(x,j)*y"},
    {"cmdShowFRegressOnLong", "Fecund vs L  "},
    {"Command34", "Survive stage x"},
    {"Command33", "Surv. to stage x"},
    {"Command35", "Stage s(x)"},
    {"cmdShowFvsAdultLong", "Fecund vs AL"},
    {"cmdShowTailedR", "Tail. r"},
    {"cmdShowTailedRo", "Tail. Ro"},
    {"Command9", "Curtailed LT"},
    {"cmdLewontin", "Lewontin"},
    {"cmdFvsConsume", "Fecund vs. C "},
    {"Command18", "SASD"},
    {"Command19", "SAD"},
    {"Command37", "SSD"},
    {"cmdShowFemaleFecundExpectancy", "Exp. fecundity"},
    {"Command42", "Quiz"},
    {"cmdFecundityVsOvidays", "Fecund vs Od"},
    {"cmdBootLx", "Boot. lx range"},
    {"cmdBootMx", "Boot. mx  range"},
    {"cmdAddDurationToStage", "Add time to imma."},
    {"cmdAddStage", "Add stage+dura."},
    {"Command36", "Adult age m(x)"},
    {"Command38", "Adult age l(x)"},
    {"Command39", "PreA+adult m(x)"},
    {"Command40", "PreA+adult l(x)"},
    {"showBootandJackResult", "Boot result"},
    {"Command26", "Quiz"},
    {"cmdShowCumuFreqinProbit", "Normality test"},
    {"cmdCalMNCforSpecR0", "A5"},
    {"Command25", "Main Ref"},
    {"Command11", "P"},
    {"Command4", "L"},
    {"Command27", "Results"},
};

// Four languages, four times of day; never shown in this edition.
constexpr const char* kGreetingPictures[16] = {
    "picGoodMorning", "picGoodAfternoon", "picGoodevening", "picGobed",        "picGutenMorgen",  "picGutenTag",
    "picGutenAbend",  "picGuteNacht",     "picBuenosDias",  "picBuenasTardes", "picBuenasNoches", "picBuenasNochesCama",
    "picZaoshang",    "picXiawu",         "picWanshang",    "picWanan",
};

// The start-up sequence skips a step that fails and goes on with the next.
void tryStep(const std::function<void()>& step) {
    try {
        step();
    } catch (const std::exception&) {
    }
}

}  // namespace

const char* const kProcedureList =
    " A. Life table analysis (individual-reared data): A1, A2, A3.\n"
    "  A4: Sort bootstrap life tables and multinomial theorem.\n"
    "  B: Life table analysis (group-reared data).\n"
    "  C: PT (1 by 1): Paired bootstrap test (Selecting data file 1 by 1.).\n"
    "  D: Match preadult and adult life table data.\n"
    "  E: Life table with offspring sex ratio dependent on female age.\n"
    "  F: Group a few consecutive stages to a single stage.\n"
    "  G: General bootstrap: Estimate SE of any data using bootstrap technique.\n"
    "  H: Calculate harvest rate and construct mass-rearing system.\n"
    "  I: Calculate contribution of different reproductive types.\n"
    "  J: Calculate ratio of two bootstrap results (e.g., hatch rate).\n"
    "  K: Change the time unit of life table data to x time units.\n"
    "  L: Read, sort and count bootstrap results.\n"
    "  M: Count bootstrap life tables (It takes extreme long time).\n"
    "  N: Sort bootstrap results and normality test.\n"
    "  O: Add overwinter time to adults of matched life table.\n"
    "  P: Write specific bootstrap life table.\n"
    "  Q: Cartesian paired test.\n";

template <typename T>
T& Form1::add(std::string name, ControlKind kind, std::string parent, int left, int top, int width, int height) {
    auto control = std::make_unique<T>(std::move(name), kind, std::move(parent));
    control->left = left;
    control->top = top;
    control->width = width;
    control->height = height;
    control->attach(&sink_);
    T& ref = *control;
    controls_.push_back(std::move(control));
    return ref;
}

Form1::Form1(Program& program)
    : program_(program),
      Label12((build(), control("Label12"))),
      Image1(control("Image1")),
      Label4(control("Label4")),
      Label14(control("Label14")),
      Label13(control("Label13")),
      Label6(control("Label6")),
      Label2(control("Label2")),
      Label10(control("Label10")),
      Label1(control("Label1")),
      lblBootBegin(control("lblBootBegin")),
      lblBootEnd(control("lblBootEnd")),
      txtDatafile(control("txtDatafile")),
      Frame1(control("Frame1")),
      Frame2(control("Frame2")),
      Frame3(control("Frame3")),
      Frame4(control("Frame4")),
      Frame5(control("Frame5")),
      Frame6(control("Frame6")),
      picAuthor(control("picAuthor")),
      cmdCartesianDifference(control("cmdCartesianDifference")),
      cmdGeneralNormalTest(control("cmdGeneralNormalTest")),
      Command1(control("Command1")),
      Command2(control("Command2")),
      MSFlexGrid1(dynamic_cast<GridControl&>(control("MSFlexGrid1"))),
      lblGridKey(control("lblGridKey")),
      MSChart1(dynamic_cast<ChartControl&>(control("MSChart1"))),
      MSChart2(dynamic_cast<ChartControl&>(control("MSChart2"))) {}

// The design of the window: what every control looks like before the load.
void Form1::build() {
    Width = px(1400);
    Height = px(912);

    auto frame = [&](const char* name, const char* caption, int l, int t, int w, int h) -> Control& {
        Control& f = add(name, ControlKind::Frame, {}, px(l), px(t), px(w), px(h));
        f.caption = caption;
        f.bold = true;
        return f;
    };
    frame("Frame6", "Clock", 616, 4, 372, 120);
    frame("Frame2", "Author", 996, 4, 396, 120);
    frame("Frame4", "Main procedures", 8, 128, 272, 392);
    frame("Frame5", "Population parameters", 8, 526, 272, 378);
    frame("Frame3", "Graph", 288, 128, 812, 628);
    frame("Frame1", "Main figures", 1108, 128, 284, 776);

    Control& title = add("Label12", ControlKind::Label, {}, px(8), px(8), px(600), px(116));
    title.alignment = Align::Center;
    title.bold = true;
    title.fontSize = 18;

    // Main procedures: two columns of ten, read top to bottom.
    auto button = [&](const ButtonSpec& spec, const char* parent, int l, int t, int w, int h) -> Control& {
        Control& b = add(spec.name, ControlKind::Button, parent, px(l), px(t), px(w), px(h));
        b.caption = spec.caption;
        b.visible = !spec.hidden;
        b.picture = spec.picture;
        return b;
    };
    int slot = 0;
    auto procedureButton = [&](const ButtonSpec& spec) -> Control& {
        int column = slot / 10, row = slot % 10;
        ++slot;
        return button(spec, "Frame4", 8 + column * 130, 24 + row * 36, 126, 32);
    };
    for (const ButtonSpec& spec : kProcedureButtons) {
        if (std::string_view(spec.name) == "cmdAddDuration")
            procedureButton({"cmdGeneralNormalTest", "N. Sort, norm.  "}).toolTip = kNormalTestTip;
        lockButtons_.push_back(&procedureButton(spec));
    }
    for (int i = 0; const ButtonSpec& spec : kHiddenButtons)
        lockButtons_.push_back(&button(spec, "Frame6", 292 + (i++ % 2) * 36, 90, 32, 24));
    for (int i = 0; const ButtonSpec& spec : kFigureButtons) {
        int column = i % 2, row = i / 2;
        ++i;
        lockButtons_.push_back(&button(spec, "Frame1", 8 + column * 136, 22 + row * 28, 132, 26));
    }
    Control& quit = button({"Command1", "Quit"}, "Frame6", 252, 20, 108, 34);
    quit.bold = true;
    lockButtons_.push_back(&quit);
    button({"Command2", "M", true}, "Frame6", 252, 60, 36, 26);

    // Clock frame.
    Control& clock = add("Label6", ControlKind::Label, "Frame6", px(10), px(22), px(232), px(24));
    clock.fontSize = 10;
    clock.backColor = Color{255, 255, 0};  // the engine alternates it pair by pair
    clock.foreColor = Color{0, 0, 0};
    clock.toolTip = "Click the clock to unlock all buttons";
    Control& greeting = add("Label13", ControlKind::Label, "Frame6", px(10), px(74), px(232), px(30));
    greeting.caption = "How do you do?";
    greeting.fontSize = 13;
    greeting.foreColor = Color{0, 96, 0};

    // Author frame.
    Control& contact = add("Label10", ControlKind::Label, "Frame2", px(10), px(22), px(270), px(90));
    // The smallest text of the window: the view never scales it below 9 device pixels.
    contact.fontSize = 9;
    Control& photo = add("picAuthor", ControlKind::Picture, "Frame2", 0, 0, px(96), px(96));
    photo.picture = "photograph";

    // Graph frame: cover picture, quotation, procedure list, busy message,
    // result grid and the two charts share it.
    Control& cover = add("Image1", ControlKind::Picture, "Frame3", 0, 0, px(560), px(340));
    cover.picture = "cover";
    Control& quote = add("Label4", ControlKind::Label, "Frame3", px(12), px(24), px(788), px(84));
    quote.fontSize = 12;
    quote.alignment = Align::Center;
    quote.foreColor = Color{0, 0, 128};
    add("Label14", ControlKind::Label, "Frame3", px(12), px(112), px(788), px(506));
    Control& busy = add("Label2", ControlKind::Label, "Frame3", px(12), px(112), px(788), px(506));
    busy.caption = kBusyDesignText;
    busy.visible = false;
    busy.alignment = Align::Center;
    busy.zOrder = 1;
    GridControl& grid = add<GridControl>("MSFlexGrid1", ControlKind::Grid, "Frame3", px(12), px(112), px(788), px(506));
    grid.visible = false;
    grid.fontSize = 14;
    // The view sets it right under the grid's cells.
    Control& key = add("lblGridKey", ControlKind::Label, "Frame3", px(12), px(574), px(788), px(44));
    key.caption = kGridKeyText;
    key.visible = false;
    key.alignment = Align::Center;
    key.fontSize = 10;
    key.foreColor = Color{64, 64, 64};
    add<ChartControl>("MSChart1", ControlKind::Chart, "Frame3", px(12), px(24), px(788), px(594));
    ChartControl& chart2 =
        add<ChartControl>("MSChart2", ControlKind::Chart, "Frame3", px(12), px(24), px(788), px(594));
    chart2.visible = false;

    // Run lines under the graph.
    add("lblBootBegin", ControlKind::Label, {}, px(288), px(762), px(404), px(22));
    add("lblBootEnd", ControlKind::Label, {}, px(696), px(762), px(404), px(22));
    Control& output = add("txtDatafile", ControlKind::TextBox, {}, px(288), px(788), px(812), px(26));
    output.toolTip = kOutputFileTip;
    Control& notice = add("Label1", ControlKind::Label, {}, px(288), px(822), px(812), px(80));
    notice.caption = kNoticeText;
    notice.fontSize = 9;
    notice.foreColor = Color{96, 96, 96};

    // Population parameters: six boxes, each under its label.
    const char* boxes[6][2] = {
        {"txtCohortsize", "Cohort size"},
        {"txtMeanfecundity", "Mean fecundity"},
        {"txtIntrinsicrate", "Intrinsic rate of increase (r)"},
        {"txtFiniteRate", "Finite rate of increase"},
        {"txtNetreproductiverate", "Net reproductive rate (R0)"},
        {"txtMeangenerationtime", "Mean generation time (T)"},
    };
    for (int i = 0; i < 6; ++i) {
        std::string label = std::string("lbl") + (boxes[i][0] + 3);
        add(label, ControlKind::Label, "Frame5", px(10), px(24 + i * 58), px(252), px(20)).caption = boxes[i][1];
        add(boxes[i][0], ControlKind::TextBox, "Frame5", px(10), px(44 + i * 58), px(252), px(26));
    }

    for (int i = 0; const char* name : kGreetingPictures) {
        Control& pic =
            add(name, ControlKind::Picture, "Frame6", px(292 + (i % 4) * 18), px(20 + (i / 4) * 16), px(16), px(14));
        pic.picture = std::string("greeting-") + std::to_string(i++);
    }
}

Control& Form1::control(std::string_view name) {
    for (auto& c : controls_)
        if (c->name == name) return *c;
    throw std::out_of_range("no control named " + std::string(name));
}

const Control& Form1::control(std::string_view name) const { return const_cast<Form1*>(this)->control(name); }

void Form1::Form_Load() {
    RunState& state = program_.state();
    tryStep([&] {
        state.EditionTag = kEditionTag;
        state.VersionDate = kVersionDate;
        state.VersionText = "Ver. " + state.VersionDate;
    });
    tryStep([&] { DisableAllButtonsForCartesian(); });
    tryStep([&] {
        state.BootstrapNumber = 3000;
        state.CartesianProducts = state.BootstrapNumber * state.BootstrapNumber;
    });
    tryStep([&] {
        Caption = kWindowTitle;
        Label12.caption = std::string(kTitleName) + "\n";
        Label12.caption = Label12.caption + kTitleEdition + "\n";
        Label12.backColor = kTitleBack;
        Label12.foreColor = kYellow;
        Label12.fontSize = 22;
    });
    tryStep([&] { cmdGeneralNormalTest.enabled = false; });
    tryStep([&] {
        EditionLine = "(B =" + plainForm(state.BootstrapNumber) + ", CPT =" + plainForm(state.CartesianProducts) +
                      ", " + plainForm(3) + " treatments)";
        Label12.fontSize = 18;
        Label12.caption += EditionLine;
    });
    tryStep([&] {
        StartTime = program_.clock().now();
        IntroPending = "Yes";
    });
    tryStep([&] {
        Frame1.enabled = true;
        Label2.visible = false;
        Label4.visible = false;
        Label14.visible = false;
        Image1.visible = true;
        Image1.top = static_cast<int>(roundHalfEven((Frame3.height - Image1.height) / 2.0 + 600));
        Image1.left = static_cast<int>(roundHalfEven((Frame3.width - Image1.width) / 2.0));
        int front = 0;
        for (const auto& c : controls_) front = std::max(front, c->zOrder);
        Image1.zOrder = front + 1;
    });
    tryStep([&] {
        for (const char* name : kGreetingPictures) control(name).visible = false;
    });
    tryStep([&] { Command2.visible = true; });
    tryStep([&] { TimerInterval = kTimerMilliseconds; });
    tryStep([&] {
        picAuthor.left = Frame2.width - picAuthor.width - 100;
        picAuthor.top = static_cast<int>(roundHalfEven((Frame2.height - picAuthor.height) / 2.0));
        Label10.caption = kContactText;
    });
    tryStep([&] {
        MSChart1.visible = false;
        MSChart1.seriesCount = 1;
        control("cmdBasicRunA2").visible = true;
        control("Command6").visible = true;
        control("Command4").enabled = false;
        control("Command21").enabled = false;
        Label13.visible = true;
    });
    tryStep([&] {
        for (int i = 0; i < kQuotationCount; ++i) QuoteTexts[i] = kQuotations[i];
        QuoteTexts[kProcedureListSlot] = kProcedureList;
    });
    tryStep([&] {
        Label14.fontSize = 14;
        Label14.backColor = kYellow;
        Label14.caption = QuoteTexts[kProcedureListSlot];
    });
    tryStep([&] { Label4.caption = QuoteTexts.at(program_.clock().now().day); });
    tryStep([&] {
        Label14.visible = false;
        Visible = true;
    });
}

void Form1::Timer1_Timer() {
    DateTime now = program_.clock().now();
    if (IntroPending == "Yes") {
        if (std::llabs(secondsBetween(StartTime, now)) > kCoverSeconds) {
            Image1.visible = false;
            Label4.visible = true;
            Label14.visible = true;
            IntroPending = "No";
        }
    }
    Label6.caption = now.text();
    if (GreetingTick <= 7)
        Label13.caption = "How do you do?";
    else if (GreetingTick <= 14)
        Label13.caption = "Wie geht es Ihnen?";
    else if (GreetingTick <= 21)
        Label13.caption = "Como estas?";
    else if (GreetingTick <= 28)
        Label13.caption = "Comment faites-vous?";
    else if (GreetingTick <= 35)
        Label13.caption = "Nin hao ma?";
    if (GreetingTick > 42) GreetingTick = 0;
    ++GreetingTick;
}

void Form1::DisableAllButtonsForCartesian() {
    Frame1.enabled = false;
    Frame4.enabled = true;
    Frame5.enabled = false;
    Frame6.enabled = true;
    for (Control* b : lockButtons_) b->enabled = (b == &cmdCartesianDifference);
}

void Form1::EnableAllButtonsForImage() {
    Frame1.enabled = true;
    Frame4.enabled = true;
    Frame5.enabled = true;
    for (Control* b : lockButtons_) b->enabled = true;
    cmdGeneralNormalTest.enabled = true;
}

void Form1::Image1_Click() {
    Image1.visible = false;
    Label4.visible = true;
    Label14.visible = true;
}

void Form1::Label4_Click() {
    RandomSource& random = program_.random();
    random.seedFromClock();
    double r = random.next();
    Label4.caption = QuoteTexts.at(static_cast<std::size_t>(roundHalfEven(r * (kQuotationCount - 1))));
}

void Form1::Label4_DblClick() { Label4.caption = QuoteTexts[kQuotationDoubleClickSlot]; }

void Form1::Label6_Click() { EnableAllButtonsForImage(); }

void Form1::txtDatafile_DblClick() { FolderToOpen = OutputFolder; }

void Form1::setResultGridVisible(bool visible) {
    MSFlexGrid1.visible = visible;
    lblGridKey.visible = visible;
}

void Form1::Command1_Click() {
    program_.closeAllFiles();
    Visible = false;
    program_.vater().Form_Load();
}

void Form1::Form_Unload() { program_.endProgram(); }

namespace {

constexpr Color kBlue{0, 0, 255};
constexpr Color kRed{255, 0, 0};
constexpr Color kWhite{255, 255, 255};
constexpr Color kBlack{0, 0, 0};
constexpr int kClockHeight = 615;
constexpr double kBusyFontSize = 36;

}  // namespace

void Form1::runStarted(const std::string& busy) {
    showBusy(busy);
    Label14.visible = false;
    setResultGridVisible(false);
    // A chart of an earlier sort and count would stand over the new results.
    MSChart1.visible = false;
    MSChart2.visible = false;
    Frame3.Refresh();
    busyCaption_ = Label2.caption;
    hiddenByBusy_.clear();
    // The last test's end and report would stand beside this one's start.
    lblBootEnd.caption.clear();
    lblBootEnd.Refresh();
    clearOutputLine();
    txtDatafile.Refresh();
}

void Form1::clearOutputLine() {
    txtDatafile.caption.clear();
    txtDatafile.toolTip = kOutputFileTip;
    OutputFolder.clear();
    outputLineOfSort_ = false;
}

void Form1::showBusy(const std::string& caption) {
    Label2.foreColor = kBlue;
    Label2.backColor = kWhite;
    Label2.fontSize = kBusyFontSize;
    Label2.caption = caption;
    Label2.visible = true;
    Label2.Refresh();
}

void Form1::sortWork(const std::string& stage, int percent) {
    if (!Label2.visible || busyCaption_ != kSortBusyCaption) {
        // A test's grid and a pair's chart stand in front of the message.
        hiddenByBusy_.clear();
        for (Control* c : {static_cast<Control*>(&MSFlexGrid1), &lblGridKey, static_cast<Control*>(&MSChart2)})
            if (c->visible) {
                c->visible = false;
                c->Refresh();
                hiddenByBusy_.push_back(c);
            }
        busyCaption_ = kSortBusyCaption;
        // The cover stands in front of everything: it goes as a click on it would.
        if (Image1.visible) {
            Image1_Click();
            for (Control* c : {&Image1, &Label4, &Label14}) c->Refresh();
        }
    }
    showBusy(busyCaption_ + "\n" + progress_texts::sortStage(stage, percent));
}

void Form1::hideBusy() {
    if (!Label2.visible) return;
    Label2.visible = false;
    Label2.Refresh();
    for (Control* c : hiddenByBusy_) {
        c->visible = true;
        c->Refresh();
    }
    hiddenByBusy_.clear();
}

void Form1::sortStarted() {
    MSChart1.clearData();
    MSChart1.visible = false;
    MSChart1.Refresh();
    if (outputLineOfSort_) {
        clearOutputLine();
        txtDatafile.Refresh();
    }
}

void Form1::sortFinished(const std::vector<std::string>& files) {
    if (files.empty()) return;
    std::string names;
    for (std::size_t k = 0; k < files.size(); ++k) {
        if (k > 0) names += k + 1 == files.size() ? " and " : ", ";
        names += '"';
        names += std::filesystem::path(files[k]).filename().string();
        names += '"';
    }
    const std::string folder = std::filesystem::path(files.front()).parent_path().string();
    // The folder first: a long line shows its start.
    txtDatafile.caption = "Output files in ";
    txtDatafile.caption += folder;
    txtDatafile.caption += ": ";
    txtDatafile.caption += names;
    txtDatafile.toolTip.clear();
    for (const std::string& f : files) txtDatafile.toolTip += (txtDatafile.toolTip.empty() ? "" : "\n") + f;
    OutputFolder = folder;
    outputLineOfSort_ = true;
    txtDatafile.Refresh();
}

void Form1::sortDidNotFinish() {
    hideBusy();
    MSChart1.clearData();
    MSChart1.title = kSortNotFinishedTitle;
    MSChart1.visible = true;
    MSChart2.visible = false;
    // In front of the cover too, as the finished sort's chart would be.
    Image1.visible = false;
    Label4.visible = true;
    Label14.visible = true;
    for (Control* c : {static_cast<Control*>(&MSChart1), static_cast<Control*>(&MSChart2), &Image1, &Label4, &Label14})
        c->Refresh();
}

void Form1::runBegan(const std::string& began) {
    lblBootBegin.caption = began;
    lblBootBegin.Refresh();
    Label6.height = kClockHeight;
    Label6.Refresh();
}

void Form1::pairStarted(int i, int j) {
    Label2.caption = busyCaption_ + "\n" + progress_texts::comparing(i, j);
    Label2.fontSize = kBusyFontSize;
    Label2.foreColor = Label2.foreColor == kRed ? kBlue : kRed;
    Label2.Refresh();
}

void Form1::detailFiles(int i, int j, int percent) {
    Label2.caption =
        busyCaption_ + "\n" + progress_texts::comparing(i, j) + "\n" + progress_texts::detailFiles(percent);
    Label2.Refresh();
}

void Form1::sorting(int i, int j) {
    Label2.caption = busyCaption_ + "\n" + progress_texts::comparing(i, j) + "\n" + progress_texts::kSorting;
    Label2.fontSize = kBusyFontSize;
    Label2.Refresh();
}

void Form1::pairDone(int i, int j, const DateTime& now) {
    Label6.caption = now.text() + "\nTreat " + std::to_string(i) + " to treat " + std::to_string(j);
    if (Label6.backColor == kYellow) {
        Label6.backColor = kRed;
        Label6.foreColor = kYellow;
    } else if (Label6.backColor == kRed) {
        Label6.backColor = kYellow;
        Label6.foreColor = kBlack;
    }
    Label6.Refresh();
}

}  // namespace lumera
