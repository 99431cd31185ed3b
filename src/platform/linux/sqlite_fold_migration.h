#pragma once

#include "platform/linux/sqlite_hive_connection.h"

namespace kip {

// Names stored by an older version were folded by ASCII letters only. Their folded forms are brought up to
// date when the hive is opened for writing, in one transaction. Two names of one key that now fold together
// are both kept: the one whose folded form had to change takes the first free "NAME(2)", "NAME(3)", ...
// A hive that cannot be brought up to date now (read-only, busy) keeps its old forms and is searched by
// name instead until it can. Returns whether names folded by the older rule remain.
bool migrateFolds(SqliteHiveConnection& connection);

}  // namespace kip
