#pragma once

#include "common/MyItemModel.h"

#include <QObject>
#include <QPointer>
#include <QStringList>

#include <vector>

// Stands in for a page model in the QML tests: asks for message boxes the way
// models do and shows a list through MyItemModel.
class QmlTestProbe : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QStringList answers READ answers NOTIFY answersChanged)
public:
    explicit QmlTestProbe(QObject* parent = nullptr);

    QStringList answers() const { return answerList; }

    Q_INVOKABLE void clear();
    Q_INVOKABLE void askYesNo(const QString& title, const QString& msg);
    Q_INVOKABLE void showError(const QString& msg);
    Q_INVOKABLE void showWithoutCallback(const QString& msg);
    // A box whose callback belongs to a model that may go away first.
    Q_INVOKABLE void askOwned(const QString& msg);
    Q_INVOKABLE void dropOwner();

    Q_INVOKABLE QAbstractItemModel* itemModel() { return &model; }
    Q_INVOKABLE void setNames(const QStringList& names);
    Q_INVOKABLE void insertName(int pos, const QString& name);
    Q_INVOKABLE void removeAt(int pos);
    Q_INVOKABLE void rename(int pos, const QString& name);

signals:
    void answersChanged();

private:
    void answer(const QString& a);

    QStringList answerList;
    QPointer<QObject> owner;
    std::vector<QString> names;
    MyItemModel model;
};
