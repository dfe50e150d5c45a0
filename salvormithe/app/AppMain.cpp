#include "app/AppMain.h"

#include "app/MainModel.h"
#include "common/MessageBoxContext.h"
#include "common/ServerAddress.h"
#include "common/SingleInstanceGuard.h"
#include "projects/HomeModel.h"
#include "projects/ProjectModel.h"
#include "projects/ProjectSettingFormModel.h"
#include "projects/ProjectsModel.h"
#include "voices/VoiceSelectorModel.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QtQml>
#include <QTranslator>

#include <clocale>

void onRootObjectCreated(QObject* object, const QUrl& url, const QUrl& rootUrl)
{
    if (!object && url == rootUrl)
        QCoreApplication::exit(-1);
}

void setRootContextProperties(QQmlEngine& engine)
{
    QQmlContext* ctx = engine.rootContext();
    ctx->setContextProperty("engine", &engine);
    ctx->setContextProperty("msgboxctx", MessageBoxContext::instance());
    ctx->setContextProperty("PROD_NAME", QObject::tr("Quorvine Text to Speech Converter"));
    ctx->setContextProperty("PROD_VER", QStringLiteral("3.1.2"));
    ctx->setContextProperty("PROD_VERID", 2);
    ctx->setContextProperty("PROD_UID", QStringLiteral("quorvine_salvormithe_win"));
    ctx->setContextProperty("FONTSIZE_TITLE1", 20);
    ctx->setContextProperty("FONTSIZE_TITLE", 17);
    ctx->setContextProperty("FONTSIZE_DEF", 14);
    ctx->setContextProperty("FONTSIZE_SUB", 13);
    ctx->setContextProperty("FONTSIZE_SUB2", 11);
    ctx->setContextProperty("FONTSIZE_SUB3", 9);
    ctx->setContextProperty("TEXTCOLOR_MAIN", QStringLiteral("black"));
    ctx->setContextProperty("TEXTCOLOR_MAIN2", QStringLiteral("#333333"));
    ctx->setContextProperty("FONTFAMILY_MAIN", QStringLiteral("Arial"));
    ctx->setContextProperty("MAIN_COLOR", QStringLiteral("#02BAFF"));
    // The maker's web pages (tutorial, web site, update page) are on our server.
    ctx->setContextProperty("WEB_BASE_URL", QString::fromStdString(voiceServerBase()));
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
    SingleInstanceGuard guard("quorvine_salvormithe");
    if (!guard.tryToRun()) {
        guard.release();
        return 0;
    }

    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling, true);
    int result = 0;
    {
        QGuiApplication app(argc, argv);
        // Numbers in JSON, SQL and printf stay in the C format whatever the desktop's locale.
        std::setlocale(LC_NUMERIC, "C");

        QTranslator translator;
        translator.load(":/translators/salvormithe_en_US.qm");
        QCoreApplication::installTranslator(&translator);

        registerSalvormitheTypes();

        {
            QQmlApplicationEngine engine;
            QObject::connect(
                &engine, &QQmlApplicationEngine::objectCreated, &app,
                [rootUrl](QObject* obj, const QUrl& url) { onRootObjectCreated(obj, url, rootUrl); },
                Qt::QueuedConnection);
            setRootContextProperties(engine);
            engine.load(rootUrl);
            result = QGuiApplication::exec();
        }
        QCoreApplication::removeTranslator(&translator);
    }
    guard.release();
    return result;
}
