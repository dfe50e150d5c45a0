#pragma once

#include "common/InvokeContext.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QThread>
#include <QUrl>
#include <QVariant>

#include <atomic>

// The start page's model: a new empty project, or one new project per text or
// HTML file, and where the page goes afterwards.
class HomeModel : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool isLoading READ getIsLoading WRITE setIsLoading NOTIFY isLoadingChanged)
public:
    explicit HomeModel(QObject* parent = nullptr);
    ~HomeModel() override;

    bool getIsLoading() const { return isLoading; }
    void setIsLoading(bool value);

    // Makes a project folder for name in the projects folder; its path, or an
    // empty string with error filled. A failed creation leaves no folder behind.
    static QString createProjectWorker(const QString& name, const QVariant& voice, float srate,
                                       QString& error);

signals:
    void gotoProject(QString path);
    void gotoProjects();
    void toClose();
    void isLoadingChanged();

public:
    Q_INVOKABLE void createProject(QString projectName, QVariant voice, float srate);
    Q_INVOKABLE void convertFiles(QList<QUrl> fileUrls, QVariant voice, float srate);
    Q_INVOKABLE void close();

private:
    void convertFilesWorker(const QList<QUrl>& fileUrls, const QVariant& voice, float srate);
    void postFailure(const QString& error);
    // The content of a regular file of at most the import size; else false
    // with the reason.
    static bool readFileToImport(const QString& localPath, QByteArray& bytes, QString& error);

    bool isLoading = false;
    QThread worker;
    InvokeContext invoker;
    // Set by close() and the destructor: the files not yet started are skipped
    // and the page is no longer sent anywhere.
    std::atomic<bool> closing{false};
};
