#include "common/Sqlite3Value.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <stdexcept>

namespace {

template <typename T>
std::string payload(T v)
{
    return std::string(reinterpret_cast<const char*>(&v), sizeof v);
}

// The payload as a T when it has exactly T's size.
template <typename T>
bool read(const std::string& bytes, T& out)
{
    if (bytes.size() != sizeof(T))
        return false;
    std::memcpy(&out, bytes.data(), sizeof(T));
    return true;
}

// Truncates toward zero, saturating at T's limits; NaN gives def.
template <typename T>
T truncate(double v, T def)
{
    if (std::isnan(v))
        return def;
    if (v >= static_cast<double>(std::numeric_limits<T>::max()))
        return std::numeric_limits<T>::max();
    if (v <= static_cast<double>(std::numeric_limits<T>::min()))
        return std::numeric_limits<T>::min();
    return static_cast<T>(v);
}

std::string printDouble(double v)
{
    char buf[512];
    std::snprintf(buf, sizeof buf, "%f", v);
    return buf;
}

} // namespace

Sqlite3Value::Sqlite3Value(int v) : kind(Int), bytes(payload<int32_t>(v)) {}

Sqlite3Value::Sqlite3Value(double v) : kind(Double), bytes(payload<double>(v)) {}

Sqlite3Value::Sqlite3Value(const char* text) : kind(Text), bytes(text ? text : "") {}

Sqlite3Value Sqlite3Value::fromInt64(int64_t v)
{
    return Sqlite3Value(Int64, payload<int64_t>(v));
}

int32_t Sqlite3Value::toInt(int32_t def) const
{
    switch (kind) {
    case Int: {
        int32_t v;
        return read(bytes, v) ? v : def;
    }
    case Int64: {
        int64_t v;
        return read(bytes, v) ? static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(v)))
                              : def;
    }
    case Double: {
        double v;
        return read(bytes, v) ? truncate<int32_t>(v, def) : def;
    }
    case Blob:
    case Text:
        if (bytes.empty())
            return def;
        try {
            return std::stoi(bytes, nullptr, 10);
        } catch (const std::logic_error&) {
            return def;
        }
    default:
        return def;
    }
}

int64_t Sqlite3Value::toInt64(int64_t def) const
{
    switch (kind) {
    case Int: {
        int32_t v;
        return read(bytes, v) ? v : def;
    }
    case Int64: {
        int64_t v;
        return read(bytes, v) ? v : def;
    }
    case Double: {
        double v;
        return read(bytes, v) ? truncate<int64_t>(v, def) : def;
    }
    case Blob:
    case Text:
        if (bytes.empty())
            return 0;
        try {
            return std::stoll(bytes, nullptr, 10);
        } catch (const std::logic_error&) {
            return def;
        }
    default:
        return def;
    }
}

double Sqlite3Value::toDouble(double def) const
{
    switch (kind) {
    case Int: {
        int32_t v;
        return read(bytes, v) ? v : def;
    }
    case Int64: {
        int64_t v;
        return read(bytes, v) ? static_cast<double>(v) : def;
    }
    case Double: {
        double v;
        return read(bytes, v) ? v : def;
    }
    case Blob:
    case Text:
        if (bytes.empty())
            return 0;
        try {
            return std::stod(bytes);
        } catch (const std::logic_error&) {
            return def;
        }
    default:
        return def;
    }
}

std::string Sqlite3Value::toString() const
{
    switch (kind) {
    case Int: {
        int32_t v = 0;
        read(bytes, v);
        return std::to_string(v);
    }
    case Int64: {
        int64_t v = 0;
        read(bytes, v);
        return std::to_string(v);
    }
    case Double: {
        double v = 0;
        read(bytes, v);
        return printDouble(v);
    }
    case Blob:
    case Text:
        return bytes;
    default:
        return {};
    }
}
