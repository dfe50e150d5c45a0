#include "projects/EditQueue.h"

#include "common/QtText.h"
#include "common/TextUtils.h"
#include "projects/PageMessages.h"
#include "projects/SplitRebase.h"

#include <QTimer>

#include <climits>

EditQueue::EditQueue(ProjectStore& store, SegList& list, QObject* parent)
    : QObject(parent), store(store), list(list)
{
}

std::string EditQueue::heldText(int segId) const
{
    auto f = inFlight.find(segId);
    if (f != inFlight.end())
        return f->second.text;
    const int row = segId == 0 ? -1 : list.rowOf(segId);
    return row < 0 ? std::string() : list.at(row).text;
}

const std::string* EditQueue::latestText(int segId) const
{
    auto p = pending.find(segId);
    if (p != pending.end())
        return &p->second.text;
    auto f = inFlight.find(segId);
    return f != inFlight.end() ? &f->second.text : nullptr;
}

void EditQueue::textChanged(int idx, int cursor, const QString& text)
{
    if (closed)
        return;
    const bool inList = idx >= 0 && idx < list.count();
    if (!inList && !list.isEmpty())
        return; // the empty project's bubble, which has segments by now
    const int id = inList ? list.at(idx).id : 0;
    userSeg = id;
    const std::string t = text.toStdString();
    auto p = pending.find(id);
    if (p != pending.end() && p->second.text == t) {
        p->second.cursor = cursor;
        return;
    }
    if (t == heldText(id)) {
        auto f = inFlight.find(id);
        if (f != inFlight.end())
            f->second.cursor = cursor;
        if (p != pending.end())
            pending.erase(p);
        return;
    }
    Pending edit;
    edit.text = t;
    edit.cursor = cursor;
    schedule(id, std::move(edit));
}

void EditQueue::merge(int idx, const QString& text)
{
    if (closed || idx < 1 || idx >= list.count())
        return;
    userSeg = list.at(idx).id;
    Pending m;
    m.isMerge = true;
    m.text = text.toStdString();
    m.baseline = heldText(userSeg);
    schedule(userSeg, std::move(m));
}

void EditQueue::remove(int segId)
{
    if (closed || list.rowOf(segId) < 0)
        return;
    pending.erase(segId);
    step(
        [segId](ProjectFolder& project) {
            bool ok = project.db().deleteSeg(segId, [&project](int id) { project.removeSegAudio(id); });
            return ok ? QString() : fromUtf8(project.db().lastError());
        },
        [this, segId](const QString& error) {
            const int row = list.rowOf(segId);
            if (!error.isEmpty())
                pagebox::error(this, error);
            else if (row >= 0)
                list.removeRow(row);
        });
}

void EditQueue::schedule(int segId, Pending p)
{
    p.serial = ++serial;
    const quint64 s = p.serial;
    const bool due = p.due;
    pending[segId] = std::move(p);
    if (due)
        return;
    QTimer::singleShot(500, this, [this, segId, s]() {
        auto it = pending.find(segId);
        if (it == pending.end() || it->second.serial != s)
            return;
        it->second.due = true;
        runDue();
    });
}

void EditQueue::runDue()
{
    while (steps == 0) {
        auto it = pending.begin();
        while (it != pending.end() && !it->second.due && !draining)
            ++it;
        if (it == pending.end())
            break;
        const int id = it->first;
        Pending p = std::move(it->second);
        pending.erase(it);
        if (p.isMerge)
            runMerge(id, std::move(p));
        else
            runEdit(id, p);
    }
    if (steps != 0 || !pending.empty())
        return;
    if (draining) {
        draining = false;
        closed = true;
        waiters.clear();
        if (auto then = std::move(drained))
            then();
        return;
    }
    auto ready = std::move(waiters);
    waiters.clear();
    for (auto& fn : ready)
        fn();
}

void EditQueue::whenWritten(std::function<void()> fn)
{
    if (steps == 0 && pending.empty()) {
        fn();
        return;
    }
    // Typing that still waits for its delay is written now, before what needs it.
    waiters.push_back(std::move(fn));
    for (auto& [id, p] : pending)
        p.due = true;
    runDue();
}

void EditQueue::drain(std::function<void()> then)
{
    draining = true;
    drained = std::move(then);
    runDue();
}

void EditQueue::flush()
{
    closed = true;
    for (const auto& [id, p] : pending) {
        const int row = id == 0 ? -1 : list.rowOf(id);
        if (p.isMerge || (id != 0 && row < 0) || (id == 0 && !list.isEmpty()))
            continue;
        ProjectSeg base = row < 0 ? ProjectSeg{} : list.at(row);
        store.run([base, text = p.text](ProjectFolder& project) {
            std::vector<ProjectSeg> out;
            project.db().splitTextToSegs(base, text, out);
        });
    }
    pending.clear();
}

