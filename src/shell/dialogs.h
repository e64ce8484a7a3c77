#pragma once
#include <optional>
#include <string>
#include <vector>

namespace lumera {

enum class Buttons { Ok, OkCancel, YesNo, YesNoCancel };
enum class Answer { Ok, Cancel, Yes, No };

// Every question the program asks goes through here, so each procedure runs
// unchanged in the window, on the command line and under scripted tests.
class Dialogs {
public:
    virtual ~Dialogs() = default;
    // Modal message box; returns the button pressed (closing a Yes/No/Cancel
    // box counts as Cancel). defaultButton: the answer Enter gives; none: the
    // box's first button.
    virtual Answer message(const std::string& title, const std::string& text, Buttons buttons,
                           std::optional<Answer> defaultButton) = 0;
    Answer message(const std::string& title, const std::string& text, Buttons buttons) {
        return message(title, text, buttons, std::nullopt);
    }
    // Input box; returns the entered text, empty on Cancel.
    virtual std::string input(const std::string& title, const std::string& prompt, const std::string& defaultText) = 0;
    // File-open dialogue starting in folder; returns the chosen path, empty on Cancel.
    virtual std::string openFile(const std::string& title, const std::string& folder) = 0;
    // File-save dialogue starting in folder with `name` proposed; kinds are
    // the filters offered, as "PNG picture (*.png)", the first one chosen.
    // Returns the chosen path (with the chosen kind's ending when the name
    // had none of theirs), empty on Cancel.
    virtual std::string saveFile(const std::string& title, const std::string& folder, const std::string& name,
                                 const std::vector<std::string>& kinds) = 0;
    virtual void beep() = 0;
};

}  // namespace lumera
