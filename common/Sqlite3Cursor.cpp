#include "common/Sqlite3Cursor.h"

#include "common/Sqlite3Query.h"
#include "common/Sqlite3Stmt.h"

#include <sqlite3.h>

#include <cctype>

Sqlite3Cursor::Sqlite3Cursor() = default;

Sqlite3Cursor::~Sqlite3Cursor() = default;

bool Sqlite3Cursor::prepare(sqlite3* db, const Sqlite3Query& q)
{
    stmt.reset();
    stmt = std::make_unique<Sqlite3Stmt>();
    columns.clear();
    rowIndex = -1;
    onRow = false;
    finished = false;
    error = false;
    if (!stmt->prepare(db, q)) {
        error = true;
        finished = true;
        return false;
    }
    return true;
}

bool Sqlite3Cursor::next()
{
    onRow = false;
    // Stepping again after the end would start the query over.
    if (finished || !stmt || !stmt->get()) {
        if (!stmt || !stmt->get())
            error = true;
        return false;
    }
    int rc = sqlite3_step(stmt->get());
    if (rc == SQLITE_ROW) {
        ++rowIndex;
        onRow = true;
        return true;
    }
    finished = true;
    error = rc != SQLITE_DONE;
    return false;
}

int Sqlite3Cursor::columnIndex(std::string name)
{
    for (char& c : name)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (columns.empty() && stmt && stmt->get()) {
        int n = sqlite3_column_count(stmt->get());
        for (int i = 0; i < n; ++i) {
            const char* col = sqlite3_column_name(stmt->get(), i);
            columns[col ? col : ""] = i;
        }
    }
    auto it = columns.find(name);
    return it == columns.end() ? -1 : it->second;
}

int Sqlite3Cursor::valueIndex(const std::string& name)
{
    int i = columnIndex(name);
    if (i < 0 || !onRow)
        return -1;
    if (sqlite3_column_type(stmt->get(), i) == SQLITE_NULL)
        return -1;
    return i;
}

int32_t Sqlite3Cursor::getInt(const std::string& name)
{
    int i = valueIndex(name);
    return i < 0 ? 0 : sqlite3_column_int(stmt->get(), i);
}

int64_t Sqlite3Cursor::getInt64(const std::string& name)
{
    int i = valueIndex(name);
    return i < 0 ? 0 : sqlite3_column_int64(stmt->get(), i);
}

double Sqlite3Cursor::getDouble(const std::string& name)
{
    int i = valueIndex(name);
    return i < 0 ? 0.0 : sqlite3_column_double(stmt->get(), i);
}

std::string Sqlite3Cursor::getText(const std::string& name)
{
    int i = valueIndex(name);
    if (i < 0)
        return {};
    const unsigned char* text = sqlite3_column_text(stmt->get(), i);
    // By its length: a NUL inside the text does not end it.
    return text ? std::string(reinterpret_cast<const char*>(text), size_t(sqlite3_column_bytes(stmt->get(), i)))
                : std::string();
}

std::string Sqlite3Cursor::getBlob(const std::string& name)
{
    int i = valueIndex(name);
    if (i < 0)
        return {};
    const void* data = sqlite3_column_blob(stmt->get(), i);
    int size = sqlite3_column_bytes(stmt->get(), i);
    if (!data || size <= 0)
        return {};
    return std::string(static_cast<const char*>(data), static_cast<size_t>(size));
}
