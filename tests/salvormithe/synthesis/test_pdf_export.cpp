#include "synthesis/PrintMsgsExec.h"
#include "synthesis/TextExport.h"

#include "ExportTestUtil.h"
#include "TestUtil.h"

#include <QImage>
#include <QPdfWriter>
#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace fs = std::filesystem;
using namespace exporttest;

namespace {

ProjectVoice voiceOf(int)
{
    ProjectVoice v;
    v.name = "Alice <b>bold</b>";
    v.color = "#A22A2B";
    return v;
}

// The export as the job runs it: on a worker thread while this (GUI) thread
// runs its event loop.
bool pdfFromWorker(const std::vector<ProjectSeg>& segs, const fs::path& path, bool withSpeaker,
                   std::string* error)
{
    std::atomic<bool> done{false};
    bool ok = false;
    std::thread worker([&] {
        ok = exportPdf(segs, voiceOf, path.u8string(), withSpeaker, error);
        done = true;
    });
    testutil::waitFor([&] { return done.load(); }, 120000);
    worker.join();
    return ok;
}

struct PdfInfo
{
    int pages = -1;
    QString errors;
};

PdfInfo pdfinfo(const fs::path& path)
{
    QProcess proc;
    proc.start("pdfinfo", {q(path)});
    proc.waitForFinished(testutil::hangLimitMs);
    PdfInfo info;
    info.errors = QString::fromUtf8(proc.readAllStandardError());
    if (proc.exitCode() != 0)
        info.errors += QString("exit code %1").arg(proc.exitCode());
    const QRegularExpressionMatch m =
        QRegularExpression("^Pages:\\s+(\\d+)$", QRegularExpression::MultilineOption)
            .match(QString::fromUtf8(proc.readAllStandardOutput()));
    if (m.hasMatch())
        info.pages = m.captured(1).toInt();
    return info;
}

QString pdftext(const fs::path& path)
{
    return run("pdftotext", {"-layout", q(path), "-"});
}

} // namespace

TEST(PdfExport, LongProjectSpansSeveralNumberedPages)
{
    testutil::TempDir dir;
    const fs::path path = dir.path() / "text.pdf";
    std::vector<ProjectSeg> segs;
    for (int i = 1; i <= 120; ++i)
        segs.push_back(seg(i, "Segment number " + std::to_string(i) +
                                  " says something & more <here>."));
    std::string error;
    ASSERT_TRUE(pdfFromWorker(segs, path, true, &error)) << error;

    const PdfInfo info = pdfinfo(path);
    EXPECT_EQ(info.errors, "");
    EXPECT_GE(info.pages, 3);
    const QString text = pdftext(path);
    for (int i = 1; i <= 120; ++i)
        EXPECT_EQ(text.count(QString("Segment number %1 says something & more <here>.").arg(i)), 1) << i;
    // The speaker's name is text, not markup.
    EXPECT_EQ(text.count("Alice <b>bold</b>"), 120);
    // Page numbers sit at the bottom right of each page.
    const QStringList pages = text.split('\f', Qt::SkipEmptyParts);
    ASSERT_EQ(pages.size(), info.pages);
    for (int p = 0; p < pages.size(); ++p)
        EXPECT_TRUE(pages[p].trimmed().endsWith(QString::number(p + 1))) << p;

    // One page rendered: the page holds drawn bubbles, not just white.
    const fs::path png = dir.path() / "page";
    int code = -1;
    run("pdftoppm", {"-r", "40", "-f", "1", "-l", "1", "-png", "-singlefile", q(path), q(png)}, &code);
    ASSERT_EQ(code, 0);
    QImage page(q(png) + ".png");
    ASSERT_FALSE(page.isNull());
    int dark = 0;
    for (int y = 0; y < page.height(); ++y)
        for (int x = 0; x < page.width(); ++x)
            dark += qGray(page.pixel(x, y)) < 200;
    EXPECT_GT(dark, 500);
}

