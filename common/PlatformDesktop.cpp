// The desktop part of the platform layer, apart so that programs which never
// open anything in the desktop (the conversion worker) need no GUI library for it.
#include "common/Platform.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QStandardPaths>
#include <QUrl>

namespace platform {

bool openWebPage(const QString& url)
{
    QUrl page(url);
    if (page.scheme() != "http" && page.scheme() != "https")
        return false;
    return QDesktopServices::openUrl(page);
}

bool openFolder(const QString& folder)
{
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        return false;
    return QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}

QString documentsFolder()
{
    // A fresh account may have no documents folder; a file dialog opened in a
    // folder that is not there cannot choose anything.
    QString docs = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (!docs.isEmpty() && QFileInfo(docs).isDir())
        return docs;
    return QString::fromStdString(homePath().string());
}

} // namespace platform
