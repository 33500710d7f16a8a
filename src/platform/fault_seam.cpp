#include "platform/fault_seam.h"

namespace corvelan::fs {
namespace {

FileOperationHook *g_hook = nullptr;

} // namespace

FileOperationHook *setFileOperationHook(FileOperationHook *hook) {
    FileOperationHook *previous = g_hook;
    g_hook = hook;
    return previous;
}

int gate(FileOperation operation, const std::string &path) {
    return g_hook ? g_hook->before(operation, path) : 0;
}

} // namespace corvelan::fs
