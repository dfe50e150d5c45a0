#include "common/MyItemModel.h"

#include <QQmlEngine>

#include <algorithm>

MyItemModel::MyItemModel(QObject* parent) : QAbstractItemModel(parent)
{
    // Handed to QML from invokables but owned by its owner: never collected by JavaScript.
    QQmlEngine::setObjectOwnership(this, QQmlEngine::CppOwnership);
    // Owners return it as QAbstractItemModel* from invokables.
    qRegisterMetaType<QAbstractItemModel*>();
}

MyItemModel::~MyItemModel() = default;

int MyItemModel::ownerRows() const
{
    return rowCountFn ? rowCountFn() : 0;
}

int MyItemModel::ownerRow(int row) const
{
    if (pendingCount == 0 || row < pendingPos)
        return row;
    if (pendingCount > 0)
        return row + pendingCount;
    if (row < pendingPos - pendingCount)
        return -1;
    return row + pendingCount;
}

QModelIndex MyItemModel::index(int row, int column, const QModelIndex& parent) const
{
    if (!hasIndex(row, column, parent))
        return QModelIndex();
    return createIndex(row, column);
}

QModelIndex MyItemModel::parent(const QModelIndex&) const
{
    return QModelIndex();
}

int MyItemModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid())
        return 0;
    return std::max(0, ownerRows() - pendingCount);
}

int MyItemModel::columnCount(const QModelIndex& parent) const
{
    // One column: every cell lives in column 0.
    return parent.isValid() ? 0 : 1;
}

QVariant MyItemModel::data(const QModelIndex& index, int role) const
{
    if (!dataFn || !index.isValid() || index.column() != 0)
        return QVariant();
    int row = index.row();
    if (row < 0 || row >= rowCount() || role < 0 || role >= roles.size())
        return QVariant();
    row = ownerRow(row);
    if (row < 0 || row >= ownerRows())
        return QVariant();
    return dataFn(row, role, roles.at(role));
}

QHash<int, QByteArray> MyItemModel::roleNames() const
{
    QHash<int, QByteArray> names;
    for (int i = 0; i < roles.size(); ++i)
        names.insert(i, roles.at(i).toUtf8());
    return names;
}

void MyItemModel::update(int pos, int count)
{
    if (!rowCountFn || count <= 0)
        return;
    int n = rowCountFn();
    if (n <= 0 || pos < 0 || pos >= n)
        return;
    int last = int(std::min<qint64>(qint64(pos) + count, n)) - 1;
    emit dataChanged(index(pos, 0), index(last, 0), QVector<int>());
}

void MyItemModel::updateReset()
{
    beginResetModel();
    endResetModel();
}

void MyItemModel::updateRemove(int pos, int count)
{
    if (count <= 0 || pos < 0)
        return;
    // The views know the rows from before the removal.
    int known = ownerRows() + count;
    if (qint64(pos) + count > known)
        return;
    pendingPos = pos;
    pendingCount = -count;
    beginRemoveRows(QModelIndex(), pos, pos + count - 1);
    pendingCount = 0;
    endRemoveRows();
}

void MyItemModel::updateInsert(int pos, int count)
{
    if (count <= 0 || pos < 0)
        return;
    int known = ownerRows() - count;
    if (known < 0 || pos > known)
        return;
    pendingPos = pos;
    pendingCount = count;
    beginInsertRows(QModelIndex(), pos, pos + count - 1);
    pendingCount = 0;
    endInsertRows();
}

void MyItemModel::updateRemoveRow(int row)
{
    updateRemove(row, 1);
    update(row, ownerRows() - row);
}

void MyItemModel::updateInsertRows(int pos, int count)
{
    updateInsert(pos, count);
    update(pos + count, ownerRows() - pos - count);
}
