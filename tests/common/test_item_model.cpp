#include "common/MyItemModel.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QStringList>

#include <gtest/gtest.h>

#include <vector>

namespace {

// Collects what QAbstractItemModelTester reports.
QStringList testerMessages;

void collect(QtMsgType, const QMessageLogContext& ctx, const QString& msg)
{
    if (ctx.category && QByteArray(ctx.category) == "qt.modeltest")
        testerMessages << msg;
}

// An owner in the style of the page models: a plain vector shown through the model.
struct Owner {
    std::vector<QString> names;
    std::vector<int> sizes;
    MyItemModel model;
    int dataCalls = 0;

    Owner()
    {
        model.roles = {"name", "size"};
        model.rowCountFn = [this] { return int(names.size()); };
        model.dataFn = [this](int row, int role, const QString& roleName) -> QVariant {
            ++dataCalls;
            if (roleName == "name")
                return names.at(size_t(row));
            return role == 1 ? QVariant(sizes.at(size_t(row))) : QVariant();
        };
    }
    void insert(int pos, const QString& name, int size)
    {
        names.insert(names.begin() + pos, name);
        sizes.insert(sizes.begin() + pos, size);
        model.updateInsert(pos, 1);
    }
    void remove(int pos, int count)
    {
        names.erase(names.begin() + pos, names.begin() + pos + count);
        sizes.erase(sizes.begin() + pos, sizes.begin() + pos + count);
        model.updateRemove(pos, count);
    }
    QString nameAt(int row) const
    {
        return model.data(model.index(row, 0), 0).toString();
    }
};

class ItemModelTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        testerMessages.clear();
        previous = qInstallMessageHandler(collect);
    }
    void TearDown() override { qInstallMessageHandler(previous); }
    QtMessageHandler previous = nullptr;
};

} // namespace

TEST_F(ItemModelTest, UnsetFunctionsGiveAnEmptyModel)
{
    MyItemModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Warning);
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_FALSE(model.data(model.index(0, 0), 0).isValid());
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    model.update(0, 1);
    model.updateReset();
    EXPECT_EQ(changed.count(), 0);
    EXPECT_TRUE(model.roleNames().isEmpty());
    EXPECT_TRUE(testerMessages.isEmpty()) << testerMessages.join('\n').toStdString();
}

TEST_F(ItemModelTest, OwnerEditsPassTheModelTester)
{
    Owner o;
    QAbstractItemModelTester tester(&o.model, QAbstractItemModelTester::FailureReportingMode::Warning);
    QSignalSpy inserted(&o.model, &QAbstractItemModel::rowsInserted);
    QSignalSpy removed(&o.model, &QAbstractItemModel::rowsRemoved);

    for (int i = 0; i < 5; ++i)
        o.insert(i, QString("n%1").arg(i), i * 10);
    o.insert(0, "first", 1);
    o.insert(3, "middle", 2);
    EXPECT_EQ(inserted.count(), 7);
    EXPECT_EQ(o.model.rowCount(), 7);
    EXPECT_EQ(o.model.columnCount(), 1);
    EXPECT_EQ(o.nameAt(0), "first");
    EXPECT_EQ(o.nameAt(3), "middle");
    EXPECT_EQ(o.model.data(o.model.index(6, 0), 1).toInt(), 40);

    o.remove(3, 1);
    o.remove(0, 2);
    o.remove(o.model.rowCount() - 1, 1);
    EXPECT_EQ(removed.count(), 3);
    EXPECT_EQ(o.model.rowCount(), 3);
    EXPECT_EQ(o.nameAt(0), "n1");
    EXPECT_EQ(o.nameAt(2), "n3");

    // A re-sort reported over all rows, then a reload.
    std::reverse(o.names.begin(), o.names.end());
    o.model.update(0, o.model.rowCount());
    EXPECT_EQ(o.nameAt(0), "n3");
    o.names.assign({"x", "y"});
    o.sizes.assign({1, 2});
    o.model.updateReset();
    EXPECT_EQ(o.model.rowCount(), 2);
    o.remove(0, 2);
    EXPECT_EQ(o.model.rowCount(), 0);

    EXPECT_TRUE(testerMessages.isEmpty()) << testerMessages.join('\n').toStdString();
}

