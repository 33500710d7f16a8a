// Prints the tool's folder as the install workflow finds it, for a test that starts this
// program through a symbolic link.
#include "platform/file_system.h"
#include "platform/process.h"

#include <cstdio>

int main() {
    const auto folder = corvelan::fs::executableFolder();
    if (!folder) return 1;
    std::printf("%s\n", folder.value().c_str());
    return 0;
}
