// Starts the real converter on a virtual X display, looks at its window and
// uses it with the mouse.
#include "TestUtil.h"

#include "LoopbackServers.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

using namespace testutil;

namespace {

// Output of a short program, empty when it fails. ImageMagick's threads spin
// while they wait for each other, which on a busy machine takes minutes: one
// thread is enough for a screenshot.
QString runText(const QString& program, const QStringList& args, QProcessEnvironment env, bool* ok = nullptr)
{
    QProcess p;
    env.insert("MAGICK_THREAD_LIMIT", "1");
    env.insert("OMP_NUM_THREADS", "1");
    p.setProcessEnvironment(env);
    p.start(program, args);
    bool done = p.waitForFinished(hangLimitMs) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    if (ok)
        *ok = done;
    return done ? QString::fromUtf8(p.readAllStandardOutput()) : QString();
}

class VirtualDisplay
{
public:
    ~VirtualDisplay()
    {
        if (xvfb.state() != QProcess::NotRunning) {
            xvfb.terminate();
            xvfb.waitForFinished(hangLimitMs);
        }
    }

    // Xvfb picks a free display itself and writes its number once it listens;
    // the display is ready once a client has been served on it.
    bool start()
    {
        xvfb.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        xvfb.start("Xvfb", {"-displayfd", "1", "-screen", "0", "1280x900x24", "-nolisten", "tcp"});
        if (!xvfb.waitForStarted(hangLimitMs))
            return false;
        QByteArray out;
        waitFor([&] {
            xvfb.waitForReadyRead(100);
            out += xvfb.readAllStandardOutput();
            return out.contains('\n') || xvfb.state() == QProcess::NotRunning;
        }, hangLimitMs);
        bool ok = false;
        int n = out.trimmed().toInt(&ok);
        if (!ok || xvfb.state() != QProcess::Running)
            return false;
        display = QString(":%1").arg(n);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        return waitFor([&] {
            bool served = false;
            runText("xdpyinfo", {"-display", display}, env, &served);
            return served || xvfb.state() != QProcess::Running;
        }, hangLimitMs) && xvfb.state() == QProcess::Running;
    }

    QString display;
    QProcess xvfb;
};

// The converter running on its own display, with a browser stand-in that
// records the pages it is asked to open.
class ConverterOnDisplay
{
public:
    ~ConverterOnDisplay()
    {
        if (app.state() != QProcess::NotRunning) {
            ::kill(pid_t(app.processId()), SIGTERM);
            if (!app.waitForFinished(hangLimitMs)) {
                app.kill();
                app.waitForFinished(hangLimitMs);
            }
        }
    }

    bool start(const std::string& serverBase)
    {
        if (!x.start())
            return false;
        std::filesystem::path opener = tools.path() / "xdg-open";
        writeFile(opener, "#!/bin/sh\necho \"$1\" >> \"$(dirname \"$0\")/opened\"\n");
        ::chmod(opener.c_str(), 0755);

        env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", x.display);
        env.insert("QT_QPA_PLATFORM", "xcb");
        env.insert("QV_VOICE_SERVER", QString::fromStdString(serverBase));
        env.insert("PATH", QString::fromStdString(tools.path().u8string()) + ":" + env.value("PATH"));
        app.setProcessEnvironment(env);
        app.setProcessChannelMode(QProcess::ForwardedChannels);
        app.start(binDir() + "/salvormithe", QStringList());
        return app.waitForStarted(hangLimitMs);
    }

    // What a failed start leaves to look at.
    std::string state()
    {
        return "converter " + std::string(app.state() == QProcess::NotRunning ? "ended" : "running") +
               ", Xvfb on " + x.display.toStdString() + " " +
               (x.xvfb.state() == QProcess::NotRunning ? "ended" : "running") + "; windows:\n" +
               runText("xwininfo", {"-root", "-tree", "-display", x.display}, env).toStdString();
    }

    // Waits for the window named after the product; fills its geometry.
    bool waitForWindow()
    {
        QRegularExpression line(
            "0x[0-9a-f]+ \"Quorvine Text to Speech Converter\".*\\s(\\d+)x(\\d+)\\+(-?\\d+)\\+(-?\\d+)");
        QRegularExpressionMatch m;
        bool shown = waitFor([&] {
            m = line.match(runText("xwininfo", {"-root", "-tree", "-display", x.display}, env));
            return m.hasMatch() || app.state() == QProcess::NotRunning;
        }, hangLimitMs) && m.hasMatch();
        if (!shown)
            return false;
        w = m.captured(1).toInt();
        h = m.captured(2).toInt();
        wx = m.captured(3).toInt();
        wy = m.captured(4).toInt();
        return true;
    }

    // A picture of the whole screen, null when none could be taken; a copy is
    // kept beside the built programs.
    QImage screenshot(const QString& name)
    {
        QString png = QString::fromStdString((tools.path() / name.toStdString()).string());
        QFile::remove(png);
        bool ok = false;
        runText("import", {"-display", x.display, "-window", "root", png}, env, &ok);
        QImage image;
        if (!ok || !image.load(png))
            return QImage();
        QDir shots(binDir() + "/../screenshots");
        shots.mkpath(".");
        QFile::remove(shots.filePath(name));
        QFile::copy(png, shots.filePath(name));
        return image;
    }

