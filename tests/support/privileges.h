// Permission errors as root: root ignores permissions, so a test that needs one runs that step
// in a child process that has dropped to the unprivileged user "nobody".
#pragma once

#include <functional>

namespace corvelan::test {

// Runs `body` in a child process as "nobody" (or as the current user when it is not root) and
// returns what it returned; -1 when the child could not run or died.
int runUnprivileged(const std::function<int()> &body);

// Makes `path` owned by "nobody", so that the unprivileged child may change it.
void giveToNobody(const char *path);

} // namespace corvelan::test
