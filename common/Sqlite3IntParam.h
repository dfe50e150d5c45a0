#pragma once

#include "common/Sqlite3Param.h"

#include <cstdint>

class Sqlite3IntParam : public Sqlite3Param
{
public:
    explicit Sqlite3IntParam(int32_t value) : value(value) {}
    int bind(sqlite3_stmt* stmt, int index) override;

    int32_t value;
};
