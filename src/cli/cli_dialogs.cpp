#include "cli/cli_dialogs.h"

#include <stdexcept>

namespace lumera::cli {

void CliDialogs::clearAnswers() {
    messages_.clear();
    inputs_.clear();
    files_.clear();
}

Answer CliDialogs::message(const std::string& title, const std::string& text, Buttons buttons) {
    auto it = messages_.find(title);
    if (it != messages_.end()) return it->second;
    if (buttons == Buttons::Ok || buttons == Buttons::OkCancel) {
        notices_ << title << ": " << text << '\n';
        return Answer::Ok;
    }
    throw std::logic_error("no answer for the question \"" + title + "\"");
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
