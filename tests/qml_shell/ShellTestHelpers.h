#pragma once

#include "common/FileUtils.h"
#include "common/MessageBoxContext.h"
#include "projects/ProjectFolder.h"
#include "projects/ProjectModel.h"
#include "voices/VoiceStore.h"

#include <QDesktopServices>
#include <QObject>
#include <QSemaphore>
#include <QStringList>
#include <QTemporaryDir>
#include <QUrl>
#include <QVariantList>

#include <memory>

// Stands where the root context's "engine" is: records quit and exit calls
// in one log with the notes of the test pages.
class QuitRecorder : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QStringList log READ log NOTIFY logChanged)
public:
    QStringList log() const { return entries; }
    Q_INVOKABLE void note(const QString& what)
    {
        entries.append(what);
        emit logChanged();
    }
    Q_INVOKABLE void clear()
    {
        entries.clear();
        emit logChanged();
    }
    Q_INVOKABLE void quit() { note("quit"); }
    Q_INVOKABLE void exit(int code) { note(QString("exit:%1").arg(code)); }

    // Takes the browser away (no stand-in, no opener on PATH), or gives it back.
    Q_INVOKABLE void setBrowserGone(bool gone)
    {
        if (gone == browserGone)
            return;
        browserGone = gone;
        for (const char* scheme : {"http", "https"}) {
            if (gone)
                QDesktopServices::unsetUrlHandler(scheme);
            else
                QDesktopServices::setUrlHandler(scheme, this, "openUrl");
        }
        if (gone)
            savedPath = qgetenv("PATH");
        qunsetenv("BROWSER");
        qunsetenv("DEFAULT_BROWSER");
        qputenv("PATH", gone ? noOpener.path().toUtf8() : savedPath);
    }

public slots:
    // Stands for the desktop's browser.
    void openUrl(const QUrl& url) { note("open:" + url.toString()); }

signals:
    void logChanged();

private:
    QStringList entries;
    QTemporaryDir noOpener;
    QByteArray savedPath;
    bool browserGone = false;
};

// Sends message-box requests the way the models do, through the process-wide
// context, with callbacks that record which button ran.
class MsgboxSender : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QStringList ran READ ran NOTIFY ranChanged)
public:
    QStringList ran() const { return calls; }

    // buttons: Button values; names: captions; a caption starting with '~'
    // gets no callback.
    Q_INVOKABLE void send(const QString& title, const QString& msg, int icon, const QVariantList& buttons,
                          const QStringList& names)
    {
        QList<MsgboxButton> list;
        for (int i = 0; i < buttons.size(); ++i) {
            MsgboxButton b;
            b.button = buttons[i].toInt();
            b.name = names.value(i);
            if (!b.name.startsWith('~')) {
                QString name = b.name;
                b.cb = [this, name]() {
                    calls.append(name);
                    emit ranChanged();
                };
            }
            list.append(b);
        }
        showMsgbox(MessageBoxContext::instance(), title, msg, icon, list);
    }
    Q_INVOKABLE void clear()
    {
        calls.clear();
        emit ranChanged();
    }

signals:
    void ranChanged();

private:
    QStringList calls;
};

// Projects on disk for the page tests.
class ProjectMaker : public QObject
{
    Q_OBJECT
public:
    // A project spoken by the given installed voice, one segment a text; its folder.
    Q_INVOKABLE QString make(const QString& name, const QString& uid, const QStringList& texts)
    {
        LocalVoice voice;
        findInstalledVoice(uid.toStdString(), 0, voice);
        std::filesystem::path dir = ProjectFolder::projectsDir() / name.toStdString();
        ProjectFolder p;
        if (!p.create(dir, name.toStdString(), voice, 1.0f))
            return QString();
        std::vector<ProjectSeg> segs;
        for (const QString& t : texts) {
            ProjectSeg s;
            s.text = t.toStdString();
            segs.push_back(s);
        }
        if (!segs.empty() && !p.db().insertSegsAfter(0, segs, 0, 0))
            return QString();
        return QString::fromStdString(dir.string());
    }
    // The segment texts the project at path holds, in order.
    Q_INVOKABLE QStringList texts(const QString& path)
    {
        QStringList out;
        ProjectFolder p;
        if (p.open(path.toStdString()))
            p.db().loadSegs([&out](const ProjectSeg& s) { out << QString::fromStdString(s.text); });
        return out;
    }
    Q_INVOKABLE void clear() { removeAll(ProjectFolder::projectsDir()); }

    // Keeps the worker of a project page's model busy until releaseWorker():
    // the page's steps wait there in their order.
    Q_INVOKABLE bool holdWorker(QObject* model)
    {
        auto* page = qobject_cast<ProjectModel*>(model);
        if (!page)
            return false;
        releaseWorker();
        gate = std::make_shared<QSemaphore>(0);
        page->projectStore().run([held = gate](ProjectFolder&) { held->acquire(); });
        return true;
    }
    Q_INVOKABLE void releaseWorker()
    {
        if (gate)
            gate->release();
        gate.reset();
    }
    ~ProjectMaker() override { releaseWorker(); }

private:
    std::shared_ptr<QSemaphore> gate;
};
