// Starts the window mode with the root page given as a local file.
#include "app/AppMain.h"

#include <QUrl>

int main(int argc, char** argv)
{
    if (argc < 2)
        return 2;
    QUrl root = QUrl::fromLocalFile(QString::fromLocal8Bit(argv[1]));
    int qtArgc = 1;
    return runGui(qtArgc, argv, root);
}
