#include "app/MainModel.h"

#include "common/HttpClient.h"
#include "common/LinkOpener.h"
#include "common/MessageBoxContext.h"
#include "common/ServerAddress.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMutexLocker>
#include <QProcess>

MainModel::MainModel(QObject* parent) : QObject(parent) {}

MainModel::~MainModel()
{
    // A check still waiting for the server ends now rather than holding up
    // the end of the program.
    {
        QMutexLocker lock(&clientMutex);
        closing = true;
        if (runningClient)
            runningClient->aborted = true;
    }
    worker.quit();
    worker.wait();
    if (worker.isRunning()) {
        worker.quit();
        worker.wait();
    }
}

QString MainModel::kelmaridonProgram(const QString& dir)
{
    QFileInfo beside(QDir(dir).filePath(QStringLiteral("kelmaridon")));
    if (beside.isFile() && beside.isExecutable())
        return beside.absoluteFilePath();
    return QStringLiteral("kelmaridon");
}

void MainModel::openKelmaridon()
{
    QProcess::startDetached(kelmaridonProgram(QCoreApplication::applicationDirPath()), {});
}

void MainModel::checkUpdate()
{
    runInWorkerThread(&worker, [this]() { checkUpdateWorker(); }, nullptr);
}

std::string MainModel::updateCheckUrl()
{
    return voiceServerBase() + "check_update.php?pid=quorvine_salvormithe_win&ver=2&q=1";
}

bool MainModel::demandsUpdate(int status, const std::string& body)
{
    // A failed transfer or an error page is no answer, whatever links it holds.
    if (status < 200 || status >= 300)
        return false;
    return body.find("/download/") != std::string::npos;
}

QUrl MainModel::downloadPage(const std::string& body)
{
    QUrl page(QString::fromUtf8(body.data(), int(body.size())).trimmed(), QUrl::StrictMode);
    if (!page.isValid())
        return QUrl();
    if (page.isRelative())
        page = QUrl(QString::fromStdString(voiceServerBase())).resolved(page);
    if ((page.scheme() != "http" && page.scheme() != "https") || page.host().isEmpty())
        return QUrl();
    return page;
}

void MainModel::checkUpdateWorker()
{
    HttpClient client;
    // The answer is an address or a word: a longer or slower one is no answer.
    client.setTimeouts(15, 15);
    client.setLimits(updateCheckSeconds, updateCheckMaxBytes);
    std::string body;
    if (client.prepare(updateCheckUrl(), std::string(), {})) {
        {
            QMutexLocker lock(&clientMutex);
            if (closing)
                return;
            runningClient = &client;
        }
        body = client.performText();
        QMutexLocker lock(&clientMutex);
        runningClient = nullptr;
    }
    if (!demandsUpdate(client.status, body))
        return;
    invoker.post([this, body]() { showObsoleteMessage(body); }, QCoreApplication::instance()->thread());
}

void MainModel::showObsoleteMessage(const std::string& body)
{
    MessageBoxContext::CallBack onOk = MessageBoxContext::guarded(this, [this, body]() {
        MessageBoxContext::CallBack quit = MessageBoxContext::guarded(
            this, [this]() { invoker.post([this]() { emit quitRequested(1); }, QCoreApplication::instance()->thread()); });
        QUrl page = downloadPage(body);
        // Without a browser the user is given the address before the program ends.
        if (!page.isEmpty() && !LinkOpener::instance()->open(page.toString(QUrl::FullyEncoded), quit))
            return;
        quit();
    });
    showMsgboxOk(MessageBoxContext::instance(), QString(),
                 tr("This version of Quorvine software has become obsolete. Please download the latest "
                    "version to install on your computer."),
                 std::move(onOk), MessageBoxContext::Alert, tr("OK"));
}
