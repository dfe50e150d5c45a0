#pragma once

// Clicking QML items of a loaded window as a user would.

#include "TestUtil.h"

#include <QQuickItem>
#include <QQuickWindow>
#include <QTest>
#include <QtQuickTest>

namespace testutil {

// A real press and release of the mouse at the middle of item, once the
// layouts it sits in have placed it (a Row moves a button that was just shown
// only when it is next polished).
inline void clickCentre(QQuickWindow* window, QQuickItem* item)
{
    for (QQuickItem* up = item; up; up = up->parentItem()) {
        if (QQuickTest::qIsPolishScheduled(up))
            QQuickTest::qWaitForItemPolished(up, hangLimitMs);
    }
    QPointF centre = item->mapToScene(QPointF(item->width() / 2, item->height() / 2));
    QTest::mouseClick(window, Qt::LeftButton, Qt::NoModifier, centre.toPoint());
}

} // namespace testutil
