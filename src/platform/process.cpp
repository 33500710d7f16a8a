// What both platforms do alike for processes, over their own primitives.
#include "platform/process.h"

#include "platform/file_system.h"

namespace corvelan::fs {

Result<std::string> executableFolder() {
    auto self = ownExecutable();
    if (!self) return self.error();
    return folderOf(self.value());
}

} // namespace corvelan::fs
