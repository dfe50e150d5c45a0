#include "projects/ExportSettings.h"

#include <QDir>
#include <QUrl>

ExportSettings ExportSettings::fromMap(const QVariantMap& map)
{
    ExportSettings s;
    s.seg_id = map.value("seg_id").toInt();
    s.save_url = map.value("save_url").toString();
    s.audio_type = map.value("audio_type").toString();
    s.audio_merge = map.value("audio_merge", 1).toInt();
    s.with_text = map.value("with_text").toBool();
    s.text_type = map.value("text_type", QStringLiteral(".txt")).toString();
    s.with_speaker = map.value("with_speaker", true).toBool();
    return s;
}

QString ExportSettings::localFolder() const
{
    QUrl url(save_url);
    QString path;
    if (url.isLocalFile())
        path = url.toLocalFile();
    else if (url.scheme().isEmpty())
        path = save_url; // a plain path
    if (path.isEmpty() || !QDir::isAbsolutePath(path))
        return QString();
    return QDir::cleanPath(path);
}

std::string ExportSettings::audioExtension() const
{
    return "." + audio_type.toLower().toStdString();
}

std::string ExportSettings::textExtension() const
{
    if (text_type == ".html" || text_type == ".pdf" || text_type == ".docx")
        return text_type.toStdString();
    return ".txt";
}

QString ExportSettings::exportFolderName(const QDate& day)
{
    return QStringLiteral("quorvine_salvormithe_export_%1").arg(day.toString("yyyyMMdd"));
}
