// Starts the real converter on a virtual X display, looks at its window and
// uses it with the mouse.
#include "TestUtil.h"

#include "LoopbackServers.h"

#include <QDir>
#include <QFile>
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

    // Xvfb picks a free display itself and writes its number once it listens.
    bool start()
    {
        xvfb.start("Xvfb", {"-displayfd", "1", "-screen", "0", "1280x900x24", "-nolisten", "tcp"});
        if (!xvfb.waitForStarted(5000))
            return false;
        QByteArray out;
        waitFor([&] {
            xvfb.waitForReadyRead(100);
            out += xvfb.readAllStandardOutput();
            return out.contains('\n') || xvfb.state() == QProcess::NotRunning;
        }, 20000);
        bool ok = false;
        int n = out.trimmed().toInt(&ok);
        if (!ok || xvfb.state() != QProcess::Running)
            return false;
        display = QString(":%1").arg(n);
        return true;
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
            if (!app.waitForFinished(10000)) {
                app.kill();
                app.waitForFinished(5000);
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
        return app.waitForStarted(10000);
    }

    // Waits for the window named after the product; fills its geometry.
    bool waitForWindow()
    {
        QRegularExpression line(
            "0x[0-9a-f]+ \"Quorvine Text to Speech Converter\".*\\s(\\d+)x(\\d+)\\+(-?\\d+)\\+(-?\\d+)");
        QRegularExpressionMatch m;
        bool shown = waitFor([&] {
            m = line.match(runText("xwininfo", {"-root", "-tree", "-display", x.display}, env));
            return m.hasMatch();
        }, 30000);
        if (!shown)
            return false;
        w = m.captured(1).toInt();
        h = m.captured(2).toInt();
        wx = m.captured(3).toInt();
        wy = m.captured(4).toInt();
        return true;
    }

    // A picture of the whole screen, kept beside the built programs.
    QString screenshot(const QString& name)
    {
        QDir shots(binDir() + "/../screenshots");
        shots.mkpath(".");
        QString png = shots.filePath(name);
        QFile::remove(png);
        bool ok = false;
        runText("import", {"-display", x.display, "-window", "root", png}, env, &ok);
        return ok ? png : QString();
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
QString pixelAt(const QString& png, int x, int y)
{
    QString s = runText("convert", {png, "-format", QString("%[fx:int(255*p{%1,%2}.r)],%[fx:int(255*p{%1,%2}.g)],"
                                                            "%[fx:int(255*p{%1,%2}.b)]").arg(x).arg(y),
                                    "info:"},
                        QProcessEnvironment::systemEnvironment());
    return s.trimmed();
}

// The centre of the lowest area of the given colour inside a region of a picture.
bool findLowestArea(const QString& png, const QRect& region, const QString& hex, QPoint* centre)
{
    QString txt = runText("convert", {png, "-crop", QString("%1x%2+%3+%4").arg(region.width()).arg(region.height())
                                                        .arg(region.x()).arg(region.y()),
                                      "+repage", "txt:-"},
                          QProcessEnvironment::systemEnvironment());
    QRegularExpression px("^(\\d+),(\\d+):.*" + hex, QRegularExpression::CaseInsensitiveOption);
    QList<QPoint> points;
    int maxY = -1;
    for (const QString& line : txt.split('\n')) {
        QRegularExpressionMatch m = px.match(line);
        if (m.hasMatch()) {
            points.append(QPoint(m.captured(1).toInt(), m.captured(2).toInt()));
            maxY = std::max(maxY, points.last().y());
        }
    }
    if (points.isEmpty())
        return false;
    long sx = 0, sy = 0, n = 0;
    for (const QPoint& p : points) {
        if (p.y() > maxY - 12) {
            sx += p.x();
            sy += p.y();
            ++n;
        }
    }
    *centre = QPoint(region.x() + int(sx / n), region.y() + int(sy / n));
    return true;
}

} // namespace

TEST(WindowOnDisplay, ConverterShowsItsFramedWindowAndCloseEndsItWith0)
{
    ConverterOnDisplay c;
    // Nothing listens here: the update check fails quietly.
    ASSERT_TRUE(c.start("http://127.0.0.1:9/"));
    ASSERT_TRUE(c.waitForWindow()) << runText("xwininfo", {"-root", "-tree", "-display", c.x.display}, c.env).toStdString();
    EXPECT_EQ(c.w, 1024);
    EXPECT_EQ(c.h, 768);

    // Look at it once it has drawn (slow under load).
    QString png;
    ASSERT_TRUE(waitFor(
        [&] {
            png = c.screenshot("salvormithe-window.png");
            return !png.isEmpty() && pixelAt(png, c.wx + 35, c.wy + 90) == "2,186,255";
        },
        60000));
    // The navigation column, the page area and the header each have their colour.
    EXPECT_EQ(pixelAt(png, c.wx + 60, c.wy + 300), "246,248,253");
    EXPECT_EQ(pixelAt(png, c.wx + 600, c.wy + 710), "251,251,254");
    // The current entry ("Home") is highlighted in the product colour.
    EXPECT_EQ(pixelAt(png, c.wx + 35, c.wy + 90), "2,186,255");
    // Outside the frame the window is see-through to the black root window.
    EXPECT_EQ(pixelAt(png, c.wx + 2, c.wy + 2), "0,0,0");

    // The close button at the right end of the header ends the program normally.
    ASSERT_TRUE(c.click(c.wx + c.w - 20 - 5 - 18, c.wy + 20 + 5 + 15));
    ASSERT_TRUE(c.app.waitForFinished(15000));
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
    ASSERT_TRUE(c.waitForWindow());
    ASSERT_TRUE(waitFor([&] { return asked == 1; }, 20000));
    QTest::qWait(2000);
    QString png = c.screenshot("salvormithe-update.png");
    ASSERT_FALSE(png.isEmpty());

    // The box sits in the middle of the window; its OK button is the lowest
    // patch of the product colour there.
    QPoint ok;
    QRect middle(c.wx + 250, c.wy + 200, c.w - 500, c.h - 400);
    ASSERT_TRUE(findLowestArea(png, middle, "#02BAFF", &ok));
    EXPECT_EQ(c.app.state(), QProcess::Running);
    ASSERT_TRUE(c.click(ok.x(), ok.y()));
    ASSERT_TRUE(c.app.waitForFinished(15000));
    EXPECT_EQ(c.app.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(c.app.exitCode(), 1);
    EXPECT_EQ(c.opened(), QString::fromStdString(base + "download/latest.html"));
}
