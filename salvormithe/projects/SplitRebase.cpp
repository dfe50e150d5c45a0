#include "projects/SplitRebase.h"

#include <QStringList>

#include <algorithm>

namespace {

// The blanks a stored segment text never starts or ends with.
bool isTrimmed(QChar c)
{
    return c == '\r' || c == '\n' || c == '\t' || c == ' ' || c == QChar(0x3000);
}

int leadingBlanks(const QString& line)
{
    int i = 0;
    while (i < line.size() && isTrimmed(line[i]))
        ++i;
    return i;
}

int trimmedLength(const QString& line)
{
    int end = line.size();
    while (end > 0 && isTrimmed(line[end - 1]))
        --end;
    return std::max(0, end - leadingBlanks(line));
}

// Who shows one line of the latest text: a segment, and where the line starts
// in the text that segment then shows (-1: the segment shows its stored,
// trimmed line, with lead blanks cut from its start).
struct LineOwner
{
    int seg = -1;
    int start = -1;
    int lead = 0;
    int length = 0;
};

} // namespace

SplitRebase SplitRebase::of(const QString& written, const std::vector<Seg>& made, const QString& latest, int cursor)
{
    SplitRebase r;
    if (made.empty())
        return r;
    const QStringList w = written.split('\n');
    const QStringList p = latest.split('\n');
    const int nw = w.size(), np = p.size();

    // The segment each written line became (-1: a blank line, dropped).
    std::vector<int> segOf(size_t(nw), -1);
    int kept = 0;
    for (int i = 0; i < nw; ++i)
        if (trimmedLength(w[i]) > 0)
            segOf[size_t(i)] = kept++;
    if (kept == 0) {
        // Nothing but blanks: one empty segment, which takes the whole text.
        std::fill(segOf.begin(), segOf.end(), -1);
        segOf[0] = 0;
        kept = 1;
    }
    if (kept != int(made.size())) {
        if (cursor >= 0) {
            r.focusSegId = made.back().id;
            r.focusCursor = made.back().text.size();
        }
        return r;
    }

    // Lines alike at the start and at the end; between them the latest text
    // replaced written lines [a, nw - b) by its lines [a, np - b).
    int a = 0;
    while (a < nw && a < np && w[a] == p[a])
        ++a;
    int b = 0;
    while (b < nw - a && b < np - a && w[nw - 1 - b] == p[np - 1 - b])
        ++b;

    std::vector<LineOwner> owner(static_cast<size_t>(np));
    for (int i = 0; i < np; ++i) {
        const int wi = i < a ? i : (i >= np - b ? i - np + nw : -1);
        if (wi >= 0 && segOf[size_t(wi)] >= 0)
            owner[size_t(i)] = {segOf[size_t(wi)], -1, leadingBlanks(w[wi]), trimmedLength(w[wi])};
    }
    if (a < nw || a < np) {
        // The changed lines go to the first segment among them; without one,
        // to the segment of the line above them, else of the line below.
        int target = -1, from = a, to = np - b; // latest lines [from, to)
        for (int i = a; i < nw - b && target < 0; ++i)
            target = segOf[size_t(i)];
        for (int i = a - 1; target < 0 && i >= 0; --i)
            if (segOf[size_t(i)] >= 0) {
                target = segOf[size_t(i)];
                from = i;
            }
        for (int i = nw - b; target < 0 && i < nw; ++i)
            if (segOf[size_t(i)] >= 0) {
                target = segOf[size_t(i)];
                to = i - nw + np + 1;
            }
        QString text;
        for (int i = from; i < to; ++i) {
            owner[size_t(i)] = {target, text.size() + (i > from ? 1 : 0), 0, p[i].size()};
            if (i > from)
                text += '\n';
            text += p[i];
        }
        for (int i = a; i < nw - b; ++i) {
            const int s = segOf[size_t(i)];
            if (s >= 0 && s != target)
                r.edits.push_back({made[size_t(s)].id, QString(), -1});
        }
        if (text != made[size_t(target)].text)
            r.edits.insert(r.edits.begin(), {made[size_t(target)].id, text, -1});
    }

    if (cursor < 0)
        return r;
    cursor = std::clamp(cursor, 0, latest.size());
    const int line = latest.left(cursor).count('\n');
    const int column = cursor == 0 ? 0 : cursor - (latest.lastIndexOf('\n', cursor - 1) + 1);
    // A blank line shows nowhere: the cursor goes to the end of the line
    // above that shows, else to the start of the one below.
    int at = line, col = column;
    for (int i = line - 1; i >= 0 && owner[size_t(at)].seg < 0; --i) {
        at = i;
        col = p[i].size();
    }
    for (int i = line + 1; owner[size_t(at)].seg < 0 && i < np; ++i) {
        at = i;
        col = 0;
    }
    const LineOwner& o = owner[size_t(at)];
    if (o.seg < 0)
        return r;
    r.focusSegId = made[size_t(o.seg)].id;
    if (o.start >= 0) {
        r.focusCursor = o.start + std::min(col, o.length);
        for (Edit& e : r.edits)
            if (e.segId == r.focusSegId)
                e.cursor = r.focusCursor;
    } else {
        r.focusCursor = std::clamp(col - o.lead, 0, o.length);
    }
    return r;
}
