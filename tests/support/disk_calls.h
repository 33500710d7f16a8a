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
    enum Kind { FlushFile, FlushFolder, Rename, SetAttributes, SetDacl };
    Kind kind = FlushFile;
    std::uint64_t file = 0;       // the file flushed, moved or given attributes (inode, file index)
    std::uint64_t folder = 0;     // the folder flushed, or the folder a rename moves the file into
    std::int64_t size = -1;       // the file's size at the call
    std::uint32_t attributes = 0; // the Windows attributes a SetAttributes call gives
    std::string dacl{};           // the DACL a SetDacl call gives, as SDDL ("D:P(...)": protected)
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
