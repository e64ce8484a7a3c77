#pragma once
#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "shell/dialogs.h"

namespace lumera::test {

// Plays the user: every prompt the program shows must be the next one
// expected (kind, title and, when given, text); the scripted answer is
// returned. An unexpected prompt fails the test and ends the procedure.
class ScriptedDialogs : public Dialogs {
public:
    enum class Kind { Message, Input, OpenFile, SaveFile, Beep };

    struct Prompt {
        Kind kind;
        std::string title;
        std::optional<std::string> text;  // message text or input prompt; empty: not checked
        Answer answer = Answer::Ok;
        std::string reply;  // input text or chosen file
        std::optional<Buttons> buttons;
        // The default button the program must ask for; none: not checked.
        std::optional<std::optional<Answer>> defaultButton;
        // Looks at the program while the prompt is up.
        std::function<void()> whileAsked;
    };

    ~ScriptedDialogs() override { expectDone(); }

    ScriptedDialogs& expectMessage(std::string title, std::optional<std::string> text, Answer answer,
                                   std::optional<Buttons> buttons = std::nullopt) {
        script_.push_back({Kind::Message, std::move(title), std::move(text), answer, {}, buttons, {}, {}});
        return *this;
    }
    // The message added last must ask for this default button (none: the
    // box's first button).
    ScriptedDialogs& withDefault(std::optional<Answer> defaultButton) {
        script_.back().defaultButton = defaultButton;
        return *this;
    }
    // Runs `check` while the prompt added last is up, before it is answered.
    ScriptedDialogs& whileAsked(std::function<void()> check) {
        script_.back().whileAsked = std::move(check);
        return *this;
    }
    ScriptedDialogs& expectInput(std::string title, std::optional<std::string> prompt, std::string reply) {
        script_.push_back({Kind::Input, std::move(title), std::move(prompt), Answer::Ok, std::move(reply), {}, {}, {}});
        return *this;
    }
    ScriptedDialogs& expectOpenFile(std::string title, std::string chosen) {
        script_.push_back({Kind::OpenFile, std::move(title), std::nullopt, Answer::Ok, std::move(chosen), {}, {}, {}});
        return *this;
    }
    // proposed: the folder and name the dialogue must offer, joined by "/"; empty: not checked.
    ScriptedDialogs& expectSaveFile(std::string title, std::optional<std::string> proposed, std::string chosen) {
        script_.push_back(
            {Kind::SaveFile, std::move(title), std::move(proposed), Answer::Ok, std::move(chosen), {}, {}, {}});
        return *this;
    }
    // Beeps are counted, not scripted.
    int beeps() const { return beeps_; }
    // The text of the last message box shown.
    const std::string& lastText() const { return lastText_; }
    bool done() const { return script_.empty(); }
    void expectDone() {
        for (const Prompt& p : script_) ADD_FAILURE() << "prompt never shown: " << p.title;
        script_.clear();
    }

    using Dialogs::message;
    Answer message(const std::string& title, const std::string& text, Buttons buttons,
                   std::optional<Answer> defaultButton) override {
        lastText_ = text;
        const Prompt p = next(Kind::Message, title, text);
        if (p.buttons) {
            EXPECT_EQ(static_cast<int>(*p.buttons), static_cast<int>(buttons)) << title;
        }
        if (p.defaultButton) {
            EXPECT_EQ(*p.defaultButton, defaultButton) << "default button of \"" << title << "\"";
        }
        return p.answer;
    }
    std::string input(const std::string& title, const std::string& prompt, const std::string&) override {
        return next(Kind::Input, title, prompt).reply;
    }
    std::string openFile(const std::string& title, const std::string&) override {
        return next(Kind::OpenFile, title, {}).reply;
    }
    std::string saveFile(const std::string& title, const std::string& folder, const std::string& name,
                         const std::vector<std::string>& kinds) override {
        lastKinds_ = kinds;
        return next(Kind::SaveFile, title, folder + "/" + name).reply;
    }
    // The filters of the last save dialogue.
    const std::vector<std::string>& lastKinds() const { return lastKinds_; }
    void beep() override { ++beeps_; }

private:
    Prompt next(Kind kind, const std::string& title, const std::string& text) {
        if (script_.empty()) {
            ADD_FAILURE() << "unexpected prompt \"" << title << "\": " << text;
            throw std::logic_error("unexpected prompt");
        }
        Prompt p = script_.front();
        script_.pop_front();
        if (p.kind != kind || p.title != title) {
            ADD_FAILURE() << "expected prompt \"" << p.title << "\", shown \"" << title << "\": " << text;
            throw std::logic_error("wrong prompt");
        }
        if (p.text) {
            EXPECT_EQ(*p.text, text) << "text of \"" << title << "\"";
        }
        if (p.whileAsked) p.whileAsked();
        return p;
    }

    std::deque<Prompt> script_;
    int beeps_ = 0;
    std::string lastText_;
    std::vector<std::string> lastKinds_;
};

}  // namespace lumera::test
