// The fault walk over the Unix command set.
#include "core/fault_walk.h"

TEST(FaultWalk, UnixCommandsEveryOperationFailedInterruptedAndKilled) {
  fault_walk::walk_every_operation();
}
