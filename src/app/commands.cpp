#include "app/commands.h"

#include "cartesian/options_dialogue.h"
#include "report/pair_chart.h"
#include "shell/program.h"
#include "sorting/normality_test.h"

namespace lumera {

void installCommands(Program& program) {
    program.setCommand("cmdCartesianDifference", cmdCartesianDifference_Click);
    program.setCommand("cmdGeneralNormalTest", cmdGeneralNormalTest_Click);
    program.setCommand("MSFlexGrid1", MSFlexGrid1_Click);
    program.setCommand("MSChart2", MSChart2_Click);
    program.setCommand("MSChart1", MSChart1_Click);
}

}  // namespace lumera
