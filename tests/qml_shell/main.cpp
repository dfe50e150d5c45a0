// Qt Quick Test entry for the window shell: the converter's QML types and
// root-context constants, with recorders in place of the engine's quit.
#include "app/AppMain.h"
#include "common/SingleInstanceGuard.h"

#include "ShellTestHelpers.h"
#include "TestUtil.h"
#include "VoiceFixture.h"

#include <QDesktopServices>
#include <QQmlContext>
#include <QQmlEngine>
#include <QtQuickTest>

class ShellSetup : public QObject
{
    Q_OBJECT
public:
    ShellSetup()
    {
        // A kelmaridon that "Voice Cloning" starts finds this instance and ends at once.
        kelmaridonGuard.tryToRun();
        QDesktopServices::setUrlHandler("http", &recorder, "openUrl");
        QDesktopServices::setUrlHandler("https", &recorder, "openUrl");
    }
    ~ShellSetup() override
    {
        QDesktopServices::unsetUrlHandler("http");
        QDesktopServices::unsetUrlHandler("https");
    }

public slots:
    void qmlEngineAvailable(QQmlEngine* engine)
    {
        static bool registered = false;
        if (!registered) {
            registerSalvormitheTypes();
            registered = true;
        }
        // The window's update check goes nowhere.
        qputenv("QV_VOICE_SERVER", "http://127.0.0.1:9/");
        setRootContextProperties(*engine);
        engine->rootContext()->setContextProperty("engine", &recorder);
        engine->rootContext()->setContextProperty("quitRecorder", &recorder);
        engine->rootContext()->setContextProperty("msgboxSender", &sender);
        engine->rootContext()->setContextProperty("projectMaker", &maker);
        engine->rootContext()->setContextProperty("voiceFixture", &voices);
        engine->rootContext()->setContextProperty("hangLimitMs", testutil::hangLimitMs);
    }

private:
    SingleInstanceGuard kelmaridonGuard{QStringLiteral("quorvine_kelmaridon")};
    QuitRecorder recorder;
    MsgboxSender sender;
    ProjectMaker maker;
    VoiceFixture voices;
};

QUICK_TEST_MAIN_WITH_SETUP(qml_shell, ShellSetup)

#include "main.moc"
