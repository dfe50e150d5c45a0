#include "common/Sqlite3Int64Param.h"

#include <sqlite3.h>

int Sqlite3Int64Param::bind(sqlite3_stmt* stmt, int index)
{
    return sqlite3_bind_int64(stmt, index, value);
}