TEST(PdfExport, BubbleTallerThanAPageKeepsAllItsText)
{
    testutil::TempDir dir;
    const fs::path path = dir.path() / "text.pdf";
    std::string text;
    for (int i = 1; i <= 260; ++i)
        text += "Line " + std::to_string(1000 + i) + " of the long segment.\n";
    std::string error;
    ASSERT_TRUE(pdfFromWorker({seg(1, "short one"), seg(2, text), seg(3, "after it")}, path, false,
                              &error))
        << error;
    const PdfInfo info = pdfinfo(path);
    EXPECT_EQ(info.errors, "");
    EXPECT_GE(info.pages, 3);
    const QString out = pdftext(path);
    int last = -1;
    for (int i = 1; i <= 260; ++i) {
        const QString line = QString("Line %1 of the long segment.").arg(1000 + i);
        EXPECT_EQ(out.count(line), 1) << line.toStdString();
        const int at = out.indexOf(line);
        EXPECT_GT(at, last) << line.toStdString();
        last = at;
    }
    EXPECT_EQ(out.count("short one"), 1);
    EXPECT_GT(out.indexOf("after it"), last);
    // Without speakers no name line is drawn.
    EXPECT_FALSE(out.contains("Alice"));
}

TEST(PdfExport, NoSegmentsGiveOneNumberedPage)
{
    testutil::TempDir dir;
    const fs::path path = dir.path() / "text.pdf";
    std::string error;
    ASSERT_TRUE(pdfFromWorker({}, path, true, &error)) << error;
    const PdfInfo info = pdfinfo(path);
    EXPECT_EQ(info.errors, "");
    EXPECT_EQ(info.pages, 1);
    EXPECT_EQ(pdftext(path).trimmed(), "1");
}

TEST(PdfExport, UnwritableTargetIsAFailure)
{
    testutil::TempDir dir;
    const fs::path path = dir.path() / "text.pdf";
    fs::create_directories(path);
    std::string error;
    EXPECT_FALSE(pdfFromWorker({seg(1, "hello")}, path, true, &error));
    EXPECT_NE(error.find("(" + path.u8string() + ")"), std::string::npos) << error;
    EXPECT_TRUE(fs::is_directory(path));

    // The same from the GUI thread itself.
    error.clear();
    const fs::path missing = dir.path() / "none" / "text.pdf";
    EXPECT_FALSE(exportPdf({seg(1, "hello")}, voiceOf, missing.u8string(), true, &error));
    EXPECT_NE(error.find("(" + missing.u8string() + ")"), std::string::npos) << error;
    EXPECT_FALSE(fs::exists(missing));
}

TEST(PrintMsgsExec, ReportsProgressPerRecordThenFinishesOnce)
{
    testutil::TempDir dir;
    const fs::path path = dir.path() / "msgs.pdf";
    QPdfWriter writer(q(path));
    writer.setResolution(120);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(20, 20, 20, 20), QPageLayout::Point);

    QList<PrintMsg> msgs;
    for (int i = 0; i < 4; ++i) {
        PrintMsg m;
        m.body = QString("Message %1").arg(i);
        m.baseUrl = "/";
        m.name = "Speaker";
        m.nameColor = "#0000FD";
        m.right = i % 2 == 1;
        msgs.append(m);
    }
    PrintMsgsExec exec;
    exec.setup(&writer, msgs, true);
    std::vector<std::pair<int, int>> progress;
    int finished = 0;
    QObject::connect(&exec, &PrintMsgsExec::updateProgress,
                     [&](int cur, int total) { progress.emplace_back(cur, total); });
    QObject::connect(&exec, &PrintMsgsExec::finished, [&] { ++finished; });
    exec.start();
    // The layout runs in later event-loop turns.
    EXPECT_TRUE(progress.empty());
    ASSERT_TRUE(testutil::waitFor([&] { return finished > 0; }, testutil::hangLimitMs));
    // A layout turn queued before now would have run by the end of this.
    ASSERT_TRUE(testutil::postedCallsRun());
    EXPECT_EQ(finished, 1);
    EXPECT_EQ(progress, (std::vector<std::pair<int, int>>{{0, 4}, {1, 4}, {2, 4}, {3, 4}}));
    EXPECT_TRUE(exec.succeeded());

    const PdfInfo info = pdfinfo(path);
    EXPECT_EQ(info.errors, "");
    EXPECT_EQ(info.pages, 1);
    const QString text = pdftext(path);
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(text.contains(QString("Message %1").arg(i))) << i;
}
