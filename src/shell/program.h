#pragma once
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "shell/dialogs.h"
#include "shell/form1.h"
#include "shell/progress.h"
#include "shell/run_state.h"
#include "shell/services.h"
#include "shell/vater.h"
#include "textio/text_file.h"

namespace lumera {

// A pipe (process substitution, a named pipe) rather than a file.
bool isPipe(const std::string& path);

// The folder a window starts in: the current folder, or the home folder
// when the current one is gone (deleted while a shell stood in it); the
// process then moves there, so relative names resolve against it as well.
// Empty when neither can be had.
std::string startingFolder(const std::string& home);

// One run of the program: the run state, the two windows, the open files,
// the working folder and the services the procedures ask. It lives from
// start to end; everything that outlives a command lives here.
class Program {
public:
    Program(Dialogs& dialogs, Clock& clock, RandomSource& random, std::string workingFolder);
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    RunState& state() { return state_; }
    Form1& form1() { return form1_; }
    Vater& vater() { return vater_; }
    // The user's questions; the main window clears its busy message first.
    Dialogs& dialogs() { return questions_; }
    Clock& clock() { return clock_; }
    RandomSource& random() { return random_; }
    // Where the long procedures tell how far they are: the main window,
    // unless another is installed (nullptr: the window again).
    Progress& progress() { return progress_ != nullptr ? *progress_ : form1_; }
    void setProgress(Progress* progress) { progress_ = progress; }

    // Output names that are not absolute are made in this folder; choosing a
    // file in the file-open dialogue moves it to that file's folder.
    const std::string& workingFolder() const { return workingFolder_; }
    std::string resolve(const std::string& name) const;
    // The file-open dialogue; a chosen file makes its folder the working
    // folder, unless the folder is pinned (the command line names it).
    std::string chooseFile(const std::string& title);
    // How many files the file-open dialogue has given so far.
    long filesChosen() const { return filesChosen_; }
    void pinWorkingFolder(std::string folder);

    // The program-flow record: opening it again starts a new empty file.
    void openFlowRecord(const std::string& name);
    void writeFlowLine(std::string_view line);
    bool flowRecordOpen() const { return flowFile_ != nullptr; }

    // How a command ended.
    enum class Outcome { Done, Failed, Cancelled };

    // The procedures live above the shell, so they are handed in by name:
    // a click on the control so named runs the command.
    void setCommand(std::string controlName, std::function<void(Program&)> command);

    // A click or double-click on the control of the main window so named,
    // as the window delivers it. Bad input that ends a command is shown here.
    Outcome click(std::string_view controlName);
    void doubleClick(std::string_view controlName);

    // Runs a command to its end: bad input is shown in a message box and the
    // command ends; a cancelled command ends silently.
    Outcome runCommand(const std::function<void()>& command);

    // Flushes and closes every open file.
    void closeAllFiles();
    // Ends the program: files closed, nothing lost.
    void endProgram();
    bool ended() const { return ended_; }

private:
    class Questions : public Dialogs {
    public:
        Questions(Dialogs& user, Form1& window) : user_(user), window_(window) {}
        using Dialogs::message;
        Answer message(const std::string& title, const std::string& text, Buttons buttons,
                       std::optional<Answer> defaultButton) override;
        std::string input(const std::string& title, const std::string& prompt, const std::string& defaultText) override;
        std::string openFile(const std::string& title, const std::string& folder) override;
        std::string saveFile(const std::string& title, const std::string& folder, const std::string& name,
                             const std::vector<std::string>& kinds) override;
        void beep() override { user_.beep(); }

    private:
        Dialogs& user_;
        Form1& window_;
    };

    Dialogs& dialogs_;
    Clock& clock_;
    RandomSource& random_;
    std::string workingFolder_;
    bool folderPinned_ = false;
    RunState state_;
    Form1 form1_;
    Vater vater_;
    Questions questions_;
    long filesChosen_ = 0;
    std::map<std::string, std::function<void(Program&)>, std::less<>> commands_;
    Progress* progress_ = nullptr;
    std::unique_ptr<TextFile> flowFile_;
    bool ended_ = false;
};

}  // namespace lumera
