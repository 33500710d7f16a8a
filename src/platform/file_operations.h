// The seam for every file operation that replaces or copies a file.
//
// Each step of a save or a copy asks the gate first. Normally the gate lets every step run; a
// test installs a hook that fails a chosen step with an errno of its choice, or does something
// at that moment (a rival writer rewriting the file just before the rename).
#pragma once

#include <string>

namespace corvelan::fs {

enum class FileOperation {
    CreateTemp,     // create the temporary file beside the target
    OpenSource,     // open the source of a copy
    Read,           // read a chunk of the source of a copy
    Write,          // write a chunk to the temporary file
    SetOwner,       // fchown
    CopyAttributes, // copy the extended attributes (user.DOSATTRIB)
    SetMode,        // fchmod
    Flush,          // fsync of the temporary file
    Check,          // look at the file to be replaced, before comparing it with what was read
    Compare,        // read a piece of the file to be replaced, to compare it
    Rename,         // rename over the target
    FlushFolder,    // fsync of the folder after the rename
};

[[nodiscard]] const char *operationName(FileOperation operation);

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
