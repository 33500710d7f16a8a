#include "platform/file_operations.h"

namespace corvelan::fs {
namespace {

FileOperationHook *g_hook = nullptr;
WaitObserver *g_observer = nullptr;

} // namespace

FileOperationHook *setFileOperationHook(FileOperationHook *hook) {
    FileOperationHook *previous = g_hook;
    g_hook = hook;
    return previous;
}

WaitObserver *setWaitObserver(WaitObserver *observer) {
    WaitObserver *previous = g_observer;
    g_observer = observer;
    return previous;
}

void tellWaiting(bool waiting) {
    if (g_observer) g_observer->waiting(waiting);
}

int gate(FileOperation operation, const std::string &path) {
    return g_hook ? g_hook->before(operation, path) : 0;
}

} // namespace corvelan::fs
