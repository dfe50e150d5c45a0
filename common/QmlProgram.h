#pragma once

#include <QString>
#include <QUrl>

#include <functional>

class QObject;
class QQmlEngine;

// The window start-up both programs share: one instance per user, the
// application, the English catalogue, the QML types, the root-context
// constants, the root page and the event loop.
class QmlProgram
{
public:
    // Single-instance key, e.g. "quorvine_kelmaridon".
    QString guardKey;
    // Resource path of the catalogue, installed whatever the locale.
    QString catalogue;
    // Source text of PROD_NAME, passed through QObject::tr once the catalogue is in.
    const char* prodName = "";
    // Registers the program's QML types, in their order.
    std::function<void()> registerTypes;
    QUrl rootUrl = QUrl(QStringLiteral("qrc:/qml/main.qml"));

    // Returns the exit code: exec's result, 0 when another instance runs, -1
    // when the root page cannot be created.
    int run(int argc, char** argv) const;

    // Sets "engine", "msgboxctx" and the constants every page reads.
    static void setRootContext(QQmlEngine& engine, const QString& prodName);
    // Ends the event loop with -1 when the root page failed to load.
    static void onRootObjectCreated(QObject* object, const QUrl& url, const QUrl& rootUrl);
};
