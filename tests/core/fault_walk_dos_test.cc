// The fault walk over the DOS/Windows command set.
#include "core/fault_walk.h"

namespace fault_walk {
KIVO_FAULT_WALK(DosCommands);
}  // namespace fault_walk
