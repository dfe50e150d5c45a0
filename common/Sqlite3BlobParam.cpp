#include "common/Sqlite3BlobParam.h"

#include <sqlite3.h>

int Sqlite3BlobParam::bind(sqlite3_stmt* stmt, int index)
{
    return sqlite3_bind_blob64(stmt, index, value.data(), value.size(), SQLITE_TRANSIENT);
}
