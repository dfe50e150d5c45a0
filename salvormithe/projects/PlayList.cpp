#include "projects/PlayList.h"

QString playTimeText(double position)
{
    int s = position > 0 ? int(position) : 0;
    return QStringLiteral("%1:%2:%3")
        .arg(s / 3600, 2, 10, QLatin1Char('0'))
        .arg(s / 60 - (s / 3600) * 60, 2, 10, QLatin1Char('0'))
        .arg(s % 60, 2, 10, QLatin1Char('0'));
}

int playItemAt(const QList<PlayItem>& items, double p)
{
    double sum = 0;
    for (int i = 0; i < items.size(); ++i) {
        sum += items[i].seconds;
        if (sum >= p)
            return i;
    }
    return -1;
}

int playSeekSeconds(const QList<PlayItem>& items, int progress)
{
    double total = 0;
    for (const PlayItem& item : items)
        total += item.seconds;
    return int(progress * total / 100);
}

int playProgressPercent(const QList<PlayItem>& items, double p)
{
    double sum = 0;
    for (const PlayItem& item : items)
        sum += item.seconds;
    return sum != 0 ? int(p * 100 / sum) : 0;
}
