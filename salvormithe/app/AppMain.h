#pragma once

#include <QObject>
#include <QUrl>

class QQmlEngine;

// Window mode with the given root page; returns the process exit code.
int runGui(int argc, char** argv, const QUrl& rootUrl);

// Registers the converter's QML types, in their fixed order.
void registerSalvormitheTypes();

// Sets the constants every page reads from the root context.
void setRootContextProperties(QQmlEngine& engine);