void EditQueue::runEdit(int segId, const Pending& p)
{
    ProjectSeg base;
    if (segId != 0) {
        const int row = list.rowOf(segId);
        if (row < 0)
            return; // merged or removed meanwhile
        base = list.at(row);
    } else if (!list.isEmpty()) {
        return;
    }
    inFlight[segId] = Flight{p.text, p.cursor};
    step(
        [base, text = p.text](ProjectFolder& project) {
            EditResult r;
            r.ok = project.db().splitTextToSegs(base, text, r.out);
            if (!r.ok)
                r.error = fromUtf8(project.db().lastError());
            if (r.ok && base.id != 0 && !r.out.empty() && isBlankText(r.out.front().text)) {
                // Emptied: its old audio must not play or export any more.
                project.removeSegAudio(base.id);
                project.db().updateSegResult(r.out.front(), 0, 0);
            }
            return r;
        },
        [this, segId](const EditResult& r) { editDone(segId, r); });
}

void EditQueue::editDone(int segId, const EditResult& r)
{
    const Flight flight = inFlight[segId];
    inFlight.erase(segId);
    if (!r.ok) {
        pagebox::alert(this, r.error);
        return;
    }
    if (r.out.empty())
        return;
    int row = -1;
    if (segId != 0) {
        row = list.rowOf(segId);
        if (row < 0)
            return reload();
    }
    auto newer = pending.find(segId);
    if (newer != pending.end() && newer->second.isMerge) {
        // A merge asked meanwhile expects what was stored of the text in flight.
        if (r.out.size() == 1 && newer->second.baseline == flight.text)
            newer->second.baseline = r.out.front().text;
        newer = pending.end();
    }
    if (segId != 0 && r.out.size() == 1) {
        // A bubble with newer typing goes on showing it (latestText).
        list.change({segId}, [&r](ProjectSeg& s) { s = r.out.front(); });
        return;
    }

    // Split into lines (or the empty project's first text): keys typed while
    // it was written follow their lines, and so does the cursor.
    std::vector<SplitRebase::Seg> made;
    for (const ProjectSeg& s : r.out)
        made.push_back({s.id, fromUtf8(s.text)});
    const bool typedOn = newer != pending.end();
    const QString latest = fromUtf8(typedOn ? newer->second.text : flight.text);
    const int cursor = userSeg != segId ? -1 : (typedOn ? newer->second.cursor : flight.cursor);
    if (typedOn)
        pending.erase(newer);
    const SplitRebase rebase = SplitRebase::of(fromUtf8(flight.text), made, latest, cursor);
    for (const SplitRebase::Edit& e : rebase.edits) {
        Pending p;
        p.text = e.text.toStdString();
        p.cursor = e.cursor;
        p.due = true;
        schedule(e.segId, std::move(p));
    }
    // The new bubbles come with the texts that wait for them.
    if (segId == 0) {
        list.append(r.out);
    } else {
        list.change({segId}, [&r](ProjectSeg& s) { s = r.out.front(); });
        list.insertAt(row + 1, std::vector<ProjectSeg>(r.out.begin() + 1, r.out.end()));
    }
    if (rebase.focusSegId != 0) {
        userSeg = rebase.focusSegId;
        emit focusRequested(rebase.focusSegId, rebase.focusCursor);
    }
}

void EditQueue::runMerge(int removedId, Pending p)
{
    const int row = list.rowOf(removedId);
    if (row < 1)
        return;
    ProjectSeg kept = list.at(row - 1);
    auto keptEdit = pending.find(kept.id);
    if (keptEdit != pending.end() && !keptEdit->second.isMerge) {
        // The segment above has typing of its own waiting: it is written
        // first, and the merge joins its result.
        Pending first = std::move(keptEdit->second);
        pending.erase(keptEdit);
        p.due = true;
        schedule(removedId, std::move(p));
        runEdit(kept.id, first);
        return;
    }
    // A merge into this segment since the text was taken: the stored text is
    // newer than the bubble's.
    const std::string added = list.at(row).text == p.baseline ? p.text : list.at(row).text;
    step(
        [kept, removedId, added](ProjectFolder& project) mutable {
            bool ok = project.db().mergeSegText(kept, removedId, added,
                                                [&project](int id) { project.removeSegAudio(id); });
            QString error = ok ? QString() : fromUtf8(project.db().lastError());
            return std::make_pair(kept, error);
        },
        [this, keptId = kept.id, removedId](const std::pair<ProjectSeg, QString>& r) {
            mergeDone(keptId, removedId, r.second, r.first);
        });
}

void EditQueue::mergeDone(int keptId, int removedId, const QString& error, const ProjectSeg& kept)
{
    if (!error.isEmpty()) {
        pagebox::alert(this, error);
        // The removed row may be gone already: show what is stored.
        return reload();
    }
    const int row = list.rowOf(removedId);
    if (row >= 0)
        list.removeRow(row);
    list.change({keptId}, [&kept](ProjectSeg& s) { s = kept; });
    if (userSeg == removedId) {
        userSeg = keptId;
        emit focusRequested(keptId, INT_MAX);
    }
}

void EditQueue::reload()
{
    step(
        [](ProjectFolder& project) {
            QList<ProjectSeg> loaded;
            bool ok = project.db().loadSegs([&loaded](const ProjectSeg& s) { loaded.append(s); });
            return std::make_pair(loaded, ok ? QString() : fromUtf8(project.db().lastError()));
        },
        [this](const std::pair<QList<ProjectSeg>, QString>& r) {
            if (r.second.isEmpty())
                list.reset(r.first);
            else
                pagebox::error(this, r.second);
        });
}
