#pragma once

#include "common/Sqlite3Value.h"

#include <set>
#include <string>

class Sqlite3Query;

// Builds "<verb> [table]([a],[b]) VALUES(?,?)" from the map's columns
// (lower-cased, those in excluded skipped) and appends one parameter per
// column to out.
void buildInsertQuery(const Sqlite3ValueMap& values, Sqlite3Query& out, const std::string& table,
                      const std::set<std::string>& excluded, const std::string& verb);
