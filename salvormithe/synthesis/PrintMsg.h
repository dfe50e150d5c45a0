#pragma once

#include <QString>

// One speech bubble of the paged layout.
struct PrintMsg
{
    QString label;     // line above the bubble
    QString body;      // HTML of the bubble's text
    QString baseUrl;   // base URL of that HTML
    QString nameColor; // speaker's colour
    QString name;      // speaker's name (plain text)
    bool right = false; // bubble on the right side
};
