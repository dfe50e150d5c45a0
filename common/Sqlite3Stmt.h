#pragma once

class Sqlite3Query;
struct sqlite3;
struct sqlite3_stmt;

// Owner of one prepared statement.
class Sqlite3Stmt
{
public:
    Sqlite3Stmt() = default;
    ~Sqlite3Stmt();
    Sqlite3Stmt(const Sqlite3Stmt&) = delete;
    Sqlite3Stmt& operator=(const Sqlite3Stmt&) = delete;

    // Prepares q's SQL and binds its parameters in order.
    bool prepare(sqlite3* db, const Sqlite3Query& q);
    // Resets, clears the bindings and finalizes the statement, if any.
    void finalize();

    sqlite3_stmt* get() const { return stmt; }

private:
    sqlite3_stmt* stmt = nullptr;
};
