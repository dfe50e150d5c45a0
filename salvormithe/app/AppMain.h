#pragma once

#include <QObject>
#include <QUrl>

class QQmlEngine;

// Window mode with the given root page; returns the process exit code.
int runGui(int argc, char** argv, const QUrl& rootUrl);

// Ends the event loop with -1 when the root page failed to load.
void onRootObjectCreated(QObject* object, const QUrl& url, const QUrl& rootUrl);

// Registers the converter's QML types, in their fixed order.
void registerSalvormitheTypes();

// Sets the constants every page reads from the root context.
void setRootContextProperties(QQmlEngine& engine);
