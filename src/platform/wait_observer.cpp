#include "platform/wait_observer.h"

#include <utility>

namespace corvelan::fs {
namespace {

WaitObserver *g_observer = nullptr;

} // namespace

WaitObserver *setWaitObserver(WaitObserver *observer) {
    return std::exchange(g_observer, observer);
}

void tellWaiting(bool waiting) {
    if (g_observer) g_observer->waiting(waiting);
}

} // namespace corvelan::fs
