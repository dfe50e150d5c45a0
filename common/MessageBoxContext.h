#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariantMap>

#include <functional>

// The process-wide channel through which models ask the pages for message boxes.
class MessageBoxContext : public QObject
{
    Q_OBJECT
public:
    enum Button { OK = 1, Cancel = 2, Yes = 4, No = 8 };
    Q_ENUM(Button)
    enum Icon { Alert = 1, Warning = 2, Question = 3, Error = 4, Suc = 5 };
    Q_ENUM(Icon)

    using CallBack = std::function<void()>;

    explicit MessageBoxContext(QObject* parent = nullptr);

    static MessageBoxContext* instance();

    // A callback that runs only while owner is alive: a box can outlive the
    // model that asked for it.
    static CallBack guarded(QObject* owner, CallBack cb);

signals:
    void msgbox(QVariantMap e);

public:
    Q_INVOKABLE void callBack(MessageBoxContext::CallBack cb);
};

Q_DECLARE_METATYPE(MessageBoxContext::CallBack)

struct MsgboxButton
{
    int button = MessageBoxContext::OK;
    QString name;
    MessageBoxContext::CallBack cb;
};

void showMsgbox(MessageBoxContext* ctx, const QString& title, const QString& msg, int icon,
                const QList<MsgboxButton>& buttons);
void showMsgboxOk(MessageBoxContext* ctx, const QString& title, const QString& msg,
                  MessageBoxContext::CallBack cb, int icon, const QString& okName);
void showMsgboxYesNo(MessageBoxContext* ctx, const QString& title, const QString& msg,
                     MessageBoxContext::CallBack yesCb, MessageBoxContext::CallBack noCb, int icon,
                     const QString& yesName, const QString& noName);
void showMsgboxError(MessageBoxContext* ctx, const QString& title, const QString& msg,
                     MessageBoxContext::CallBack cb, const QString& okName);
