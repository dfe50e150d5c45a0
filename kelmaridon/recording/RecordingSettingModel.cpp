#include "recording/RecordingSettingModel.h"

#include "common/MessageBoxContext.h"
#include "common/PropertyValue.h"
#include "recording/PromptsDb.h"
#include "recording/RecordingFolders.h"

RecordingSettingModel::RecordingSettingModel(QObject* parent)
    : QObject(parent), languages(listPromptLangs())
{
    name = proposedFolderName(ensureRecordingRoot(), QStringLiteral("Recording"));
}

void RecordingSettingModel::setName(const QString& value)
{
    if (assignProperty(name, value))
        emit nameChanged();
}

QStringList RecordingSettingModel::langs()
{
    QStringList out;
    for (const PromptLang& l : languages)
        out << QString::fromStdString(l.native);
    return out;
}

void RecordingSettingModel::ok(int langIdx)
{
    name = name.trimmed();
    QString error;
    if (name.isEmpty())
        error = tr("IDS_EMPTY_NAME");
    else if (langIdx < 0 || langIdx >= int(languages.size()))
        error = tr("IDS_INVALID_LANG");
    if (!error.isEmpty()) {
        showMsgboxError(MessageBoxContext::instance(), QString(), error, nullptr, tr("OK"));
        return;
    }
    emit okPressed(name, QString::fromStdString(languages[size_t(langIdx)].lang));
}
