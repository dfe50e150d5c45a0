#include "common/FolderRemover.h"

#include "common/FileUtils.h"

FolderRemover::FolderRemover(QObject* parent) : QObject(parent) {}

FolderRemover::~FolderRemover()
{
    worker.quit();
    worker.wait();
}

void FolderRemover::remove(const std::filesystem::path& path, std::function<void(const std::string& error)> done)
{
    if (closing)
        return;
    if (++pending == 1)
        emit busyChanged();
    runInWorkerThread(&worker, [this, path, done]() {
        std::string error;
        removeAll(path, error);
        invoker.post(
            [this, error, done]() {
                if (done)
                    done(error);
                if (--pending == 0)
                    emit busyChanged();
            },
            guiThread());
    });
}

void FolderRemover::close(std::function<void()> then)
{
    closing = true;
    quitThreadThen(&worker, std::move(then));
}
