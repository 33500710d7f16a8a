// The steps of the tool's work with files, which an error names (Error::operation): those a save
// and a copy take one after the other, which the fault seam gates (platform/fault_seam.h), and the
// others.
#pragma once

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
    ClearAttributes,   // clear a file's attributes
    RemoveStale,       // remove a temporary file a killed save left
    RemoveFile,        // remove a file the command takes away
    CreateFolder,      // create a folder of the tool's own
    RemoveFolder,      // remove an empty folder of the tool's own
    OpenFolder,        // open a folder, to list it or to work in it
    ReadOwner,         // learn who owns a folder
    ReadFolder,        // read a folder's names
    FindOwnExecutable, // find the running executable
    FindCurrentFolder, // find the process's current folder
    CreateParser,      // create the XML parser
};

} // namespace corvelan::fs
