#pragma once

#include <QAbstractItemModel>
#include <QList>
#include <QString>

#include <algorithm>
#include <functional>
#include <vector>

// A flat list model over rows its owner keeps. The owner sets the functions
// and role names, changes its own data first and then calls one of the slots.
class MyItemModel : public QAbstractItemModel
{
    Q_OBJECT
public:
    explicit MyItemModel(QObject* parent = nullptr);
    ~MyItemModel() override;

    std::function<int()> rowCountFn;
    std::function<QVariant(int row, int role, QString roleName)> dataFn;
    // The role id of a name is its position in the list.
    QList<QString> roles;

    QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
    using QObject::parent;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    // After the owner removed one row: announces it, and the changed
    // positions of the rows after it.
    void updateRemoveRow(int row);
    // After the owner inserted count rows at pos: the same for an insertion.
    void updateInsertRows(int pos, int count);
    // Removes the first of the owner's rows that is, and announces it; false when none is.
    template <typename T, typename Pred>
    bool removeRowWhere(std::vector<T>& rows, Pred is)
    {
        auto it = std::find_if(rows.begin(), rows.end(), is);
        if (it == rows.end())
            return false;
        const int row = int(it - rows.begin());
        rows.erase(it);
        updateRemoveRow(row);
        return true;
    }

public slots:
    void update(int pos, int count);
    void updateReset();
    void updateRemove(int pos, int count);
    void updateInsert(int pos, int count);

private:
    int ownerRows() const;
    // Row of the owner's container that a row the views know maps to, -1 when gone.
    int ownerRow(int row) const;

    // While an insert or removal is being announced, the views still see the
    // rows as they were: `pendingCount` rows at `pendingPos` were added (> 0)
    // or removed (< 0) by the owner already.
    int pendingPos = 0;
    int pendingCount = 0;
};
