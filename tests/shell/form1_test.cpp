#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <new>
#include <sstream>
#include <stdexcept>

#include "app/commands.h"
#include "shell/program.h"
#include "shell/texts.h"
#include "support/fake_services.h"
#include "support/scripted_dialogs.h"

namespace lumera {
namespace {

using test::FakeClock;
using test::FakeRandom;
using test::ScriptedDialogs;

class Form1Test : public ::testing::Test {
protected:
    Form1Test() : program(dialogs, clock, random, std::filesystem::temp_directory_path().string()) {
        installCommands(program);
    }

    Form1& form() { return program.form1(); }
    void load() { form().Form_Load(); }

    ScriptedDialogs dialogs;
    FakeClock clock;
    FakeRandom random;
    Program program;
};

TEST_F(Form1Test, LoadLeavesOnlyTheCartesianTestEnabled) {
    load();
    EXPECT_EQ(form().lockedButtons().size(), 80u);
    for (const Control* b : form().lockedButtons())
        EXPECT_EQ(b->enabled, b->name == "cmdCartesianDifference") << b->name;
    EXPECT_FALSE(form().cmdGeneralNormalTest.enabled);
    EXPECT_FALSE(form().Command1.enabled);
    EXPECT_EQ(form().Command1.caption, "Quit");
    EXPECT_EQ(form().cmdCartesianDifference.caption, "Q. DavuzuradEZ");
    EXPECT_EQ(form().cmdGeneralNormalTest.caption, "N. Sort, norm.  ");
    // The load locks, then enables the figures frame again; its buttons stay locked.
    EXPECT_TRUE(form().Frame1.enabled);
    EXPECT_TRUE(form().Frame4.enabled);
    EXPECT_FALSE(form().Frame5.enabled);
    EXPECT_TRUE(form().Frame6.enabled);
    EXPECT_FALSE(form().control("Command4").enabled);
    EXPECT_TRUE(form().Command2.visible);
    // The seven small buttons stay hidden; the lock does not show them.
    for (const char* name : {"Command21", "cmdReduceReprodPeriod", "cmdSplitStage", "cmdMultiCompCI",
                             "cmdCountBootIndNr", "cmdCreateLectureFile", "cmdSplit"})
        EXPECT_FALSE(form().control(name).visible) << name;
}

TEST_F(Form1Test, LoadSetsTheTitleConstantsAndCover) {
    load();
    const RunState& s = program.state();
    EXPECT_EQ(s.BootstrapNumber, 3000);
    EXPECT_EQ(s.CartesianProducts, 9000000);
    EXPECT_EQ(s.EditionTag, "KORVEX-MSChart-DavuzuradEZ only");
    EXPECT_EQ(s.VersionText, "Ver. 04/01/2023");
    EXPECT_EQ(form().EditionLine, "(B =3000, CPT =9000000, 3 treatments)");
    EXPECT_EQ(form().Label12.caption, "Lumera\nCartesian Paired Test Only\n(B =3000, CPT =9000000, 3 treatments)");
    EXPECT_EQ(form().Label12.fontSize, 18);
    EXPECT_EQ(form().Label12.backColor, (Color{128, 64, 0}));
    EXPECT_EQ(form().Label12.foreColor, (Color{255, 255, 0}));
    EXPECT_EQ(form().Caption, "Life table is the key to population ecology, pest management, and biological control");

    EXPECT_TRUE(form().Image1.visible);
    for (const auto& c : form().controls())
        if (c.get() != &form().Image1) {
            EXPECT_LT(c->zOrder, form().Image1.zOrder) << c->name;
        }
    EXPECT_EQ(form().Image1.top, (form().Frame3.height - form().Image1.height) / 2 + 600);
    EXPECT_EQ(form().Image1.left, (form().Frame3.width - form().Image1.width) / 2);
    EXPECT_EQ(form().picAuthor.left, form().Frame2.width - form().picAuthor.width - 100);
    EXPECT_FALSE(form().Label4.visible);
    EXPECT_FALSE(form().Label14.visible);
    EXPECT_FALSE(form().Label2.visible);
    EXPECT_FALSE(form().MSChart1.visible);
    EXPECT_EQ(form().TimerInterval, 500);
    EXPECT_EQ(form().IntroPending, "Yes");
    EXPECT_TRUE(form().Visible);

    EXPECT_EQ(form().Label14.caption, form().QuoteTexts[53]);
    EXPECT_EQ(form().Label14.fontSize, 14);
    EXPECT_EQ(std::count(form().Label14.caption.begin(), form().Label14.caption.end(), '\n'), 18);
    EXPECT_EQ(form().Label14.caption.rfind(" A. Life table analysis", 0), 0u);
    EXPECT_NE(form().Label14.caption.find("\n  Q: Cartesian paired test.\n"), std::string::npos);
    for (int slot = 0; slot < 105; ++slot) EXPECT_EQ(form().QuoteTexts[slot].empty(), slot > 27 && slot != 53) << slot;
}

TEST_F(Form1Test, QuotationOfTheDayIsEmptyFromTheTwentyEighth) {
    for (int day : {1, 9, 27, 28, 29, 31}) {
        clock.set({2026, 12, day, 9, 0, 0});
        form().Form_Load();
        EXPECT_EQ(form().Label4.caption.empty(), day >= 28) << day;
        if (day < 28) {
            EXPECT_EQ(form().Label4.caption, kQuotations[day]);
        }
    }
}

TEST_F(Form1Test, ClockClickUnlocksEverythingAndTheTestLocksAgain) {
    load();
    form().Label6_Click();
    for (const Control* b : form().lockedButtons()) EXPECT_TRUE(b->enabled) << b->name;
    EXPECT_TRUE(form().cmdGeneralNormalTest.enabled);
    EXPECT_TRUE(form().Command1.enabled);
    EXPECT_TRUE(form().Frame1.enabled);
    EXPECT_TRUE(form().Frame5.enabled);

    form().DisableAllButtonsForCartesian();
    EXPECT_FALSE(form().Command1.enabled);
    EXPECT_TRUE(form().cmdCartesianDifference.enabled);
    // The lock leaves the normality-test button as it found it.
    EXPECT_TRUE(form().cmdGeneralNormalTest.enabled);
}

TEST_F(Form1Test, GreetingCycleOverFiftyTicks) {
    load();
    std::vector<std::string> expected;
    auto repeat = [&](const char* text, int n) { expected.insert(expected.end(), n, text); };
    repeat("How do you do?", 8);
    repeat("Wie geht es Ihnen?", 7);
    repeat("Como estas?", 7);
    repeat("Comment faites-vous?", 7);
    repeat("Nin hao ma?", 15);
    repeat("How do you do?", 6);
    ASSERT_EQ(expected.size(), 50u);
    for (int tick = 0; tick < 50; ++tick) {
        form().Timer1_Timer();
        EXPECT_EQ(form().Label13.caption, expected[tick]) << "tick " << tick + 1;
    }
    EXPECT_EQ(form().GreetingTick, 7);
}

TEST_F(Form1Test, CoverLeavesAtTheFirstTickAfterFifteenSeconds) {
    load();
    clock.advance(15);
    form().Timer1_Timer();
    EXPECT_TRUE(form().Image1.visible);
    EXPECT_EQ(form().IntroPending, "Yes");
    EXPECT_EQ(form().Label6.caption, "2026-12-09 14:05:22");
    clock.advance(1);
    form().Timer1_Timer();
    EXPECT_FALSE(form().Image1.visible);
    EXPECT_TRUE(form().Label4.visible);
    EXPECT_TRUE(form().Label14.visible);
    EXPECT_EQ(form().IntroPending, "No");
}

TEST_F(Form1Test, ClickOnTheCoverRevealsAtOnce) {
    load();
    program.click("Image1");
    EXPECT_FALSE(form().Image1.visible);
    EXPECT_TRUE(form().Label4.visible);
    EXPECT_TRUE(form().Label14.visible);
    EXPECT_EQ(form().IntroPending, "Yes");
    clock.advance(20);
    form().Timer1_Timer();
    EXPECT_FALSE(form().Image1.visible);
    EXPECT_TRUE(form().Label14.visible);
    EXPECT_EQ(form().IntroPending, "No");
}

TEST_F(Form1Test, QuotationClicksDrawRoundedSlots) {
    load();
    // r x 27 rounded half to even: 0.5 goes to 0, 1.5 to 2, just below 1 to 27.
    const std::pair<double, int> draws[] = {{0.0, 0}, {0.5 / 27, 0}, {1.5 / 27, 2}, {0.99999, 27}, {0.5, 14}};
    for (auto [r, slot] : draws) {
        random.queue(r);
        program.click("Label4");
        EXPECT_EQ(form().Label4.caption, kQuotations[slot]) << r;
    }
    EXPECT_EQ(random.seeds, std::vector<std::int64_t>(5, -1));
    program.doubleClick("Label4");
    EXPECT_EQ(form().Label4.caption, kQuotations[26]);
}

TEST_F(Form1Test, QuitClosesFilesAndShowsTheFarewell) {
    load();
    form().Label6_Click();
    auto flow = std::filesystem::temp_directory_path() / "lumera_quit_flow.txt";
    program.openFlowRecord(flow.string());
    program.writeFlowLine("Sub CartesianDifference2");
    clock.set({2026, 12, 9, 14, 5, 42});
    random.queue(0.5);
    program.click("Command1");
    EXPECT_FALSE(program.flowRecordOpen());
    std::ifstream in(flow, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    EXPECT_EQ(content.str(), "Sub CartesianDifference2\r\n");
    EXPECT_FALSE(form().Visible);
    EXPECT_TRUE(program.vater().Visible);
    EXPECT_EQ(random.seeds, std::vector<std::int64_t>{42});
    EXPECT_EQ(program.vater().Command1.caption, kFarewellQuotations[2]);
    EXPECT_FALSE(program.ended());
    program.vater().Command1_Click();
    EXPECT_TRUE(program.ended());
    std::filesystem::remove(flow);
}

TEST_F(Form1Test, ClosingTheMainWindowEndsWithoutTheFarewell) {
    load();
    auto flow = std::filesystem::temp_directory_path() / "lumera_unload_flow.txt";
    program.openFlowRecord(flow.string());
    program.writeFlowLine("Sub QuickSort");
    form().Form_Unload();
    EXPECT_TRUE(program.ended());
    EXPECT_FALSE(program.vater().Visible);
    EXPECT_EQ(std::filesystem::file_size(flow), std::string("Sub QuickSort\r\n").size());
    std::filesystem::remove(flow);
}

TEST_F(Form1Test, FarewellThresholds) {
    // Each threshold belongs to the quotation above it.
    const std::pair<double, int> draws[] = {{0.0, 1}, {0.1499, 1}, {0.15, 2}, {0.2999, 2},
                                            {0.3, 3}, {0.7999, 3}, {0.8, 4},  {0.9999, 4}};
    for (auto [r, quotation] : draws) {
        random.queue(r);
        program.vater().Form_Load();
        EXPECT_EQ(program.vater().Command1.caption, kFarewellQuotations[quotation - 1]) << r;
    }
    const Vater& v = program.vater();
    EXPECT_GT(v.Command1.top, v.Picture2.top + v.Picture2.height);
    EXPECT_LE(v.Command1.top + v.Command1.height, v.Height);
    EXPECT_EQ(v.Command1.left, (v.Width - v.Command1.width) / 2);
}

// The last resort of every command: a slip is a message box and the
// window goes on, never an abort.
TEST_F(Form1Test, ACommandThatThrowsEndsWithAMessage) {
    dialogs.expectMessage("Internal error", "internal error: no such table", Answer::Ok, Buttons::Ok);
    EXPECT_EQ(program.runCommand([] { throw std::out_of_range("no such table"); }), Program::Outcome::Failed);
    dialogs.expectMessage("Not enough memory", std::nullopt, Answer::Ok, Buttons::Ok);
    EXPECT_EQ(program.runCommand([] { throw std::bad_alloc(); }), Program::Outcome::Failed);
    // A size no allocation can ask for is a lack of memory too.
    dialogs.expectMessage("Not enough memory", std::nullopt, Answer::Ok, Buttons::Ok);
    EXPECT_EQ(program.runCommand([] { std::vector<double>().reserve(std::size_t(-1)); }), Program::Outcome::Failed);
    EXPECT_FALSE(program.ended());
}

TEST_F(Form1Test, ChosenFileMovesTheWorkingFolder) {
    auto folder = std::filesystem::temp_directory_path() / "lumera_wd_test";
    std::filesystem::create_directories(folder);
    dialogs.expectOpenFile("Input treatment 1", (folder / "a.txt").string());
    dialogs.expectOpenFile("Input treatment 2", "");
    EXPECT_EQ(program.chooseFile("Input treatment 1"), (folder / "a.txt").string());
    EXPECT_EQ(program.workingFolder(), folder.string());
    EXPECT_EQ(program.chooseFile("Input treatment 2"), "");
    EXPECT_EQ(program.workingFolder(), folder.string());
    EXPECT_EQ(program.resolve("25A-Cartesian diff_0_Flow.txt"), (folder / "25A-Cartesian diff_0_Flow.txt").string());
    EXPECT_EQ(program.resolve("/abs/name.txt"), "/abs/name.txt");
    std::filesystem::remove_all(folder);
}

TEST_F(Form1Test, FlowRecordOpenedAgainStartsEmpty) {
    auto flow = std::filesystem::temp_directory_path() / "lumera_reopen_flow.txt";
    program.openFlowRecord(flow.string());
    program.writeFlowLine("Sub CartesianDifference2");
    program.openFlowRecord(flow.string());
    program.closeAllFiles();
    EXPECT_EQ(std::filesystem::file_size(flow), 0u);
    std::filesystem::remove(flow);
}

}  // namespace
}  // namespace lumera
