#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

class Sqlite3Query;
class Sqlite3Stmt;
struct sqlite3;

// Reads the rows of a SELECT, columns by name.
class Sqlite3Cursor
{
public:
    Sqlite3Cursor();
    ~Sqlite3Cursor();
    Sqlite3Cursor(const Sqlite3Cursor&) = delete;
    Sqlite3Cursor& operator=(const Sqlite3Cursor&) = delete;

    // Drops any previous statement and prepares q. Text and blob parameters
    // are copied, so q may be destroyed before the rows are read.
    bool prepare(sqlite3* db, const Sqlite3Query& q);
    // Steps to the next row. False at the end of the rows and on error;
    // failed() tells the two apart.
    bool next();
    // True when preparing or the last step failed (not at the plain end).
    bool failed() const { return error; }
    // Index of the row stepped to, -1 before the first.
    int row() const { return rowIndex; }

    // Column index by lower-cased name, -1 when there is none.
    int columnIndex(std::string name);
    // NULL and unknown columns read as 0 or the empty text.
    int32_t getInt(const std::string& name);
    int64_t getInt64(const std::string& name);
    double getDouble(const std::string& name);
    // The text up to its first zero byte.
    std::string getText(const std::string& name);
    // All bytes of the value, zero bytes included.
    std::string getBlob(const std::string& name);

private:
    // Index of a readable column of the current row, -1 otherwise.
    int valueIndex(const std::string& name);

    std::unique_ptr<Sqlite3Stmt> stmt;
    std::map<std::string, int> columns;
    int rowIndex = -1;
    bool onRow = false;
    bool finished = false;
    bool error = false;
};
