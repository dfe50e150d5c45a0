#include "common/MessageBoxContext.h"

#include <QVariantList>

namespace {
const int callBackTypeId = qRegisterMetaType<MessageBoxContext::CallBack>("MessageBoxContext::CallBack");
}

MessageBoxContext::MessageBoxContext(QObject* parent) : QObject(parent)
{
    (void)callBackTypeId;
}

MessageBoxContext* MessageBoxContext::instance()
{
    static MessageBoxContext* ctx = new MessageBoxContext;
    return ctx;
}

MessageBoxContext::CallBack MessageBoxContext::guarded(QObject* owner, CallBack cb)
{
    if (!cb)
        return cb;
    return [p = QPointer<QObject>(owner), cb = std::move(cb)]() {
        if (p)
            cb();
    };
}

void MessageBoxContext::callBack(MessageBoxContext::CallBack cb)
{
    if (cb)
        cb();
}

void showMsgbox(MessageBoxContext* ctx, const QString& title, const QString& msg, int icon,
                const QList<MsgboxButton>& buttons)
{
    if (!ctx)
        return;
    QVariantList values, names, cbs;
    for (const MsgboxButton& b : buttons) {
        values.append(b.button);
        names.append(b.name);
        cbs.append(QVariant::fromValue(b.cb));
    }
    QVariantMap e;
    e.insert("title", title);
    e.insert("msg", msg);
    e.insert("icon", icon);
    e.insert("buttons", values);
    e.insert("buttonNames", names);
    e.insert("cbs", cbs);
    emit ctx->msgbox(e);
}

void showMsgboxOk(MessageBoxContext* ctx, const QString& title, const QString& msg,
                  MessageBoxContext::CallBack cb, int icon, const QString& okName)
{
    showMsgbox(ctx, title, msg, icon, {MsgboxButton{MessageBoxContext::OK, okName, std::move(cb)}});
}

void showMsgboxYesNo(MessageBoxContext* ctx, const QString& title, const QString& msg,
                     MessageBoxContext::CallBack yesCb, MessageBoxContext::CallBack noCb, int icon,
                     const QString& yesName, const QString& noName)
{
    showMsgbox(ctx, title, msg, icon,
               {MsgboxButton{MessageBoxContext::Yes, yesName, std::move(yesCb)},
                MsgboxButton{MessageBoxContext::No, noName, std::move(noCb)}});
}

void showMsgboxError(MessageBoxContext* ctx, const QString& title, const QString& msg,
                     MessageBoxContext::CallBack cb, const QString& okName)
{
    showMsgboxOk(ctx, title, msg, std::move(cb), MessageBoxContext::Error, okName);
}
