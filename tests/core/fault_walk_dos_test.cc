// The fault walk over the DOS/Windows command set.
#include "core/fault_walk.h"

TEST(FaultWalk, DosCommandsEveryOperationFailedInterruptedAndKilled) {
  fault_walk::walk_every_operation();
}