    bool click(int px, int py)
    {
        bool ok = false;
        runText("xdotool", {"mousemove", QString::number(px), QString::number(py), "click", "1"}, env, &ok);
        return ok;
    }

    QString opened() const { return QString::fromUtf8(readFile(tools.path() / "opened")).trimmed(); }

    VirtualDisplay x;
    TempDir tools;
    QProcessEnvironment env;
    QProcess app;
    int w = 0, h = 0, wx = 0, wy = 0;
};

// The colour of one pixel of a picture as "r,g,b".
QString pixelAt(const QImage& image, int x, int y)
{
    if (!image.valid(x, y))
        return QString();
    QColor c = image.pixelColor(x, y);
    return QString("%1,%2,%3").arg(c.red()).arg(c.green()).arg(c.blue());
}

// The centre of the lowest area of the given colour inside a region of a picture.
bool findLowestArea(const QImage& image, const QRect& region, const QColor& colour, QPoint* centre)
{
    QRect inside = region.intersected(image.rect());
    int maxY = -1;
    for (int y = inside.top(); y <= inside.bottom(); ++y) {
        for (int x = inside.left(); x <= inside.right(); ++x) {
            if (image.pixelColor(x, y).rgb() == colour.rgb())
                maxY = y;
        }
    }
    if (maxY < 0)
        return false;
    long sx = 0, sy = 0, n = 0;
    for (int y = std::max(inside.top(), maxY - 11); y <= maxY; ++y) {
        for (int x = inside.left(); x <= inside.right(); ++x) {
            if (image.pixelColor(x, y).rgb() == colour.rgb()) {
                sx += x;
                sy += y;
                ++n;
            }
        }
    }
    *centre = QPoint(int(sx / n), int(sy / n));
    return true;
}

} // namespace

TEST(WindowOnDisplay, ConverterShowsItsFramedWindowAndCloseEndsItWith0)
{
    ConverterOnDisplay c;
    // Nothing listens here: the update check fails quietly.
    ASSERT_TRUE(c.start("http://127.0.0.1:9/"));
    ASSERT_TRUE(c.waitForWindow()) << c.state();
    EXPECT_EQ(c.w, 1024);
    EXPECT_EQ(c.h, 768);

    // Look at it once it has drawn (slow under load).
    QImage png;
    ASSERT_TRUE(waitFor(
        [&] {
            png = c.screenshot("salvormithe-window.png");
            return !png.isNull() && pixelAt(png, c.wx + 35, c.wy + 90) == "2,186,255";
        },
        hangLimitMs));
    // The navigation column, the page area and the header each have their colour.
    EXPECT_EQ(pixelAt(png, c.wx + 60, c.wy + 300), "246,248,253");
    EXPECT_EQ(pixelAt(png, c.wx + 600, c.wy + 710), "251,251,254");
    // The current entry ("Home") is highlighted in the product colour.
    EXPECT_EQ(pixelAt(png, c.wx + 35, c.wy + 90), "2,186,255");
    // Outside the frame the window is see-through to the black root window.
    EXPECT_EQ(pixelAt(png, c.wx + 2, c.wy + 2), "0,0,0");

    // The close button at the right end of the header ends the program normally.
    ASSERT_TRUE(c.click(c.wx + c.w - 20 - 5 - 18, c.wy + 20 + 5 + 15));
    ASSERT_TRUE(c.app.waitForFinished(hangLimitMs));
    EXPECT_EQ(c.app.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(c.app.exitCode(), 0);
}

TEST(WindowOnDisplay, ObsoleteVersionOpensTheDownloadPageAndEndsWith1)
{
    HttplibServer server;
    std::atomic<int> asked{0};
    server.server.Get("/check_update.php", [&](const httplib::Request&, httplib::Response& res) {
        ++asked;
        res.set_content(server.base() + "download/latest.html", "text/plain");
    });
    std::string base = server.start();

    ConverterOnDisplay c;
    ASSERT_TRUE(c.start(base));
    ASSERT_TRUE(c.waitForWindow()) << c.state();
    ASSERT_TRUE(waitFor([&] { return asked == 1; }, hangLimitMs));

    // The box sits in the middle of the window over a mask that darkens the
    // page (the navigation column among it); its OK button is then the lowest
    // patch of the product colour there.
    QPoint ok;
    QRect middle(c.wx + 250, c.wy + 200, c.w - 500, c.h - 400);
    ASSERT_TRUE(waitFor(
        [&] {
            QImage png = c.screenshot("salvormithe-update.png");
            return !png.isNull() && pixelAt(png, c.wx + 60, c.wy + 300) != "246,248,253" &&
                   findLowestArea(png, middle, QColor("#02BAFF"), &ok);
        },
        hangLimitMs));
    EXPECT_EQ(c.app.state(), QProcess::Running);
    ASSERT_TRUE(c.click(ok.x(), ok.y()));
    ASSERT_TRUE(c.app.waitForFinished(hangLimitMs));
    EXPECT_EQ(c.app.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(c.app.exitCode(), 1);
    EXPECT_EQ(c.opened(), QString::fromStdString(base + "download/latest.html"));
}
