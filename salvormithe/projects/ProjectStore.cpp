#include "projects/ProjectStore.h"

ProjectStore::ProjectStore() = default;

ProjectStore::~ProjectStore()
{
    quitAndWait();
}

void ProjectStore::quitAndWait()
{
    quitting = true;
    if (!worker.isRunning())
        return;
    postToThread([this]() { worker.quit(); }, nullptr, &worker);
    worker.wait();
}

void ProjectStore::run(std::function<void(ProjectFolder&)> work)
{
    if (quitting)
        return;
    ProjectFolder* p = &project;
    runInWorkerThread(&worker, [p, work = std::move(work)]() { work(*p); }, nullptr);
}

void ProjectStore::quit(std::function<void()> then)
{
    quitting = true;
    quitThreadThen(&worker, std::move(then));
}
