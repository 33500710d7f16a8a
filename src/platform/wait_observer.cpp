#include "platform/wait_observer.h"

namespace corvelan::fs {
namespace {

WaitObserver *g_observer = nullptr;

} // namespace

WaitObserver *setWaitObserver(WaitObserver *observer) {
    WaitObserver *previous = g_observer;
    g_observer = observer;
    return previous;
}

void tellWaiting(bool waiting) {
    if (g_observer) g_observer->waiting(waiting);
}

} // namespace corvelan::fs
