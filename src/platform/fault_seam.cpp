#include "platform/fault_seam.h"

#include <utility>

namespace corvelan::fs {
namespace {

FileOperationHook *g_hook = nullptr;

} // namespace

FileOperationHook *setFileOperationHook(FileOperationHook *hook) {
    return std::exchange(g_hook, hook);
}

int gate(FileOperation operation, const std::string &path) {
    return g_hook ? g_hook->before(operation, path) : 0;
}

} // namespace corvelan::fs
