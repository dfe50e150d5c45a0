#include "common/QmlProgram.h"

#include "common/LinkOpener.h"
#include "common/MessageBoxContext.h"
#include "common/Platform.h"
#include "common/ServerAddress.h"
#include "common/SingleInstanceGuard.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QTranslator>

#include <clocale>

void QmlProgram::setRootContext(QQmlEngine& engine, const QString& prodName)
{
    QQmlContext* ctx = engine.rootContext();
    ctx->setContextProperty("engine", &engine);
    ctx->setContextProperty("msgboxctx", MessageBoxContext::instance());
    // The pages' links open through it: it tells the address when no browser starts.
    ctx->setContextProperty("linkOpener", LinkOpener::instance());
    ctx->setContextProperty("PROD_NAME", prodName);
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
    // Where the file dialogs start.
    ctx->setContextProperty("DOCUMENTS_URL", QUrl::fromLocalFile(platform::documentsFolder()));
}

void QmlProgram::onRootObjectCreated(QObject* object, const QUrl& url, const QUrl& rootUrl)
{
    if (!object && url == rootUrl)
        QCoreApplication::exit(-1);
}

int QmlProgram::run(int argc, char** argv) const
{
    SingleInstanceGuard guard(guardKey);
    if (!guard.tryToRun()) {
        guard.release();
        return 0;
    }

    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling, true);
    int result = 0;
    {
        QGuiApplication app(argc, argv);
        // Where Qt's own dialogs keep their settings.
        QCoreApplication::setOrganizationName(QStringLiteral("quorvine"));
        // Numbers in JSON, SQL and printf stay in the C format whatever the desktop's locale.
        std::setlocale(LC_NUMERIC, "C");

        QTranslator translator;
        translator.load(catalogue);
        QCoreApplication::installTranslator(&translator);

        if (registerTypes)
            registerTypes();

        {
            QQmlApplicationEngine engine;
            QUrl root = rootUrl;
            QObject::connect(
                &engine, &QQmlApplicationEngine::objectCreated, &app,
                [root](QObject* obj, const QUrl& url) { onRootObjectCreated(obj, url, root); },
                Qt::QueuedConnection);
            setRootContext(engine, QObject::tr(prodName));
            engine.load(rootUrl);
            result = QGuiApplication::exec();
        }
        QCoreApplication::removeTranslator(&translator);
    }
    guard.release();
    return result;
}
