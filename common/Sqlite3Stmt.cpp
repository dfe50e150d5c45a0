#include "common/Sqlite3Stmt.h"

#include "common/Sqlite3Query.h"

#include <sqlite3.h>

Sqlite3Stmt::~Sqlite3Stmt()
{
    finalize();
}

void Sqlite3Stmt::finalize()
{
    if (!stmt)
        return;
    sqlite3_reset(stmt);
    sqlite3_clear_bindings(stmt);
    sqlite3_finalize(stmt);
    stmt = nullptr;
}

bool Sqlite3Stmt::prepare(sqlite3* db, const Sqlite3Query& q)
{
    finalize();
    if (!db)
        return false;
    if (sqlite3_prepare_v2(db, q.sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK)
        return false;
    // A text without a statement (only blanks or comments) prepares to nothing.
    if (!stmt)
        return false;
    int index = 1;
    for (const auto& p : q.params) {
        if (p->bind(stmt, index++) != SQLITE_OK)
            return false;
    }
    return true;
}
