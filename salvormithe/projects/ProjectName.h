#pragma once

#include <QString>

// True when a name is longer than the pages accept (a pasted text, not a
// name). Characters (Unicode code points) are counted: an emoji counts once.
bool projectNameTooLong(const QString& name);
