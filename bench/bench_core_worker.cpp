// "salvormithe --convert" without the GUI: QCoreApplication and the worker only.
#include "synthesis/ConvertWorker.h"

#include <QCoreApplication>

#include <clocale>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    return convertMain();
}
