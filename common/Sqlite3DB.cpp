#include "common/Sqlite3DB.h"

#include "common/Sqlite3Cursor.h"
#include "common/Sqlite3Query.h"
#include "common/Sqlite3Stmt.h"

#include <sqlite3.h>

Sqlite3DB::~Sqlite3DB()
{
    close();
}

void Sqlite3DB::close()
{
    if (handle) {
        sqlite3_close_v2(handle);
        handle = nullptr;
    }
}

bool Sqlite3DB::open(const std::string& newPath, const std::string& key, int flags)
{
    close();
    ownError.clear();
    path = newPath;
    // This SQLite has no encryption; never write a plain file for an
    // encrypted one.
    if (!key.empty()) {
        ownError = "Encrypted databases are not supported: a key was given for " + path;
        return false;
    }
    // On failure the handle stays, so errmsg() can tell why.
    return sqlite3_open_v2(path.c_str(), &handle, flags, nullptr) == SQLITE_OK;
}

bool Sqlite3DB::exec(const Sqlite3Query& q)
{
    if (!handle)
        return false;
    Sqlite3Stmt stmt;
    if (!stmt.prepare(handle, q))
        return false;
    return sqlite3_step(stmt.get()) == SQLITE_DONE;
}

bool Sqlite3DB::query(const char* sql, Sqlite3Cursor& out)
{
    Sqlite3Query q(sql ? sql : "");
    return out.prepare(handle, q);
}

std::string Sqlite3DB::errmsg() const
{
    if (!ownError.empty())
        return ownError;
    if (!handle)
        return {};
    return sqlite3_errmsg(handle);
}
