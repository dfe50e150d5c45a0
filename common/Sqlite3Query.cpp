#include "common/Sqlite3Query.h"

#include "common/Sqlite3DoubleParam.h"
#include "common/Sqlite3Int64Param.h"
#include "common/Sqlite3IntParam.h"
#include "common/Sqlite3TextParam.h"

void Sqlite3Query::addInt(int32_t v)
{
    params.push_back(std::make_unique<Sqlite3IntParam>(v));
}

void Sqlite3Query::addInt64(int64_t v)
{
    params.push_back(std::make_unique<Sqlite3Int64Param>(v));
}

void Sqlite3Query::addDouble(double v)
{
    params.push_back(std::make_unique<Sqlite3DoubleParam>(v));
}

void Sqlite3Query::addText(const std::string& text)
{
    params.push_back(std::make_unique<Sqlite3TextParam>(text));
}

void Sqlite3Query::addParam(std::unique_ptr<Sqlite3Param> p)
{
    params.push_back(std::move(p));
}
