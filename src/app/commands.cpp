#include "app/commands.h"

#include "cartesian/options_dialogue.h"
#include "report/pair_chart.h"
#include "shell/dialog_texts.h"
#include "shell/program.h"
#include "sorting/normality_test.h"
#include "sorting/sort_and_count.h"

namespace lumera {

void runSortAndCount(Program& program, const std::function<void(Program&)>& command) {
    Form1& form = program.form1();
    form.sortStarted();
    const long chosenBefore = program.filesChosen();
    try {
        command(program);
    } catch (const RunCancelled&) {
        form.sortDidNotFinish();
        throw RunCancelled{dialog_texts::kSortCancelledText};
    } catch (...) {
        form.sortDidNotFinish();
        throw;
    }
    form.hideBusy();  // the busy message goes with the command
    // The command returns only after writing its files, or at a cancelled
    // file dialogue, which chose nothing.
    if (program.filesChosen() == chosenBefore) return;
    const SortOutputNames names = sortOutputNames(program.state());
    form.sortFinished({names.sorted, names.percentile, names.counts});
}

void installCommands(Program& program) {
    program.setCommand("cmdCartesianDifference", cmdCartesianDifference_Click);
    program.setCommand("cmdGeneralNormalTest", [](Program& p) { runSortAndCount(p, cmdGeneralNormalTest_Click); });
    program.setCommand("MSFlexGrid1", MSFlexGrid1_Click);
    program.setCommand("MSChart2", MSChart2_Click);
    program.setCommand("MSChart1", MSChart1_Click);
}

}  // namespace lumera
