#pragma once

#include <QString>

// Characters (Unicode code points) in a project name: an emoji counts once.
int projectNameLength(const QString& name);

// True when a name is longer than the pages accept (a pasted text, not a name).
bool projectNameTooLong(const QString& name);
