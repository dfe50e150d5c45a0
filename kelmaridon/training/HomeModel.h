#pragma once

#include "common/FileDownloader.h"
#include "common/HttpClient.h"
#include "common/InvokeContext.h"

#include <QObject>
#include <QString>
#include <QThread>
#include <QUrl>

#include <atomic>
#include <memory>

class ExtractProcess;

// kelmaridon's window model: finds the training environment, and installs it
// into a folder the user picks (download of the archive, then 7z). An install
// can be cancelled, and closing ends it; neither leaves a half-unpacked
// environment behind, and an archive that matches the server's is kept for
// the next try.
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
    // True when 7z's error text says the archive itself is damaged (rather
    // than the disk or the target folder).
    static bool archiveDamaged(const QString& errorText);

signals:
    void toClose();
    void toSelEnvPath();
    void installingEnvChanged();
    void installingProgressChanged();

public:
    Q_INVOKABLE void checkEnv();
    // Ends the running install; toClose follows once it is cleaned up.
    Q_INVOKABLE void close();
    Q_INVOKABLE void installEnv(QUrl rootUrl);
    // Stops the running download or unpack; the unpacked part is removed.
    Q_INVOKABLE void cancelInstall();

private:
    enum class Stage { Idle, Downloading, Unpacking, Ending };

    void installInto(const QString& dir);
    void downloadEnv(const QString& dir, const QString& target);
    void onDownloadFailed(const QString& dir, const QString& error);
    void extractEnv(const QString& dir, const QString& archive, const QString& target);
    void finishInstall(const QString& dir, const QString& archive, const QString& target, bool success);
    void showInstallFailed(const QString& dir, const QString& error);
    void endInstall();

    InvokeContext invoker;
    QThread worker;
    bool installingEnv = false;
    QString installingProgress;
    std::atomic<bool> closing{false};
    FileDownloader downloader;
    // Asks the server for the archive's size; its abort flag ends that on close.
    HttpClient sizeClient;
    Stage stage = Stage::Idle;
    bool cancelled = false;
    // The running unpack and the folder it writes; the folder is ours to
    // remove once the marker is in it.
    std::unique_ptr<ExtractProcess> extract;
    QString unpackTarget;
};
