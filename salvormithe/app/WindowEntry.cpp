// The entry of the window module, called by the executable in window mode.
#include "app/Startup.h"

#include "app/AppMain.h"

#include <QUrl>

extern "C" int salvormitheWindowMain(int argc, char** argv)
{
    return runGui(argc, argv, QUrl(QStringLiteral("qrc:/qml/main.qml")));
}
