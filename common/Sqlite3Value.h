#pragma once

#include <cstdint>
#include <map>
#include <string>

// A tagged value with lenient conversions, the input of buildInsertQuery.
class Sqlite3Value
{
public:
    enum Kind { Null = 0, Int = 1, Int64 = 2, Double = 3, Blob = 4, Text = 5 };

    Sqlite3Value() = default;
    Sqlite3Value(int v);
    Sqlite3Value(double v);
    Sqlite3Value(const char* text);
    Sqlite3Value(int32_t kind, std::string bytes) : kind(kind), bytes(std::move(bytes)) {}

    static Sqlite3Value fromInt64(int64_t v);
    static Sqlite3Value fromBlob(std::string bytes) { return Sqlite3Value(Blob, std::move(bytes)); }
    static Sqlite3Value fromText(std::string text) { return Sqlite3Value(Text, std::move(text)); }

    int32_t toInt(int32_t def) const;
    int64_t toInt64(int64_t def) const;
    double toDouble(double def) const;
    std::string toString() const;

    int32_t kind = Null;
    // The raw payload: native-order numbers, or the bytes of a blob or text.
    std::string bytes;
};

// Column name to value, iterated in key order.
using Sqlite3ValueMap = std::map<std::string, Sqlite3Value>;
