#include "common/Sqlite3IntParam.h"

#include <sqlite3.h>

int Sqlite3IntParam::bind(sqlite3_stmt* stmt, int index)
{
    return sqlite3_bind_int(stmt, index, value);
}
