#include "common/Sqlite3Param.h"
