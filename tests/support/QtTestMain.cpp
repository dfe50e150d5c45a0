// GoogleTest entry for tests that need a Qt application object.
#include <QGuiApplication>

#include <gtest/gtest.h>

#include <clocale>

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    QGuiApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    return RUN_ALL_TESTS();
}
