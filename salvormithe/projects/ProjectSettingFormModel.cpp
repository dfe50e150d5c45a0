#include "projects/ProjectSettingFormModel.h"

#include "common/FileUtils.h"
#include "common/MessageBoxContext.h"
#include "projects/ProjectFolder.h"
#include "projects/ProjectName.h"
#include "voices/LocalVoice.h"

#include <QDate>
#include <QtGlobal>

namespace {

bool sameVoice(const LocalVoice& a, const LocalVoice& b)
{
    return a.id == b.id && a.uid == b.uid && a.spk == b.spk && a.lang == b.lang && a.eng == b.eng &&
           a.native == b.native && a.name == b.name && a.user_name == b.user_name && a.sex == b.sex &&
           a.quality == b.quality && a.dir == b.dir && a.model == b.model && a.config == b.config &&
           a.installed == b.installed && a.speakerFile == b.speakerFile;
}

// QVariant equality that compares voices by their fields, not their bytes.
bool sameValue(const QVariant& a, const QVariant& b)
{
    int type = qMetaTypeId<LocalVoice>();
    if (a.userType() == type && b.userType() == type)
        return sameVoice(a.value<LocalVoice>(), b.value<LocalVoice>());
    if (a.userType() == type || b.userType() == type)
        return false;
    return a == b;
}

} // namespace

ProjectSettingFormModel::ProjectSettingFormModel(QObject* parent)
    : QObject(parent), projectName(proposedProjectName())
{
    // The pages read the voice's fields.
    static const int voiceType = qRegisterMetaType<LocalVoice>("LocalVoice");
    Q_UNUSED(voiceType)
}

QString ProjectSettingFormModel::proposedProjectName()
{
    QString base = QStringLiteral("Project-%1").arg(QDate::currentDate().toString(QStringLiteral("yyyyMMdd")));
    std::filesystem::path root = ProjectFolder::projectsDir();
    if (!pathExists(root))
        createDirs(root);
    // uniquePath reports an unreadable folder as an empty path, never by throwing.
    std::filesystem::path unique = uniquePath(root / utf8ToPath(base.toStdString()));
    if (unique.empty())
        return base;
    return QString::fromStdString(pathToUtf8(unique.filename()));
}

bool ProjectSettingFormModel::holdsVoice(const QVariant& value)
{
    return value.userType() == qMetaTypeId<LocalVoice>() && !value.value<LocalVoice>().uid.empty();
}

void ProjectSettingFormModel::setProjectName(const QString& value)
{
    if (projectName == value)
        return;
    projectName = value;
    emit projectNameChanged();
}

void ProjectSettingFormModel::setSrate(float value)
{
    if (qFuzzyCompare(srate, value))
        return;
    srate = value;
    emit srateChanged();
}

void ProjectSettingFormModel::setVoice(const QVariant& value)
{
    if (sameValue(voice, value))
        return;
    voice = value;
    emit voiceChanged();
}

void ProjectSettingFormModel::ok()
{
    if (projectName.isEmpty()) {
        showMsgboxOk(MessageBoxContext::instance(), QString(), tr("IDS_EMPTY_PROJECT_NAME"), nullptr,
                     MessageBoxContext::Alert, tr("OK"));
        return;
    }
    // A pasted text is no name, and its manifest could not be read back.
    if (projectNameTooLong(projectName)) {
        showMsgboxOk(MessageBoxContext::instance(), QString(), tr("IDS_PROJECT_NAME_TOO_LONG"), nullptr,
                     MessageBoxContext::Alert, tr("OK"));
        return;
    }
    if (!holdsVoice(voice)) {
        showMsgboxOk(MessageBoxContext::instance(), QString(), tr("IDS_EMPTY_DEFAULT_VOCIE"), nullptr,
                     MessageBoxContext::Alert, tr("OK"));
        return;
    }
    emit okTodo();
}
