#pragma once

#include "common/Sqlite3Param.h"

#include <cstdint>

class Sqlite3Int64Param : public Sqlite3Param
{
public:
    explicit Sqlite3Int64Param(int64_t value) : value(value) {}
    int bind(sqlite3_stmt* stmt, int index) override;

    int64_t value;
};
