#pragma once

#include "projects/ProjectStore.h"
#include "projects/SegList.h"

#include <QObject>
#include <QString>

#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

// The page's writes of segment texts. A bubble's typing waits until 500 ms
// after its last key (per segment), then is written; merges and removals take
// the same line. One step runs on the store's worker at a time, because each
// is built on the list as the step before left it; the page is busy while
// one is on its way.
//
// Thread: GUI only; the steps' database work runs on the store's worker.
// State: `pending` (per segment, what waits for its delay or its turn),
// `inFlight` (per segment, the text being written now), `steps` (steps on the
// worker), `userSeg` (the segment the user types in).
class EditQueue : public QObject
{
    Q_OBJECT
public:
    EditQueue(ProjectStore& store, SegList& list, QObject* parent = nullptr);

    // A bubble's text and its cursor (UTF-16). An index outside the list is the
    // first bubble of an empty project. The same text again moves the cursor only.
    void textChanged(int idx, int cursor, const QString& text);
    // Joins segment idx (whose bubble shows text) to the one above it, 500 ms later.
    void merge(int idx, const QString& text);
    // Deletes a segment with its audio, dropping what waits for it.
    void remove(int segId);

    // The way a step that changes the list reaches the store's worker: edits,
    // merges, removals and the settings dialogs' writes. One runs at a time,
    // each built on the list as the one before left it; the page is busy
    // meanwhile. done runs on the GUI thread.
    template <typename Work, typename Done>
    void step(Work work, Done done)
    {
        ++steps;
        emit busyChanged(true);
        store.call(std::move(work), [this, done = std::move(done)](auto result) mutable {
            --steps;
            emit busyChanged(false);
            done(std::move(result));
            runDue();
        });
    }

    // Writes what waits now, then runs fn (at once when nothing waits).
    void whenWritten(std::function<void()> fn);
    // Writes everything that waits, merges too; then runs then. Takes no edit afterwards.
    void drain(std::function<void()> then);
    // Hands the waiting edits to the worker at once and forgets the rest (the
    // model is being destroyed: no result comes back).
    void flush();

    // What its bubble shows: the text of its waiting edit, else the one in
    // flight; null when neither is.
    const std::string* latestText(int segId) const;

signals:
    void busyChanged(bool busy);
    // The user's cursor is now in that segment's bubble, at cursor.
    void focusRequested(int segId, int cursor);

private:
    struct Pending
    {
        quint64 serial = 0;
        bool isMerge = false;
        bool due = false;     // its delay has passed: it runs in its turn
        std::string text;     // edit: the text to write; merge: the bubble's text
        int cursor = -1;      // edit: the user's cursor in text, -1 when elsewhere
        std::string baseline; // merge: the removed segment's heldText when asked
    };
    struct Flight
    {
        std::string text;
        int cursor = -1;
    };
    struct EditResult
    {
        bool ok = false;
        QString error;
        std::vector<ProjectSeg> out;
    };

    void schedule(int segId, Pending p);
    void runDue();
    void runEdit(int segId, const Pending& p);
    void editDone(int segId, const EditResult& r);
    void runMerge(int removedId, Pending p);
    // error: empty when the merge was stored.
    void mergeDone(int keptId, int removedId, const QString& error, const ProjectSeg& kept);
    void reload();
    // The text the segment holds once the write on its way is in (the stored
    // text when none is): what typing is compared with, and what a merge
    // expects to join.
    std::string heldText(int segId) const;

    ProjectStore& store;
    SegList& list;
    std::map<int, Pending> pending;
    std::map<int, Flight> inFlight;
    quint64 serial = 0;
    int steps = 0;
    int userSeg = -1;
    bool draining = false;
    bool closed = false;
    std::function<void()> drained;
    std::vector<std::function<void()>> waiters;
};
