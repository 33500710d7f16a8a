// The steps of the file layer, and the seam through which tests fail them.
//
// Each step of a save or a copy asks the gate first. Normally the gate lets every step run; a
// test installs a hook that fails a chosen step with an errno of its choice, or does something
// at that moment (a rival writer rewriting the file just before the rename). The gates are asked
// by the shared protocol (platform/file_system.cpp) only, so no platform can skip one.
//
// An error names the step it failed in (Error::operation), gated or not.
#pragma once

#include <string>

namespace corvelan::fs {

enum class FileOperation {
    None,
    // The gated steps of a save and a copy
    CreateTemp,     // create the temporary file beside the target
    OpenSource,     // open the source of a copy
    Read,           // read a chunk of the source of a copy, or of a file being read
    Write,          // write a chunk to the temporary file
    SetOwner,       // give the temporary file the target's owner
    SetSecurity,    // give it the target's security (its DACL on Windows)
    CopyAttributes, // give it the target's attributes (user.DOSATTRIB; hidden, system)
    SetMode,        // give it the target's permissions (read-only)
    Flush,          // flush it to the disk
    Check,          // look at the file to be replaced, before comparing it with what was read
    Compare,        // read a piece of the file to be replaced, to compare it
    Rename,         // rename it over the target
    FlushFolder,    // flush the folder after the rename
    // Steps that are not gated
    Open,              // open a file to read it
    Inspect,           // learn an open file's size and identity
    ListAttributes,    // list the target's extended attributes (`name` empty) or copy one
    ResolvePath,       // resolve the links of a path
    ResolveFolder,     // resolve the folder of a path
    ReadAttributes,    // read a file's attributes
    SetAttributes,     // set a file's attributes
    ClearAttributes,   // clear a file's attributes
    RemoveStale,       // remove a temporary file a killed save left
    OpenFolder,        // open a folder, to list it or to work in it
    ReadOwner,         // learn who owns a folder
    ReadFolder,        // read a folder's names
    FindOwnExecutable, // find the running executable
    FindCurrentFolder, // find the process's current folder
    CreateParser,      // create the XML parser
};

class FileOperationHook {
public:
    virtual ~FileOperationHook() = default;
    // Called before `operation` on `path`; an errno fails the step without running it, 0 runs it.
    virtual int before(FileOperation operation, const std::string &path) = 0;
};

// Installs `hook` (null: none) and returns the one it replaces. For tests only; not thread-safe.
FileOperationHook *setFileOperationHook(FileOperationHook *hook);

// Told when the file layer starts to wait for a file that another program holds, before it tries
// the step again, and when it stopped waiting; a window shows a wait cursor meanwhile.
class WaitObserver {
public:
    virtual ~WaitObserver() = default;
    virtual void waiting(bool waiting) = 0;
};

// Installs `observer` (null: none) and returns the one it replaces. Not thread-safe.
WaitObserver *setWaitObserver(WaitObserver *observer);

// Tells the installed observer, if any.
void tellWaiting(bool waiting);

// What the installed hook answers for `operation`, 0 when there is none.
[[nodiscard]] int gate(FileOperation operation, const std::string &path);

} // namespace corvelan::fs
