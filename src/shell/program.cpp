#include "shell/program.h"

#include <filesystem>
#include <new>
#include <stdexcept>

#include "shell/dialog_texts.h"
#include "textio/user_error.h"

namespace lumera {

namespace fs = std::filesystem;

bool isPipe(const std::string& path) {
    // Standard input has no folder of its own either, whatever it comes from.
    if (path == "/dev/stdin") return true;
    std::error_code ec;
    return fs::status(path, ec).type() == fs::file_type::fifo;
}

std::string startingFolder(const std::string& home) {
    std::error_code ec;
    const fs::path here = fs::current_path(ec);
    if (!ec) return here.string();
    if (home.empty()) return {};
    fs::current_path(home, ec);
    return ec ? std::string() : home;
}

Program::Program(Dialogs& dialogs, Clock& clock, RandomSource& random, std::string workingFolder)
    : dialogs_(dialogs),
      clock_(clock),
      random_(random),
      workingFolder_(std::move(workingFolder)),
      form1_(*this),
      vater_(*this),
      questions_(dialogs, form1_) {}

Answer Program::Questions::message(const std::string& title, const std::string& text, Buttons buttons,
                                   std::optional<Answer> defaultButton) {
    window_.hideBusy();
    return user_.message(title, text, buttons, defaultButton);
}

std::string Program::Questions::input(const std::string& title, const std::string& prompt,
                                      const std::string& defaultText) {
    window_.hideBusy();
    return user_.input(title, prompt, defaultText);
}

std::string Program::Questions::openFile(const std::string& title, const std::string& folder) {
    window_.hideBusy();
    return user_.openFile(title, folder);
}

std::string Program::Questions::saveFile(const std::string& title, const std::string& folder, const std::string& name,
                                         const std::vector<std::string>& kinds) {
    window_.hideBusy();
    return user_.saveFile(title, folder, name, kinds);
}

std::string Program::resolve(const std::string& name) const {
    fs::path path(name);
    if (path.is_absolute() || workingFolder_.empty()) return name;
    return (fs::path(workingFolder_) / path).string();
}

std::string Program::chooseFile(const std::string& title) {
    std::string chosen = questions_.openFile(title, workingFolder_);
    if (!chosen.empty()) ++filesChosen_;
    // A pipe's folder (/dev/fd) is no place for results.
    if (!chosen.empty() && !folderPinned_ && !isPipe(chosen)) {
        std::error_code ec;
        fs::path folder = fs::absolute(fs::path(chosen), ec).parent_path();
        if (!ec) workingFolder_ = folder.string();
    }
    return chosen;
}

void Program::pinWorkingFolder(std::string folder) {
    workingFolder_ = std::move(folder);
    folderPinned_ = true;
}

void Program::openFlowRecord(const std::string& name) {
    if (flowFile_) flowFile_->close();
    flowFile_.reset();
    flowFile_ = std::make_unique<TextFile>(resolve(name), dialog_texts::kFlowErrorTitle, 1 << 16);
}

void Program::writeFlowLine(std::string_view line) {
    if (flowFile_) flowFile_->writeLine(line);
}

namespace {
constexpr const char* kMemoryText =
    "The command needs more memory than this computer can give, and was stopped.\n"
    "It left no half-written file.";
}  // namespace

Program::Outcome Program::runCommand(const std::function<void()>& command) {
    try {
        command();
    } catch (const UserError& error) {
        questions_.message(error.title(), error.text(), Buttons::Ok);
        return Outcome::Failed;
    } catch (const CommandCancelled&) {
        return Outcome::Cancelled;
    } catch (const RunCancelled& cancelled) {
        questions_.message(dialog_texts::kRunCancelledTitle,
                           cancelled.note != nullptr ? cancelled.note : dialog_texts::kRunCancelledText, Buttons::Ok);
        return Outcome::Cancelled;
    } catch (const std::bad_alloc&) {
        questions_.message(dialog_texts::kMemoryTitle, kMemoryText, Buttons::Ok);
        return Outcome::Failed;
    } catch (const std::length_error&) {
        // A size past what an allocation can ask for: memory too.
        questions_.message(dialog_texts::kMemoryTitle, kMemoryText, Buttons::Ok);
        return Outcome::Failed;
    } catch (const std::exception& error) {
        // The last resort: a slip in the program is a message, never an abort.
        questions_.message(dialog_texts::kInternalErrorTitle, std::string("internal error: ") + error.what(),
                           Buttons::Ok);
        return Outcome::Failed;
    }
    return Outcome::Done;
}

void Program::setCommand(std::string controlName, std::function<void(Program&)> command) {
    commands_[std::move(controlName)] = std::move(command);
}

Program::Outcome Program::click(std::string_view name) {
    return runCommand([&] {
        if (auto command = commands_.find(name); command != commands_.end())
            command->second(*this);
        else if (name == "Image1")
            form1_.Image1_Click();
        else if (name == "Label4")
            form1_.Label4_Click();
        else if (name == "Label6")
            form1_.Label6_Click();
        else if (name == "Command1")
            form1_.Command1_Click();
    });
}

void Program::doubleClick(std::string_view name) {
    runCommand([&] {
        if (name == "Label4")
            form1_.Label4_DblClick();
        else if (name == "txtDatafile")
            form1_.txtDatafile_DblClick();
    });
}

void Program::closeAllFiles() {
    if (!flowFile_) return;
    std::unique_ptr<TextFile> file = std::move(flowFile_);
    try {
        file->close();
    } catch (const UserError& error) {
        dialogs_.message(error.title(), error.text(), Buttons::Ok);
    }
}

void Program::endProgram() {
    closeAllFiles();
    ended_ = true;
}

}  // namespace lumera
