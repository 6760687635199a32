// Definitions, databases and the base session and cursor of the engine. The schema definitions
// (fields, indexes, constraints, sequences and their lists) are in TarnexBaseDefs.h; the
// database objects and the process-wide database list in TarnexBaseDatabase.h; the base session
// in TarnexBaseSession.h and the base cursor in TarnexBaseCursor.h.
#pragma once

#include "engine/storage/TarnexBaseDefs.h"
#include "engine/storage/TarnexBaseSession.h"
#include "engine/storage/TarnexBaseCursor.h"
#include "engine/storage/TarnexBaseDatabase.h"
