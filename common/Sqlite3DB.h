#pragma once

#include <string>

class Sqlite3Cursor;
class Sqlite3Query;
struct sqlite3;

// One SQLite connection.
class Sqlite3DB
{
public:
    Sqlite3DB() = default;
    virtual ~Sqlite3DB();
    Sqlite3DB(const Sqlite3DB&) = delete;
    Sqlite3DB& operator=(const Sqlite3DB&) = delete;

    // Opens path (UTF-8) with the SQLITE_OPEN_* flags, closing any connection
    // this object held before. Databases are plain SQLite: a non-empty key is
    // refused.
    bool open(const std::string& path, const std::string& key, int flags);
    void close();
    bool isOpen() const { return handle != nullptr; }

    // Prepares, binds and steps q once; true only when it ran to its end.
    bool exec(const Sqlite3Query& q);
    // Prepares a SELECT without parameters into out.
    bool query(const char* sql, Sqlite3Cursor& out);
    // The connection's last message; empty without a connection.
    std::string errmsg() const;

    sqlite3* get() const { return handle; }
    const std::string& filePath() const { return path; }

private:
    sqlite3* handle = nullptr;
    std::string path;
    std::string ownError;
};
