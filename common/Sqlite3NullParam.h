#pragma once

#include "common/Sqlite3Param.h"

class Sqlite3NullParam : public Sqlite3Param
{
public:
    int bind(sqlite3_stmt* stmt, int index) override;
};
