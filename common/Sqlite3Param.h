#pragma once

struct sqlite3_stmt;

// One bound statement parameter.
class Sqlite3Param
{
public:
    virtual ~Sqlite3Param() = default;
    // Binds the value at the 1-based index; returns the SQLite result code.
    virtual int bind(sqlite3_stmt* stmt, int index) = 0;
};
