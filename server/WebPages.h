#pragma once

#include <string>

// The plain pages the programs open in a browser: the web site, the help, the
// terms of service and the privacy policy, kept in the server's resources.
class WebPages
{
public:
    // The page at a path, "/" being the site's first page; null when there is none.
    static const std::string* find(const std::string& path);
};
