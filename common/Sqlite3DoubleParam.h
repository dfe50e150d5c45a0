#pragma once

#include "common/Sqlite3Param.h"

#include <cstdint>

class Sqlite3DoubleParam : public Sqlite3Param
{
public:
    explicit Sqlite3DoubleParam(double value) : value(value) {}
    int bind(sqlite3_stmt* stmt, int index) override;

    double value;
};
