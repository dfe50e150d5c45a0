#pragma once

#include "common/Sqlite3Param.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// One statement to run: its SQL and its parameters, bound as ?1, ?2, ...
class Sqlite3Query
{
public:
    Sqlite3Query() = default;
    explicit Sqlite3Query(std::string sql) : sql(std::move(sql)) {}
    Sqlite3Query(const Sqlite3Query&) = delete;
    Sqlite3Query& operator=(const Sqlite3Query&) = delete;
    Sqlite3Query(Sqlite3Query&&) = default;
    Sqlite3Query& operator=(Sqlite3Query&&) = default;

    void addInt(int32_t v);
    void addInt64(int64_t v);
    void addDouble(double v);
    void addText(const std::string& text);
    void addParam(std::unique_ptr<Sqlite3Param> p);

    std::string sql;
    std::vector<std::unique_ptr<Sqlite3Param>> params;
};
