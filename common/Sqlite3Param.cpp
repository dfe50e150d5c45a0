#include "Sqlite3Param.h"
