#include "cartesian/options_dialogue.h"

#include "cartesian/difference_engine.h"
#include "cartesian/treatment_input.h"
#include "shell/dialog_texts.h"
#include "shell/program.h"
#include "textio/number_forms.h"

namespace lumera {

namespace {

using namespace dialog_texts;

// The record is named after this test's own stem, whatever ran before.
constexpr const char* kFlowFileName = "25A-Cartesian diff_0_Flow.txt";

std::string detailText(const RunState& s) {
    return "Do you need the detailed info?\n"
           "In general you can choose \"No\". If you choose \"Yes\", there will be many huge files.\n\n"
           "Attention: this is only for results of B =" +
           plainForm(s.BootstrapNumber) + ", and CPT =" + plainForm(s.CartesianProducts);
}

Flag yesNo(Answer a) { return a == Answer::Yes ? Flag::Yes : Flag::No; }

// A run that stops on bad input leaves the window as a finished run does:
// locked for the next test, the busy message gone, the list back in view.
void restoreWindow(Form1& form) {
    form.DisableAllButtonsForCartesian();
    form.Label2.visible = false;
    form.Label2.Refresh();
    form.Label14.visible = true;
    form.Frame3.Refresh();
}

}  // namespace

void cmdCartesianDifference_Click(Program& program) {
    RunState& s = program.state();
    Form1& form = program.form1();
    Dialogs& dialogs = program.dialogs();

    s.GridChartsReady = false;
    form.DisableAllButtonsForCartesian();
    form.Image1.visible = false;
    form.Label4.visible = true;
    form.Label14.visible = true;

    // Enter must not start gigabytes of detail files.
    if (dialogs.message(kDetailInfoTitle, detailText(s), Buttons::YesNo, Answer::No) == Answer::Yes) {
        s.DetailedInfo = Flag::Yes;
        if (dialogs.message(kFlowTitle, kFlowText, Buttons::YesNo) == Answer::Yes) {
            s.FlowFileName = kFlowFileName;
            program.openFlowRecord(s.FlowFileName);
            s.FlowRecord = Flag::Yes;
        } else {
            s.FlowRecord = Flag::No;
        }
    } else {
        s.FlowRecord = Flag::No;
        s.DetailedInfo = Flag::No;
    }
    if (s.DetailedInfo != Flag::No)
        s.DetailedDifferences = yesNo(dialogs.message(kDifferencesTitle, kDifferencesText, Buttons::YesNo, Answer::No));
    else
        s.DetailedDifferences = Flag::No;
    s.ReversedSort = yesNo(dialogs.message(kReversedTitle, kReversedText, Buttons::YesNo));

    try {
        CartesianDifference(program);
        CartesianDifference2(program);
    } catch (...) {
        restoreWindow(form);
        throw;
    }
}

}  // namespace lumera
