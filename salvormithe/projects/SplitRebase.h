#pragma once

#include <QString>

#include <vector>

// A text written over one segment became one segment a line (blank lines
// dropped). Meanwhile the bubble may have taken more keys. SplitRebase says
// which of the new segments those keys belong to, and where the cursor is now.
struct SplitRebase
{
    struct Seg
    {
        int id = 0;
        QString text; // as stored: the trimmed line
    };
    struct Edit
    {
        int segId = 0;
        QString text;
        int cursor = -1; // the user's cursor in text, -1 when it is elsewhere
    };

    // written: the text that was split; made: the segments it gave, in order;
    // latest: the bubble's text now; cursor: its cursor in latest (UTF-16), -1
    // when the user is not in that bubble.
    static SplitRebase of(const QString& written, const std::vector<Seg>& made, const QString& latest, int cursor);

    // Texts that still have to be written over new segments.
    std::vector<Edit> edits;
    // The segment that holds the cursor now (0: none), and the cursor in its text.
    int focusSegId = 0;
    int focusCursor = 0;
};
