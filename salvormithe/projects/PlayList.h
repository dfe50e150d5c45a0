#pragma once

#include <QList>
#include <QString>

#include <cstdint>

// One segment of the play-all order with its stored length.
struct PlayItem
{
    int32_t segId = 0;
    double seconds = 0;
};

// "hh:mm:ss" of a position in seconds (fractions dropped).
QString playTimeText(double position);

// The item playing at position p: the first whose running sum of seconds
// reaches p; -1 when p lies beyond the whole list.
int playItemAt(const QList<PlayItem>& items, double p);

// The whole second to seek to for a slider position of 0..100 of the list's
// exact total length.
int playSeekSeconds(const QList<PlayItem>& items, int progress);

// Percentage of the whole list played at position p; 0 for an empty total.
int playProgressPercent(const QList<PlayItem>& items, double p);
