#include "recording/RecordingFolders.h"

#include "common/FileUtils.h"
#include "recording/RecordingProject.h"

#include <QDate>

#include <cerrno>
#include <cstring>
#include <system_error>

namespace fs = std::filesystem;

fs::path ensureRecordingRoot()
{
    fs::path root = RecordingProject::rootDir();
    std::error_code ec;
    fs::create_directories(root, ec);
    return root;
}

fs::path newRecordingFolder(const std::string& name, std::string& error)
{
    fs::path wanted = ensureRecordingRoot() / utf8ToPath(sanitizeFileName(name));
    fs::path folder = uniquePath(wanted);
    if (folder.empty()) {
        std::error_code ec;
        (void)fs::symlink_status(wanted, ec);
        if (!ec)
            (void)fs::symlink_status(wanted.parent_path(), ec);
        error = (ec ? ec.message() : std::string(std::strerror(EIO))) + " (" + pathToUtf8(wanted) + ")";
    }
    return folder;
}

QString proposedFolderName(const fs::path& root, const QString& stem)
{
    QString candidate = stem + QDate::currentDate().toString(QStringLiteral("yyyyMMdd"));
    fs::path folder = uniquePath(root / utf8ToPath(candidate.toStdString()));
    if (folder.empty())
        return candidate;
    return QString::fromStdString(pathToUtf8(folder.filename()));
}
