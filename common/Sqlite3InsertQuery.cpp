#include "common/Sqlite3InsertQuery.h"

#include "common/Sqlite3BlobParam.h"
#include "common/Sqlite3DoubleParam.h"
#include "common/Sqlite3Int64Param.h"
#include "common/Sqlite3IntParam.h"
#include "common/Sqlite3NullParam.h"
#include "common/Sqlite3Query.h"
#include "common/Sqlite3TextParam.h"

#include <cctype>

void buildInsertQuery(const Sqlite3ValueMap& values, Sqlite3Query& out, const std::string& table,
                      const std::set<std::string>& excluded, const std::string& verb)
{
    std::string columns;
    std::string marks;
    for (const auto& [key, value] : values) {
        std::string name = key;
        for (char& c : name)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (excluded.count(name))
            continue;
        if (!columns.empty()) {
            columns += ",";
            marks += ",";
        }
        columns += "[" + name + "]";
        marks += "?";
        switch (value.kind) {
        case Sqlite3Value::Int:
            out.addParam(std::make_unique<Sqlite3IntParam>(value.toInt(0)));
            break;
        case Sqlite3Value::Int64:
            out.addParam(std::make_unique<Sqlite3Int64Param>(value.toInt64(0)));
            break;
        case Sqlite3Value::Double:
            out.addParam(std::make_unique<Sqlite3DoubleParam>(value.toDouble(0)));
            break;
        case Sqlite3Value::Blob:
            out.addParam(std::make_unique<Sqlite3BlobParam>(value.bytes));
            break;
        case Sqlite3Value::Text:
            out.addParam(std::make_unique<Sqlite3TextParam>(value.toString()));
            break;
        default:
            out.addParam(std::make_unique<Sqlite3NullParam>());
            break;
        }
    }
    out.sql = verb + " [" + table + "](" + columns + ") VALUES(" + marks + ")";
}
