#include "support/host.h"

namespace corvelan::test {

// Windows has no FIFO to plant; the external entity's path is not even a Windows path there.
void plantNeverReadTrap() {}
void removeNeverReadTrap() {}

} // namespace corvelan::test
