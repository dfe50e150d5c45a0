#pragma once

#include "common/Sqlite3Param.h"

#include <string>

class Sqlite3TextParam : public Sqlite3Param
{
public:
    explicit Sqlite3TextParam(std::string text) : value(std::move(text)) {}
    // Binds a copy of the whole text, zero bytes included, so a statement may
    // outlive this parameter.
    int bind(sqlite3_stmt* stmt, int index) override;

    std::string value;
};
