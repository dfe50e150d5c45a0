// Qt Quick Test entry: runs every tst_*.qml in this folder with the
// programs' QML types and the context properties the pages expect.
#include "app/AppMain.h"
#include "common/MessageBoxContext.h"

#include "QmlTestProbe.h"

#include <QQmlContext>
#include <QQmlEngine>
#include <QtQuickTest>

#include <memory>

class QmlTestSetup : public QObject
{
    Q_OBJECT
public slots:
    void applicationAvailable()
    {
        registerSalvormitheTypes();
        probe = std::make_unique<QmlTestProbe>();
    }
    void qmlEngineAvailable(QQmlEngine* engine)
    {
        engine->rootContext()->setContextProperty("msgboxctx", MessageBoxContext::instance());
        engine->rootContext()->setContextProperty("probe", probe.get());
    }

private:
    std::unique_ptr<QmlTestProbe> probe;
};

QUICK_TEST_MAIN_WITH_SETUP(qml, QmlTestSetup)

#include "main.moc"
