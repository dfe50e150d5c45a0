#pragma once

#include "common/MessageBoxContext.h"

#include <QList>
#include <QObject>
#include <QVariantMap>

// Collects the message boxes the models ask for, and presses their buttons.
struct MsgboxLog
{
    MsgboxLog()
    {
        conn = QObject::connect(MessageBoxContext::instance(), &MessageBoxContext::msgbox,
                                [this](const QVariantMap& e) { boxes.append(e); });
    }
    ~MsgboxLog() { QObject::disconnect(conn); }

    // Runs the callback of button i of box n, as the page does.
    void press(int n, int i) const
    {
        QVariantList cbs = boxes.value(n).value("cbs").toList();
        MessageBoxContext::instance()->callBack(cbs.value(i).value<MessageBoxContext::CallBack>());
    }

    QList<QVariantMap> boxes;
    QMetaObject::Connection conn;
};
