#include "platform/termination.h"

namespace corvelan {

// Windows tells a program to end through its windows (WM_CLOSE, WM_ENDSESSION).
int catchEndRequests() {
    return -1;
}

void drainEndRequests(int) {}

} // namespace corvelan
