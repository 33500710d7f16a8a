#include "platform/folder_listing.h"

#include <cerrno>
#include <memory>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace corvelan::fs {

Result<FolderContents> listFolder(const std::string &hostPath) {
    std::unique_ptr<DIR, int (*)(DIR *)> dir(::opendir(hostPath.c_str()), ::closedir);
    if (!dir) return systemError(errno, hostPath, "cannot open the folder");
    FolderContents contents;
    const int dirFd = ::dirfd(dir.get());
    while (true) {
        errno = 0;
        const dirent *entry = ::readdir(dir.get());
        if (!entry) {
            if (errno != 0) return systemError(errno, hostPath, "cannot read the folder");
            break;
        }
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        bool folder = entry->d_type == DT_DIR;
        if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
            struct stat st {};
            folder = ::fstatat(dirFd, entry->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode);
        }
        (folder ? contents.folders : contents.files).push_back(name);
    }
    return contents;
}

} // namespace corvelan::fs
