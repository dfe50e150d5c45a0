#include "common/Sqlite3DoubleParam.h"

#include <sqlite3.h>

int Sqlite3DoubleParam::bind(sqlite3_stmt* stmt, int index)
{
    return sqlite3_bind_double(stmt, index, value);
}
