#include "app/commands.h"

#include "cartesian/options_dialogue.h"
#include "shell/program.h"
#include "sorting/normality_test.h"

namespace lumera {

void installCommands(Program& program) {
    program.setCommand("cmdCartesianDifference", cmdCartesianDifference_Click);
    program.setCommand("cmdGeneralNormalTest", cmdGeneralNormalTest_Click);
}

}  // namespace lumera
