// The fault walk over the Unix command set.
#include "core/fault_walk.h"

namespace fault_walk {
KIVO_FAULT_WALK(UnixCommands);
}  // namespace fault_walk
