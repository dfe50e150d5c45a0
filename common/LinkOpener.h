#pragma once

#include <QObject>
#include <QString>

// Opens the web pages the pages link to in the desktop's browser; when no
// browser can be started, a message box gives the user the address. Lives on
// the GUI thread.
class LinkOpener : public QObject
{
    Q_OBJECT
public:
    explicit LinkOpener(QObject* parent = nullptr);

    static LinkOpener* instance();

    // False when no browser could be started (the box is shown then).
    Q_INVOKABLE bool open(const QString& url);
};
