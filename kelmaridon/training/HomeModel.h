#pragma once

#include "common/FileDownloader.h"
#include "common/InvokeContext.h"

#include <QObject>
#include <QString>
#include <QThread>
#include <QUrl>

#include <atomic>
#include <memory>

class ExtractProcess;

// kelmaridon's window model: finds the training environment, and installs it
// into a folder the user picks (download of the archive, then 7z).
class HomeModel : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool installingEnv READ getInstallingEnv WRITE setInstallingEnv NOTIFY installingEnvChanged)
    Q_PROPERTY(QString installingProgress READ getInstallingProgress WRITE setInstallingProgress NOTIFY
                   installingProgressChanged)
public:
    explicit HomeModel(QObject* parent = nullptr);
    ~HomeModel() override;

    bool getInstallingEnv() const { return installingEnv; }
    void setInstallingEnv(bool value);
    QString getInstallingProgress() const { return installingProgress; }
    void setInstallingProgress(const QString& value);

    // True when folder is a finished environment: a folder without the
    // "installing" marker.
    static bool isInstalledEnv(const QString& folder);

signals:
    void toClose();
    void toSelEnvPath();
    void installingEnvChanged();
    void installingProgressChanged();

public:
    Q_INVOKABLE void checkEnv();
    Q_INVOKABLE void close();
    Q_INVOKABLE void installEnv(QUrl rootUrl);

private:
    void downloadEnv(const QString& dir, const QString& target);
    void onDownloadFailed(const QString& error);
    void extractEnv(const QString& archive, const QString& target);
    void finishInstall(const QString& archive, const QString& target, bool success);
    void endInstall();

    InvokeContext invoker;
    QThread worker;
    bool installingEnv = false;
    QString installingProgress;
    std::atomic<bool> closing{false};
    FileDownloader downloader;
    // The running unpack; ended and deleted by finishInstall or the destructor.
    std::unique_ptr<ExtractProcess> extract;
};
