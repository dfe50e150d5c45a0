#include "common/LinkOpener.h"

#include "common/MessageBoxContext.h"
#include "common/Platform.h"

LinkOpener::LinkOpener(QObject* parent) : QObject(parent) {}

LinkOpener* LinkOpener::instance()
{
    static LinkOpener* opener = new LinkOpener;
    return opener;
}

bool LinkOpener::open(const QString& url)
{
    if (platform::openWebPage(url))
        return true;
    showMsgboxOk(MessageBoxContext::instance(), QString(),
                 tr("The web page %1 could not be opened.").arg(url.toHtmlEscaped()), nullptr,
                 MessageBoxContext::Alert, tr("OK"));
    return false;
}
