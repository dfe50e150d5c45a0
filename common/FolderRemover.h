#pragma once

#include "common/InvokeContext.h"

#include <QObject>
#include <QThread>

#include <filesystem>
#include <functional>
#include <string>

// Removes whole folders of the user's (a recording, a training, a project) on
// a worker thread of its own, one after the other, so that the GUI thread
// never waits for the disk. Lives on the GUI thread.
class FolderRemover : public QObject
{
    Q_OBJECT
public:
    explicit FolderRemover(QObject* parent = nullptr);
    // Waits for the removals under way unless close() has ended them.
    ~FolderRemover() override;

    // Removes path with all it holds; done runs on the GUI thread afterwards
    // with an empty text when nothing is left at path, else the C library's
    // text. Nothing happens after close().
    void remove(const std::filesystem::path& path, std::function<void(const std::string& error)> done);
    // True from a remove() until its done has run.
    bool busy() const { return pending > 0; }
    // Lets the removals under way end, then calls then on the GUI thread (at
    // once when none runs).
    void close(std::function<void()> then);

signals:
    void busyChanged();

private:
    InvokeContext invoker;
    QThread worker;
    int pending = 0;
    bool closing = false;
};