TEST_F(ItemModelTest, ViewsSeeTheOldRowsUntilTheChangeIsAnnounced)
{
    Owner o;
    for (int i = 0; i < 4; ++i)
        o.insert(i, QString("n%1").arg(i), i);
    QStringList seen;
    QObject::connect(&o.model, &QAbstractItemModel::rowsAboutToBeRemoved, [&](const QModelIndex&, int, int) {
        seen << QString("before %1 %2 %3").arg(o.model.rowCount()).arg(o.nameAt(1), o.nameAt(3));
    });
    QObject::connect(&o.model, &QAbstractItemModel::rowsRemoved, [&](const QModelIndex&, int, int) {
        seen << QString("after %1 %2").arg(o.model.rowCount()).arg(o.nameAt(1));
    });
    QObject::connect(&o.model, &QAbstractItemModel::rowsAboutToBeInserted, [&](const QModelIndex&, int, int) {
        seen << QString("before %1 %2").arg(o.model.rowCount()).arg(o.nameAt(1));
    });
    o.remove(1, 2);
    o.insert(1, "new", 0);
    // The removed rows themselves are gone from the owner: they read as invalid.
    EXPECT_EQ(seen, QStringList({"before 4  n3", "after 2 n3", "before 2 n3"}));
}

TEST_F(ItemModelTest, UpdateRanges)
{
    Owner o;
    for (int i = 0; i < 8; ++i)
        o.insert(i, QString("n%1").arg(i), i);
    QAbstractItemModelTester tester(&o.model, QAbstractItemModelTester::FailureReportingMode::Warning);
    QSignalSpy changed(&o.model, &QAbstractItemModel::dataChanged);
    o.model.update(5, 10);
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed[0][0].toModelIndex().row(), 5);
    EXPECT_EQ(changed[0][1].toModelIndex().row(), 7);
    EXPECT_EQ(changed[0][1].toModelIndex().column(), 0);
    EXPECT_TRUE(changed[0][2].value<QVector<int>>().isEmpty());
    changed.clear();
    o.model.update(8, 1);
    o.model.update(-1, 3);
    o.model.update(2, 0);
    o.model.update(2, -4);
    o.model.update(2, INT_MAX);
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed[0][1].toModelIndex().row(), 7);

    QSignalSpy inserted(&o.model, &QAbstractItemModel::rowsInserted);
    QSignalSpy removed(&o.model, &QAbstractItemModel::rowsRemoved);
    o.model.updateInsert(0, 0);
    o.model.updateRemove(0, 0);
    o.model.updateRemove(3, -1);
    // Claims the owner's container cannot back are ignored.
    o.model.updateRemove(-1, 1);
    o.model.updateRemove(9, 1);
    o.model.updateInsert(0, 9);
    o.model.updateInsert(-1, 1);
    EXPECT_EQ(inserted.count(), 0);
    EXPECT_EQ(removed.count(), 0);
    EXPECT_TRUE(testerMessages.isEmpty()) << testerMessages.join('\n').toStdString();
}

TEST_F(ItemModelTest, RolesArePositionsAndOutOfRangeNeverReachesTheOwner)
{
    Owner o;
    o.insert(0, "a", 5);
    EXPECT_EQ(o.model.roleNames(), (QHash<int, QByteArray>{{0, "name"}, {1, "size"}}));
    int before = o.dataCalls;
    EXPECT_FALSE(o.model.data(o.model.index(0, 0), 2).isValid());
    EXPECT_FALSE(o.model.data(o.model.index(0, 0), -1).isValid());
    EXPECT_FALSE(o.model.data(o.model.index(1, 0), 0).isValid());
    EXPECT_FALSE(o.model.data(o.model.index(0, 1), 0).isValid());
    EXPECT_FALSE(o.model.data(QModelIndex(), 0).isValid());
    EXPECT_EQ(o.dataCalls, before);
    EXPECT_EQ(o.model.data(o.model.index(0, 0), 1).toInt(), 5);
    // A flat list: no children below a row.
    EXPECT_EQ(o.model.rowCount(o.model.index(0, 0)), 0);
    EXPECT_FALSE(o.model.parent(o.model.index(0, 0)).isValid());
    EXPECT_FALSE(o.model.index(1, 0).isValid());
}
