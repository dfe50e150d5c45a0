#include "common/Sqlite3NullParam.h"

#include <sqlite3.h>

int Sqlite3NullParam::bind(sqlite3_stmt* stmt, int index)
{
    return sqlite3_bind_null(stmt, index);
}
