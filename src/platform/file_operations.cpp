#include "platform/file_operations.h"

namespace corvelan::fs {
namespace {

FileOperationHook *g_hook = nullptr;

} // namespace

const char *operationName(FileOperation operation) {
    switch (operation) {
    case FileOperation::CreateTemp:
        return "create temporary file";
    case FileOperation::OpenSource:
        return "open source";
    case FileOperation::Read:
        return "read";
    case FileOperation::Write:
        return "write";
    case FileOperation::SetOwner:
        return "set owner";
    case FileOperation::CopyAttributes:
        return "copy attributes";
    case FileOperation::SetMode:
        return "set mode";
    case FileOperation::Flush:
        return "flush";
    case FileOperation::Check:
        return "check";
    case FileOperation::Compare:
        return "compare";
    case FileOperation::Rename:
        return "rename";
    case FileOperation::FlushFolder:
        return "flush folder";
    }
    return "?";
}

FileOperationHook *setFileOperationHook(FileOperationHook *hook) {
    FileOperationHook *previous = g_hook;
    g_hook = hook;
    return previous;
}

int gate(FileOperation operation, const std::string &path) {
    return g_hook ? g_hook->before(operation, path) : 0;
}

} // namespace corvelan::fs
