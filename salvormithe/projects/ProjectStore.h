#pragma once

#include "common/InvokeContext.h"
#include "projects/ProjectFolder.h"

#include <QThread>

#include <functional>
#include <memory>
#include <type_traits>
#include <utility>

// The open project's folder and database, and the one worker thread that uses
// them: every database and file step of the project page runs here, one after
// the other in the order it was handed over.
//
// Threads: the store is made, called and destroyed on the GUI thread. Its
// ProjectFolder is touched only on the worker, by the functions handed to
// run() and call(); their results come back to the GUI thread through call(),
// and are dropped once the store is gone.
class ProjectStore
{
public:
    ProjectStore();
    // Waits, without limit, for what the worker still runs; nothing new starts.
    ~ProjectStore();
    ProjectStore(const ProjectStore&) = delete;
    ProjectStore& operator=(const ProjectStore&) = delete;

    // Runs work(project) on the worker, after everything handed over before.
    void run(std::function<void(ProjectFolder&)> work);

    // Runs work(project) on the worker, then done(result) on the GUI thread.
    template <typename Work, typename Done>
    void call(Work work, Done done)
    {
        using Result = std::invoke_result_t<Work&, ProjectFolder&>;
        InvokeContext* back = &invoker;
        run([work = std::move(work), done = std::move(done), back](ProjectFolder& project) mutable {
            auto result = std::make_shared<Result>(work(project));
            back->post([done = std::move(done), result]() mutable { done(std::move(*result)); }, guiThread());
        });
    }

    // Ends the worker once everything handed over so far has run; then, on
    // the GUI thread. Work handed over afterwards is dropped.
    void quit(std::function<void()> then);
    // Ends the worker and blocks until it has.
    void quitAndWait();

private:
    ProjectFolder project; // worker thread only
    QThread worker;
    InvokeContext invoker; // results to the GUI thread
    bool quitting = false;
};
