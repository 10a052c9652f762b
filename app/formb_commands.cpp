// The main window's commands that open the other windows, and the end of the program.
#include "formb.h"

#include "frmportion.h"
#include "helpcommands.h"
#include "portion.h"

#include <QApplication>

namespace velmora {

void FormB::mnuHelp_Click() {
    velmora::mnuHelp_Click(this);
}

void FormB::mnuDailyValues_Click() {
    velmora::mnuDailyValues_Click(this);
}

void FormB::mnuAbout_Click() {
    velmora::mnuAbout_Click(this);
}

void FormB::mnuPortionAdjust_Click() {
    bvCancel = false;
    Z[slot::Description] = S[slot::Description];
    {
        frmPortion dialog(Data1, Z, bvCancel, this);
        dialog.exec();
    }
    if (!bvCancel) {
        RecomputePortion(Data1, S, Z, vPortionFactor);
        FillText1_from_Array_Z();
    }
}

void FormB::Form_Unload() {
    if (unloading_) return;
    unloading_ = true;
    // Every other window of the program goes with the main window.
    unloadHelpWindows();
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w != this && w->isVisible()) w->close();
    QCoreApplication::exit(0);
}

}  // namespace velmora
