#pragma once

#include <QByteArray>
#include <QString>

// bytes as UTF-8 text without a leading byte-order mark; false when they are
// not valid UTF-8 (an incomplete last character included).
bool decodeUtf8Text(const QByteArray& bytes, QString& text);

// True for a name ending in ".htm" or ".html", in any case.
bool isHtmlFileName(const QString& fileName);

// The plain text of a file's decoded content: HTML is read as a document and
// its tags dropped; anything else is taken as plain text. One line a paragraph.
QString importedPlainText(const QString& fileName, const QString& text);
