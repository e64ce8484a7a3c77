#pragma once
#include <memory>
#include <string>

#include "shell/controls.h"

namespace lumera {

class Program;

// The farewell window shown after "Quit": a picture and a wide button that
// carries one of four quotations. Its button or its close box ends the program.
class Vater {
public:
    explicit Vater(Program& program);

    void Form_Load();
    void Command1_Click();
    void Form_Unload();

    std::string Caption = "Dedication";
    int Width = 0, Height = 0;  // twips
    int ScreenTop = 0;          // the window's top on the screen, twips
    bool Visible = false;
    Color BackColor{255, 255, 255};

    Control Picture2{"Picture2", ControlKind::Picture};
    Control Command1{"Command1", ControlKind::Button};

private:
    Program& program_;
};

}  // namespace lumera
