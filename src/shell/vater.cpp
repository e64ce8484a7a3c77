#include "shell/vater.h"

#include "shell/program.h"
#include "shell/texts.h"
#include "textio/rounding.h"

namespace lumera {

namespace {
int half(double v) { return static_cast<int>(roundHalfEven(v)); }
}  // namespace

Vater::Vater(Program& program) : program_(program) {
    Width = 9000;
    Height = 8400;
    Picture2.picture = "dedication";
    Picture2.width = 7200;
    Picture2.height = 5400;
    Command1.width = 8400;
    Command1.height = 1200;
    Command1.backColor = Color{255, 255, 0};
    Command1.fontSize = 11;
    Command1.caption = kFarewellQuotations[0];
}

void Vater::Form_Load() {
    Picture2.top = half((Height - Picture2.height) / 4.0);
    Picture2.left = half((Width - Picture2.width) / 2.0);
    Command1.left = half((Width - Command1.width) / 2.0);
    // The button always stands below the picture, wherever the window is.
    Command1.top = Picture2.top + Picture2.height + 300;

    RandomSource& random = program_.random();
    random.seed(static_cast<std::uint32_t>(program_.clock().now().second));
    // A single-precision draw, compared as a double against the thresholds.
    double r = static_cast<float>(random.next());
    int quotation = r < 0.15 ? 1 : r < 0.3 ? 2 : r < 0.8 ? 3 : 4;
    Command1.caption = kFarewellQuotations[quotation - 1];
    Visible = true;
}

void Vater::Command1_Click() { program_.endProgram(); }
void Vater::Form_Unload() { program_.endProgram(); }

}  // namespace lumera
