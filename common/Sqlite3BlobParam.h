#pragma once

#include "common/Sqlite3Param.h"

#include <string>

class Sqlite3BlobParam : public Sqlite3Param
{
public:
    explicit Sqlite3BlobParam(std::string bytes) : value(std::move(bytes)) {}
    // Binds a copy of the bytes, so a statement may outlive this parameter.
    int bind(sqlite3_stmt* stmt, int index) override;

    std::string value;
};
