#include "common/Sqlite3TextParam.h"

#include <sqlite3.h>

int Sqlite3TextParam::bind(sqlite3_stmt* stmt, int index)
{
    return sqlite3_bind_text(stmt, index, value.data(), int(value.size()), SQLITE_TRANSIENT);
}
