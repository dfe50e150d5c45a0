#include "common/LinkOpener.h"

#include "common/Platform.h"

LinkOpener::LinkOpener(QObject* parent) : QObject(parent) {}

LinkOpener* LinkOpener::instance()
{
    static LinkOpener* opener = new LinkOpener;
    return opener;
}

bool LinkOpener::open(const QString& url, MessageBoxContext::CallBack afterBox)
{
    if (platform::openWebPage(url))
        return true;
    showMsgboxOk(MessageBoxContext::instance(), QString(),
                 tr("The web page %1 could not be opened.").arg(url.toHtmlEscaped()), std::move(afterBox),
                 MessageBoxContext::Alert, tr("OK"));
    return false;
}
