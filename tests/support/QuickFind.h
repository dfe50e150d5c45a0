#pragma once

// Finding QML objects by objectName in a loaded window, and clicking them.

#include "TestUtil.h"

#include <QList>
#include <QObject>
#include <QQuickItem>
#include <QQuickWindow>
#include <QString>
#include <QTest>
#include <QtQuickTest>

namespace testutil {

// Walks QObject children and visual children (delegates and popups hang on the latter).
inline QObject* findNamed(QObject* root, const QString& name)
{
    if (!root)
        return nullptr;
    if (root->objectName() == name)
        return root;
    QList<QObject*> next = root->children();
    if (auto* item = qobject_cast<QQuickItem*>(root)) {
        for (QQuickItem* child : item->childItems())
            if (!next.contains(child))
                next.append(child);
    }
    for (QObject* child : next) {
        if (QObject* found = findNamed(child, name))
            return found;
    }
    return nullptr;
}

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
