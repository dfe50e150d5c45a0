#include "app/AppMain.h"

#include "app/MainModel.h"
#include "common/MessageBoxContext.h"
#include "common/QmlProgram.h"
#include "projects/HomeModel.h"
#include "projects/ProjectModel.h"
#include "projects/ProjectSettingFormModel.h"
#include "projects/ProjectsModel.h"
#include "voices/VoiceSelectorModel.h"

#include <QtQml>

void setRootContextProperties(QQmlEngine& engine)
{
    QmlProgram::setRootContext(engine, QObject::tr("Quorvine Text to Speech Converter"));
}

void registerSalvormitheTypes()
{
    qRegisterMetaType<LocalVoice>("LocalVoice");
    qRegisterMetaType<ServerVoice>("ServerVoice");
    qmlRegisterType<MessageBoxContext>("MessageBoxContext", 1, 0, "MessageBoxContext");
    qmlRegisterType<VoiceSelectorModel>("VoiceSelectorModel", 1, 0, "VoiceSelectorModel");
    qmlRegisterType<ProjectSettingFormModel>("ProjectSettingFormModel", 1, 0, "ProjectSettingFormModel");
    qmlRegisterType<ProjectModel>("ProjectModel", 1, 0, "ProjectModel");
    qmlRegisterType<HomeModel>("HomeModel", 1, 0, "HomeModel");
    qmlRegisterType<ProjectsModel>("ProjectsModel", 1, 0, "ProjectsModel");
    qmlRegisterType<MainModel>("MainModel", 1, 0, "MainModel");
}

int runGui(int argc, char** argv, const QUrl& rootUrl)
{
    QmlProgram program;
    program.guardKey = QStringLiteral("quorvine_salvormithe");
    program.catalogue = QStringLiteral(":/translators/salvormithe_en_US.qm");
    program.prodName = QT_TRANSLATE_NOOP("QObject", "Quorvine Text to Speech Converter");
    program.registerTypes = registerSalvormitheTypes;
    program.rootUrl = rootUrl;
    return program.run(argc, argv);
}
