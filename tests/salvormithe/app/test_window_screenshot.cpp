// Starts the real converter on a virtual X display and looks at its window.
#include "TestUtil.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>
#include <unistd.h>

using namespace testutil;

namespace {

// Output of a short program, empty when it fails.
QString runText(const QString& program, const QStringList& args, const QProcessEnvironment& env,
                bool* ok = nullptr)
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program, args);
    bool done = p.waitForFinished(20000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    if (ok)
        *ok = done;
    return done ? QString::fromUtf8(p.readAllStandardOutput()) : QString();
}

// Ends the program when the test leaves, however it leaves.
struct Terminator
{
    QProcess& p;
    ~Terminator()
    {
        if (p.state() != QProcess::NotRunning) {
            ::kill(pid_t(p.processId()), SIGTERM);
            if (!p.waitForFinished(10000)) {
                p.kill();
                p.waitForFinished(5000);
            }
        }
    }
};

class VirtualDisplay
{
public:
    ~VirtualDisplay()
    {
        if (xvfb.state() != QProcess::NotRunning) {
            xvfb.terminate();
            xvfb.waitForFinished(5000);
        }
    }

    bool start()
    {
        for (int n = 90 + getpid() % 400, tries = 0; tries < 50; ++n, ++tries) {
            if (QFileInfo::exists(QString("/tmp/.X11-unix/X%1").arg(n)) ||
                QFileInfo::exists(QString("/tmp/.X%1-lock").arg(n)))
                continue;
            display = QString(":%1").arg(n);
            xvfb.start("Xvfb", {display, "-screen", "0", "1280x900x24", "-nolisten", "tcp"});
            if (!xvfb.waitForStarted(5000))
                return false;
            if (waitFor([&] {
                    return QFileInfo::exists(QString("/tmp/.X11-unix/X%1").arg(n)) ||
                           xvfb.state() == QProcess::NotRunning;
                }, 10000) && xvfb.state() == QProcess::Running)
                return true;
            xvfb.waitForFinished(2000);
        }
        return false;
    }

    QString display;
    QProcess xvfb;
};

// The colour of one pixel of a picture as "r,g,b".
QString pixelAt(const QString& png, int x, int y)
{
    QString s = runText("convert", {png, "-format", QString("%[fx:int(255*p{%1,%2}.r)],%[fx:int(255*p{%1,%2}.g)],"
                                                            "%[fx:int(255*p{%1,%2}.b)]").arg(x).arg(y),
                                    "info:"},
                        QProcessEnvironment::systemEnvironment());
    return s.trimmed();
}

} // namespace

TEST(WindowOnDisplay, ConverterShowsItsFramedWindow)
{
    VirtualDisplay x;
    ASSERT_TRUE(x.start()) << "Xvfb did not start";

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", x.display);
    env.insert("QT_QPA_PLATFORM", "xcb");
    // Nothing listens here: the update check fails quietly.
    env.insert("QV_VOICE_SERVER", "http://127.0.0.1:9/");

    QProcess app;
    app.setProcessEnvironment(env);
    app.setProcessChannelMode(QProcess::ForwardedChannels);
    app.start(binDir() + "/salvormithe", QStringList());
    ASSERT_TRUE(app.waitForStarted(10000));
    Terminator end{app};

    // The window appears under its product name.
    QRegularExpression line("0x[0-9a-f]+ \"Quorvine Text to Speech Converter\".*\\s(\\d+)x(\\d+)\\+(-?\\d+)\\+(-?\\d+)");
    QRegularExpressionMatch m;
    bool shown = waitFor([&] {
        m = line.match(runText("xwininfo", {"-root", "-tree", "-display", x.display}, env));
        return m.hasMatch();
    }, 30000);
    ASSERT_TRUE(shown) << runText("xwininfo", {"-root", "-tree", "-display", x.display}, env).toStdString();
    int w = m.captured(1).toInt(), h = m.captured(2).toInt();
    int wx = m.captured(3).toInt(), wy = m.captured(4).toInt();
    EXPECT_EQ(w, 1024);
    EXPECT_EQ(h, 768);
    EXPECT_EQ(app.state(), QProcess::Running);

    // Let it draw, then take the picture of the whole screen.
    QTest::qWait(2000);
    QDir shots(binDir() + "/../screenshots");
    shots.mkpath(".");
    QString png = shots.filePath("salvormithe-window.png");
    QFile::remove(png);
    bool taken = false;
    runText("import", {"-display", x.display, "-window", "root", png}, env, &taken);
    ASSERT_TRUE(taken);
    ASSERT_TRUE(QFileInfo(png).size() > 0);

    // The navigation column, the page area and the header each have their colour.
    EXPECT_EQ(pixelAt(png, wx + 60, wy + 300), "246,248,253");
    EXPECT_EQ(pixelAt(png, wx + 600, wy + 600), "251,251,254");
    // The current entry ("Home") is highlighted in the product colour.
    EXPECT_EQ(pixelAt(png, wx + 35, wy + 90), "2,186,255");
    // Outside the frame the window is see-through to the black root window.
    EXPECT_EQ(pixelAt(png, wx + 2, wy + 2), "0,0,0");
}
