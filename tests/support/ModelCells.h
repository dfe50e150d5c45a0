#pragma once

// Reading a list model's cells by role name.

#include <QAbstractItemModel>
#include <QStringList>
#include <QVariant>

namespace testutil {

inline QVariant cell(const QAbstractItemModel* m, int row, const char* role)
{
    return m->data(m->index(row, 0), m->roleNames().key(role, -1));
}

// The role's text of every row, in order.
inline QStringList column(const QAbstractItemModel* m, const char* role)
{
    QStringList out;
    for (int r = 0; r < m->rowCount(); ++r)
        out << cell(m, r, role).toString();
    return out;
}

} // namespace testutil
