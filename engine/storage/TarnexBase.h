// Definitions and the base session and cursor of the engine. The schema definitions (fields,
// indexes, constraints, sequences and their lists) are in TarnexBaseDefs.h; the base session
// and cursor classes follow below.
#pragma once

#include "engine/storage/TarnexBaseDefs.h"
