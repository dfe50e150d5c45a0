#pragma once

#include <QString>

#include <string>

// UTF-8 bytes as a QString.
inline QString fromUtf8(const std::string& s)
{
    return QString::fromUtf8(s.data(), int(s.size()));
}
