#include "projects/PageMessages.h"

#include <QCoreApplication>

namespace pagebox {

QString tr(const char* source)
{
    return QCoreApplication::translate("ProjectModel", source);
}

void error(QObject* owner, const QString& text, MessageBoxContext::CallBack cb)
{
    showMsgboxError(MessageBoxContext::instance(), QString(), text, MessageBoxContext::guarded(owner, std::move(cb)),
                    tr("OK"));
}

void alert(QObject* owner, const QString& text, MessageBoxContext::CallBack cb)
{
    showMsgboxOk(MessageBoxContext::instance(), QString(), text, MessageBoxContext::guarded(owner, std::move(cb)),
                 MessageBoxContext::Alert, tr("OK"));
}

void question(QObject* owner, const QString& text, MessageBoxContext::CallBack yes)
{
    showMsgboxYesNo(MessageBoxContext::instance(), QString(), text,
                    MessageBoxContext::guarded(owner, std::move(yes)), nullptr, MessageBoxContext::Question,
                    tr("Yes"), tr("No"));
}

} // namespace pagebox
