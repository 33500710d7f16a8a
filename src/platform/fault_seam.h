// The seam through which tests fail the steps of the file layer.
//
// Each gated step of a save or a copy asks the gate first. Normally the gate lets every step run;
// a test installs a hook that fails a chosen step with an errno of its choice, or does something
// at that moment (a rival writer rewriting the file just before the rename). The gates are asked
// by the shared protocol (platform/file_system.cpp) only, so no platform can skip one; a gate
// stands in for the call it guards, so that a refusal it makes is judged as the system's own.
#pragma once

#include "base/file_operation.h"

#include <string>

namespace corvelan::fs {

class FileOperationHook {
public:
    virtual ~FileOperationHook() = default;
    // Called before `operation` on `path`; an errno fails the step without running it, 0 runs it.
    virtual int before(FileOperation operation, const std::string &path) = 0;
};

// Installs `hook` (null: none) and returns the one it replaces. For tests only; not thread-safe.
FileOperationHook *setFileOperationHook(FileOperationHook *hook);

// What the installed hook answers for `operation`, 0 when there is none.
[[nodiscard]] int gate(FileOperation operation, const std::string &path);

} // namespace corvelan::fs
