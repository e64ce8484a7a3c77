#pragma once
#include <array>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "shell/controls.h"
#include "shell/progress.h"
#include "textio/date_time.h"

namespace lumera {

class Program;

// The main window as the procedures see it: every control with its state,
// the window's private values, and its own handlers. The Qt view draws it.
// A run's progress shows in its busy message and its clock.
class Form1 : public Progress {
    Program& program_;
    RefreshSink* sink_ = nullptr;
    std::vector<std::unique_ptr<Control>> controls_;
    std::vector<Control*> lockButtons_;

public:
    explicit Form1(Program& program);
    Form1(const Form1&) = delete;
    Form1& operator=(const Form1&) = delete;

    // Handlers.
    void Form_Load();
    void Timer1_Timer();
    void DisableAllButtonsForCartesian();
    void EnableAllButtonsForImage();
    void Image1_Click();
    void Label4_Click();
    void Label4_DblClick();
    void Label6_Click();
    void txtDatafile_DblClick();  // asks the view to open the output file's folder
    void Command1_Click();        // "Quit"
    void Form_Unload();

    // Controls, by name; throws std::out_of_range for an unknown name.
    Control& control(std::string_view name);
    const Control& control(std::string_view name) const;
    const std::vector<std::unique_ptr<Control>>& controls() const { return controls_; }
    // The result grid and the line under it that says what its cells hold.
    void setResultGridVisible(bool visible);

    // The 80 buttons that both lock and unlock handle, in their order.
    const std::vector<Control*>& lockedButtons() const { return lockButtons_; }

    void setRefreshSink(RefreshSink* sink) { sink_ = sink; }

    void runStarted(const std::string& busy) override;
    void runBegan(const std::string& began) override;
    void pairStarted(int i, int j) override;
    void detailFiles(int i, int j, int percent) override;
    void sorting(int i, int j) override;
    void pairDone(int i, int j, const DateTime& now) override;
    void sortWork(const std::string& stage, int percent) override;

    // Before every question of a procedure, and when a command ends: no box
    // stands under the busy message, which the next step's progress shows
    // again. What the sort's message hid comes back.
    void hideBusy();

    // The sort and count's marks on the window. At its start the chart of
    // the last sort goes (and the output line, when it named that sort's
    // files); at its end the output line names the three files, or the
    // chart says the sort did not finish.
    void sortStarted();
    void sortFinished(const std::vector<std::string>& files);
    void sortDidNotFinish();

    // The window itself.
    std::string Caption;
    int Width = 0, Height = 0;  // twips
    bool Visible = false;
    int TimerInterval = 0;  // milliseconds; 0 while the timer is off

    // Values private to the window.
    std::array<std::string, 105> QuoteTexts;
    DateTime StartTime;
    std::string IntroPending;
    int GreetingTick = 0;
    std::string EditionLine;
    std::string OutputFolder;  // of the last report or sort; empty until there is one
    std::string FolderToOpen;  // set by a double click, taken by the view

    // Controls the handlers name.
    Control& Label12;
    Control& Image1;
    Control& Label4;
    Control& Label14;
    Control& Label13;
    Control& Label6;
    Control& Label2;
    Control& Label10;
    Control& Label1;
    Control& lblBootBegin;
    Control& lblBootEnd;
    Control& txtDatafile;
    Control& Frame1;
    Control& Frame2;
    Control& Frame3;
    Control& Frame4;
    Control& Frame5;
    Control& Frame6;
    Control& picAuthor;
    Control& cmdCartesianDifference;
    Control& cmdGeneralNormalTest;
    Control& Command1;
    Control& Command2;
    GridControl& MSFlexGrid1;
    Control& lblGridKey;
    ChartControl& MSChart1;
    ChartControl& MSChart2;

private:
    void showBusy(const std::string& caption);
    void clearOutputLine();

    std::string busyCaption_;  // the run's message, under which each step's line goes
    // What the sort's busy message hid, shown again when it goes.
    std::vector<Control*> hiddenByBusy_;
    bool outputLineOfSort_ = false;

    template <typename T = Control>
    T& add(std::string name, ControlKind kind, std::string parent, int left, int top, int width, int height);
    void build();  // creates every control before the members below are bound
};

// The procedure list that the window shows beside the quotation.
extern const char* const kProcedureList;

}  // namespace lumera
