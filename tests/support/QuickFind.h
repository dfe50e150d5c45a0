#pragma once

// Finding QML objects by objectName in a loaded window.

#include <QList>
#include <QObject>
#include <QQuickItem>
#include <QString>

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

} // namespace testutil
