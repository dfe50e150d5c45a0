#include "TestUtil.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <unistd.h>

namespace fs = std::filesystem;

namespace testutil {

TempDir::TempDir()
{
    static std::atomic<int> counter{0};
    const char* root = std::getenv("QV_TEST_ROOT");
    fs::path base = root ? fs::path(root) : fs::temp_directory_path();
    dir = base / ("t" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
    fs::create_directories(dir);
}

TempDir::~TempDir()
{
    std::error_code ec;
    fs::remove_all(dir, ec);
}

QString binDir()
{
    const char* v = std::getenv("QV_BUILD_BIN");
    return v ? QString::fromUtf8(v) : QCoreApplication::applicationDirPath();
}

QString sourceDir()
{
    const char* v = std::getenv("QV_SOURCE_DIR");
    return v ? QString::fromUtf8(v) : QString();
}

bool waitFor(const std::function<bool()>& pred, int msec)
{
    QElapsedTimer t;
    t.start();
    while (!pred()) {
        if (t.elapsed() > msec)
            return pred();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    return true;
}

bool postedCallsRun(int msec)
{
    QObject receiver;
    auto ran = std::make_shared<bool>(false);
    QMetaObject::invokeMethod(&receiver, [ran] { *ran = true; }, Qt::QueuedConnection);
    return waitFor([ran] { return *ran; }, msec);
}

void writeFile(const fs::path& p, const QByteArray& bytes)
{
    QFile f(QString::fromStdString(p.u8string()));
    if (f.open(QIODevice::WriteOnly))
        f.write(bytes);
}

QByteArray readFile(const fs::path& p)
{
    QFile f(QString::fromStdString(p.u8string()));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace testutil
