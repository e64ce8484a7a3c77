#pragma once
#include <deque>
#include <map>
#include <ostream>
#include <string>

#include "shell/dialogs.h"

namespace lumera::cli {

// Answers the program's questions from the command line's options: each
// message or input box by its title, the file dialogue from a queue. A
// question nobody answered is an error; a plain notice (OK buttons) is
// written to the error stream.
class CliDialogs : public Dialogs {
public:
    explicit CliDialogs(std::ostream& notices) : notices_(notices) {}

    void answerMessage(const std::string& title, Answer answer) { messages_[title] = answer; }
    void answerInput(const std::string& title, const std::string& text) { inputs_[title] = text; }
    void queueFile(const std::string& path) { files_.push_back(path); }
    void clearAnswers();

    Answer message(const std::string& title, const std::string& text, Buttons buttons) override;
    std::string input(const std::string& title, const std::string& prompt, const std::string& defaultText) override;
    std::string openFile(const std::string& title, const std::string& folder) override;
    void beep() override {}

private:
    std::ostream& notices_;
    std::map<std::string, Answer> messages_;
    std::map<std::string, std::string> inputs_;
    std::deque<std::string> files_;
};

}  // namespace lumera::cli
