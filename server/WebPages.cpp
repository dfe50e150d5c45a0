#include "server/WebPages.h"

#include <QDir>
#include <QFile>

#include <map>

// Outside any namespace, as the resource's functions are.
static void initResources()
{
    Q_INIT_RESOURCE(pages);
}

namespace {

std::map<std::string, std::string> load()
{
    initResources();
    std::map<std::string, std::string> pages;
    const QDir dir(":/pages");
    for (const QString& name : dir.entryList(QDir::Files)) {
        QFile file(dir.filePath(name));
        if (file.open(QIODevice::ReadOnly))
            pages["/" + name.toStdString()] = file.readAll().toStdString();
    }
    if (pages.count("/index.html"))
        pages["/"] = pages["/index.html"];
    return pages;
}

} // namespace

const std::string* WebPages::find(const std::string& path)
{
    static const std::map<std::string, std::string> pages = load();
    auto it = pages.find(path);
    return it == pages.end() ? nullptr : &it->second;
}
