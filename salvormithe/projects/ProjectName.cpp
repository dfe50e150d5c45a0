#include "projects/ProjectName.h"

#include "projects/ProjectFolder.h"

bool projectNameTooLong(const QString& name)
{
    int count = 0;
    for (int i = 0; i < name.size(); ++i) {
        // A surrogate pair is one character.
        if (name[i].isHighSurrogate() && i + 1 < name.size() && name[i + 1].isLowSurrogate())
            ++i;
        ++count;
    }
    return count > ProjectFolder::maxNameLength;
}
