#pragma once

#include "common/InvokeContext.h"

#include <QMutex>
#include <QObject>
#include <QString>
#include <QThread>
#include <QUrl>

#include <string>

class HttpClient;

// Application-level actions of the converter's window: starting the voice
// trainer and the update check at start-up.
class MainModel : public QObject
{
    Q_OBJECT
public:
    explicit MainModel(QObject* parent = nullptr);
    ~MainModel() override;

    Q_INVOKABLE void openKelmaridon();
    Q_INVOKABLE void checkUpdate();

    // The trainer beside the program in dir when there is one, else the bare
    // name, which is looked up on PATH.
    static QString kelmaridonProgram(const QString& dir);
    // The address of the update check of this version.
    static std::string updateCheckUrl();
    // True when the answer of the update check demands an update: a
    // successful answer (status 2xx; -1 after a failed transfer) naming a
    // "/download/" page.
    static bool demandsUpdate(int status, const std::string& body);
    // The download page named by such an answer, resolved against the server's
    // address; empty unless it is an http or https address.
    static QUrl downloadPage(const std::string& body);

    // Bounds of the update check's answer.
    static constexpr long updateCheckSeconds = 30;
    static constexpr size_t updateCheckMaxBytes = 64 * 1024;

signals:
    // The window is asked to end the program with this exit code, through
    // its close path.
    void quitRequested(int code);

private:
    void checkUpdateWorker();
    void showObsoleteMessage(const std::string& body);

    InvokeContext invoker;
    QThread worker;
    // The update check's client while it runs, so that the destructor can abort it.
    QMutex clientMutex;
    HttpClient* runningClient = nullptr;
    bool closing = false;
};
