#pragma once

#include "common/MessageBoxContext.h"

#include <QString>

class QObject;

// The project page's message boxes, with an empty title and the page's own
// button texts. A callback runs only while owner lives. GUI thread only.
namespace pagebox {

// An error box with "OK".
void error(QObject* owner, const QString& text, MessageBoxContext::CallBack cb = {});
// An alert box with "OK".
void alert(QObject* owner, const QString& text, MessageBoxContext::CallBack cb = {});
// A question with "Yes" and "No"; yes runs on "Yes".
void question(QObject* owner, const QString& text, MessageBoxContext::CallBack yes);

// A text of the page's translation context.
QString tr(const char* source);

} // namespace pagebox
