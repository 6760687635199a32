// The engine's re-entrant lock: shared objects (databases, tables, page managers) each own
// one and enter it through a scoped guard, so every exit path unlocks.
#pragma once

#include "platform/rtl/SyncObjs.h"

using TTarnexCriticalSection = TCriticalSection;
using TTarnexCriticalSectionGuard = TCriticalSectionGuard;
