#include "platform/folder_listing.h"

#include <cerrno>
#include <memory>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace corvelan::fs {

Result<FolderContents> listFolder(const std::string &hostPath) {
    std::unique_ptr<DIR, int (*)(DIR *)> dir(::opendir(hostPath.c_str()), ::closedir);
    if (!dir) return systemError(errno, hostPath, FileOperation::OpenFolder);
    FolderContents contents;
    const int dirFd = ::dirfd(dir.get());
    while (true) {
        errno = 0;
        const dirent *entry = ::readdir(dir.get());
        if (!entry) {
            if (errno != 0) return systemError(errno, hostPath, FileOperation::ReadFolder);
            break;
        }
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        bool folder = entry->d_type == DT_DIR;
        bool file = entry->d_type == DT_REG;
        if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
            struct stat st {};
            const bool found = ::fstatat(dirFd, entry->d_name, &st, 0) == 0;
            folder = found && S_ISDIR(st.st_mode);
            file = found && S_ISREG(st.st_mode);
        }
        // FIFOs, sockets, devices and dangling links are no files to pick.
        if (folder || file) (folder ? contents.folders : contents.files).push_back(name);
    }
    return contents;
}

} // namespace corvelan::fs
