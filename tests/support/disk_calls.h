// The system calls that make a save durable, as the system sees them: the flush of a file or a
// folder and the rename of a file, recorded while a DiskCallRecorder lives; on Windows also every
// attribute and every DACL a file is given. On Linux the C library's fsync, fdatasync and rename
// calls are interposed; on Windows the executable's imports of FlushFileBuffers,
// SetFileInformationByHandle (its renames and attributes), SetFileAttributesW, MoveFileExW,
// SetSecurityInfo and ntdll's NtSetInformationFile are.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace corvelan::test {

struct DiskCall {
    enum Kind {
        FlushFile,
        FlushFolder,
        Rename,
        SetAttributes,
        SetDacl,
        // Recorded on Linux only, for the power-cut model: what changes a file or a folder.
        Create,       // a new file `name` in `folder`
        Write,        // `bytes` at `offset` of `file`
        Remove,       // the file `name` out of `folder`
        MakeFolder,   // a new folder `file` named `name` in `folder`
        RemoveFolder, // the empty folder `name` out of `folder`
    };
    Kind kind = FlushFile;
    std::uint64_t file = 0;       // the file flushed, moved or given attributes (inode, file index)
    std::uint64_t folder = 0;     // the folder flushed, or the folder a rename moves the file into
    std::int64_t size = -1;       // the file's size at the call
    std::uint32_t attributes = 0; // the Windows attributes a SetAttributes call gives
    std::string dacl{};           // the DACL a SetDacl call gives, as SDDL ("D:P(...)": protected)
    std::uint64_t fromFolder = 0; // the folder a rename takes the file out of
    std::string fromName{};       // its name there
    std::string name{};           // the name a rename, creation or removal is about
    std::int64_t offset = 0;
    std::string bytes{};
};

// Records every such call that succeeds, in order, from its construction to its end. One at a
// time; not thread-safe.
class DiskCallRecorder {
public:
    DiskCallRecorder();
    ~DiskCallRecorder();
    DiskCallRecorder(const DiskCallRecorder &) = delete;
    DiskCallRecorder &operator=(const DiskCallRecorder &) = delete;

    [[nodiscard]] const std::vector<DiskCall> &calls() const;
};

// On Linux, what a test does to the calls, to show that the power-cut model sees a missing flush:
// each flush of a file or of a folder is left out (it neither runs nor is recorded), or a file's
// flush is made after the next rename instead of before it.
enum class FlushFault { None, NoFileFlush, NoFolderFlush, FileFlushAfterRename };
void setFlushFault(FlushFault fault);

// What the hooks of each host use.
namespace hooks {
// True while a recorder lives: the hooks look at a call only then.
[[nodiscard]] bool recording();
// Records a call that succeeded.
void record(const DiskCall &call);
// Puts the host's hooks in place, once.
void install();
} // namespace hooks

} // namespace corvelan::test
