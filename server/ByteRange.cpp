#include "server/ByteRange.h"

#include <strings.h>

#include <algorithm>
#include <utility>
#include <vector>

namespace {

constexpr size_t kMaxRanges = 100;

// A decimal number of up to 18 digits; false for anything else.
bool number(const std::string& s, uint64_t& out)
{
    if (s.empty() || s.size() > 18 || s.find_first_not_of("0123456789") != std::string::npos)
        return false;
    out = std::stoull(s);
    return true;
}

std::string trimmed(const std::string& s)
{
    size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos)
        return std::string();
    size_t e = s.find_last_not_of(" \t");
    return s.substr(b, e - b + 1);
}

} // namespace

ByteRange ByteRange::parse(const std::string& header, uint64_t size)
{
    ByteRange whole;
    std::string value = trimmed(header);
    if (value.size() < 6 || ::strncasecmp(value.c_str(), "bytes=", 6) != 0)
        return whole;

    // Satisfiable runs as [first, last] within the file.
    std::vector<std::pair<uint64_t, uint64_t>> runs;
    size_t count = 0;
    size_t pos = 6;
    for (;;) {
        size_t comma = value.find(',', pos);
        std::string spec = trimmed(value.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos));
        pos = comma == std::string::npos ? value.size() : comma + 1;
        if (!spec.empty()) {
            if (++count > kMaxRanges)
                return whole;
            size_t dash = spec.find('-');
            if (dash == std::string::npos)
                return whole;
            std::string a = spec.substr(0, dash), b = spec.substr(dash + 1);
            uint64_t first = 0, last = 0;
            if (a.empty()) {
                // The last b bytes.
                if (!number(b, last))
                    return whole;
                if (last > 0 && size > 0)
                    runs.emplace_back(size - std::min(last, size), size - 1);
            } else {
                if (!number(a, first) || (!b.empty() && (!number(b, last) || last < first)))
                    return whole;
                if (first < size)
                    runs.emplace_back(first, b.empty() ? size - 1 : std::min(last, size - 1));
            }
        }
        if (comma == std::string::npos)
            break;
    }
    if (count == 0)
        return whole;
    if (runs.empty())
        return {Kind::Unsatisfiable, 0, 0};

    std::sort(runs.begin(), runs.end());
    std::pair<uint64_t, uint64_t> merged = runs.front();
    for (const auto& r : runs) {
        // Apart from the runs before it: no one run covers what was asked.
        if (r.first > merged.second + 1)
            return whole;
        merged.second = std::max(merged.second, r.second);
    }
    return {Kind::Part, merged.first, merged.second - merged.first + 1};
}
