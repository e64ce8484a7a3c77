#include "cli/cli_dialogs.h"

#include <stdexcept>

namespace lumera::cli {

void CliDialogs::clearAnswers() {
    questions_.clear();
    inputs_.clear();
    quiet_.clear();
    files_.clear();
}

Answer CliDialogs::message(const std::string& title, const std::string& text, Buttons buttons, std::optional<Answer>) {
    if (buttons == Buttons::Ok || buttons == Buttons::OkCancel) {
        // An error box may share a question's title; only its buttons tell.
        if (buttons == Buttons::Ok || quiet_.count(title) == 0) notices_ << title << ": " << text << '\n';
        return Answer::Ok;
    }
    auto it = questions_.find(title);
    if (it == questions_.end()) throw std::logic_error("no answer for the question \"" + title + "\"");
    return it->second;
}

std::string CliDialogs::input(const std::string& title, const std::string&, const std::string&) {
    auto it = inputs_.find(title);
    if (it == inputs_.end()) throw std::logic_error("no answer for the input box \"" + title + "\"");
    return it->second;
}

std::string CliDialogs::openFile(const std::string&, const std::string&) {
    if (files_.empty()) return {};
    std::string path = files_.front();
    files_.pop_front();
    return path;
}

}  // namespace lumera::cli
