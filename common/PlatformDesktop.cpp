// The desktop part of the platform layer, apart so that programs which never
// open anything in the desktop (the conversion worker) need no GUI library for it.
#include "common/Platform.h"

#include <QDesktopServices>
#include <QUrl>

namespace platform {

bool openInDesktop(const QString& pathOrUrl)
{
    QUrl url(pathOrUrl);
    if (url.scheme() != "http" && url.scheme() != "https")
        url = QUrl::fromLocalFile(pathOrUrl);
    return QDesktopServices::openUrl(url);
}

} // namespace platform
