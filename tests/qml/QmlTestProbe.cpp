#include "QmlTestProbe.h"

#include "common/MessageBoxContext.h"

QmlTestProbe::QmlTestProbe(QObject* parent) : QObject(parent)
{
    model.roles = {"name", "upper"};
    model.rowCountFn = [this] { return int(names.size()); };
    model.dataFn = [this](int row, int role, const QString&) -> QVariant {
        const QString& n = names.at(size_t(row));
        return role == 0 ? QVariant(n) : QVariant(n.toUpper());
    };
}

void QmlTestProbe::answer(const QString& a)
{
    answerList << a;
    emit answersChanged();
}

void QmlTestProbe::clear()
{
    answerList.clear();
    emit answersChanged();
}

void QmlTestProbe::askYesNo(const QString& title, const QString& msg)
{
    showMsgboxYesNo(
        MessageBoxContext::instance(), title, msg, [this] { answer("yes"); }, [this] { answer("no"); },
        MessageBoxContext::Question, tr("Yes"), tr("No"));
}

void QmlTestProbe::showError(const QString& msg)
{
    showMsgboxError(MessageBoxContext::instance(), QString(), msg, [this] { answer("ok"); }, tr("OK"));
}

void QmlTestProbe::showWithoutCallback(const QString& msg)
{
    showMsgboxOk(MessageBoxContext::instance(), QString(), msg, nullptr, MessageBoxContext::Alert, tr("OK"));
}

void QmlTestProbe::askOwned(const QString& msg)
{
    if (!owner)
        owner = new QObject(this);
    showMsgboxOk(MessageBoxContext::instance(), QString(), msg,
                 MessageBoxContext::guarded(owner, [this] { answer("owned"); }), MessageBoxContext::Warning,
                 tr("OK"));
}

void QmlTestProbe::dropOwner()
{
    delete owner;
}

void QmlTestProbe::setNames(const QStringList& list)
{
    names.assign(list.begin(), list.end());
    model.updateReset();
}

void QmlTestProbe::insertName(int pos, const QString& name)
{
    names.insert(names.begin() + pos, name);
    model.updateInsert(pos, 1);
}

void QmlTestProbe::removeAt(int pos)
{
    names.erase(names.begin() + pos);
    model.updateRemove(pos, 1);
}

void QmlTestProbe::rename(int pos, const QString& name)
{
    names.at(size_t(pos)) = name;
    model.update(pos, 1);
}
