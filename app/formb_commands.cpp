// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's commands that open the other windows, and the end of the program.
#include "app/formb.h"

#include "help/databaseinformation.h"
#include "help/helpcommands.h"
#include "portion/frmportion.h"
#include "portion/portion.h"

#include <optional>

#include <QApplication>

namespace velmora {

void FormB::mnuHelp_Click() {
    handle([this] {
        showInstructions(
            state_, this,
            instructionsFor(loadResourceBytes(QStringLiteral("RTF"), helpdoc::Instructions),
                            table_));
    });
}

void FormB::mnuDailyValues_Click() {
    handle([this] { showDailyValuesInformation(state_, this, dv_.rule); });
}

void FormB::mnuAbout_Click() {
    handle([this] { showProgramInfo(state_, this, tableAboutLines(table_)); });
}

void FormB::mnuPortionAdjust_Click() {
    handle([this] { portionCommand(); });
}

void FormB::portionCommand() {
    bvCancel = false;
    ValueArray& Z = state_.Z;
    Z[slot::Description] = S[slot::Description];
    // The dialog offers the measures of the food it names, so that food must be current.
    std::optional<HouseholdMeasures> measures;
    if (findFood(Z[slot::Description]) == FindOutcome::Found) measures = measuresOf(fields());
    {
        // Every way out but Submit leaves the report and the portion as they were.
        frmPortion dialog(Z[slot::Description], measures, state_, this);
        bvCancel = dialog.exec() != QDialog::Accepted;
    }
    if (!bvCancel) {
        RecomputePortion();
        FillText1_from_Array_Z();
    }
}

void FormB::RecomputePortion() {
    // Found again, since the record may have moved while the dialog was open.
    if (findFood(state_.Z[slot::Description]) != FindOutcome::Found) return;
    restatePortion(fields(), state_, S, state_.Z, vPortionFactor);
}

void FormB::Form_Unload() {
    endProgram(0);
}

void FormB::endProgram(int status) {
    if (unloading_) return;
    unloading_ = true;
    // Every other window of the program goes with the main window.
    unloadHelpWindows(state_);
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w != this && w->isVisible()) w->close();
    hide();
    QCoreApplication::exit(status);
}

}  // namespace velmora
