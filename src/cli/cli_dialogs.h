#pragma once
#include <deque>
#include <map>
#include <ostream>
#include <set>
#include <string>

#include "shell/dialogs.h"

namespace lumera::cli {

// Answers the program's questions from the command line's options: each
// question (Yes/No boxes) and input box by its title, the file dialogue from
// a queue. A question nobody answered is an internal error. A box that only
// informs (OK, or OK/Cancel) is never taken for a question: it is written to
// the error stream, unless the command line says the same thing elsewhere.
class CliDialogs : public Dialogs {
public:
    explicit CliDialogs(std::ostream& notices) : notices_(notices) {}

    void answerQuestion(const std::string& title, Answer answer) { questions_[title] = answer; }
    void answerInput(const std::string& title, const std::string& text) { inputs_[title] = text; }
    // An OK/Cancel notice of this title is answered OK without a word.
    void quietNotice(const std::string& title) { quiet_.insert(title); }
    void queueFile(const std::string& path) { files_.push_back(path); }
    void clearAnswers();

    using Dialogs::message;
    // The options answer, so the box's default button plays no part.
    Answer message(const std::string& title, const std::string& text, Buttons buttons,
                   std::optional<Answer> defaultButton) override;
    std::string input(const std::string& title, const std::string& prompt, const std::string& defaultText) override;
    std::string openFile(const std::string& title, const std::string& folder) override;
    // The command line names its files by options: never asked.
    std::string saveFile(const std::string&, const std::string&, const std::string&,
                         const std::vector<std::string>&) override {
        return {};
    }
    void beep() override {}

private:
    std::ostream& notices_;
    std::map<std::string, Answer> questions_;
    std::map<std::string, std::string> inputs_;
    std::set<std::string> quiet_;
    std::deque<std::string> files_;
};

}  // namespace lumera::cli
