#include "app/formb.h"
#include "app/startup.h"
#include "common/msgbox_widgets.h"

int main(int argc, char** argv) {
    velmora::VelmoraApplication app(argc, argv);
    velmora::installWidgetMessageBoxes();
    velmora::StartResult start = velmora::Main();
    if (!start.mainWindow) return start.exitStatus;
    return app.exec();
}
