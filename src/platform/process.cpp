// What both platforms do alike for processes, over their own primitives.
#include "platform/process.h"

#include "platform/file_system.h"
#include "platform/process_primitives.h"

#include <cstdlib>
#include <new>

namespace corvelan::fs {

Result<std::string> executableFolder() {
    auto self = process::ownExecutable();
    if (!self) return self.error();
    return folderOf(self.value());
}

} // namespace corvelan::fs

namespace corvelan::process {

std::vector<std::string> withVariables(const std::vector<std::string> &current,
                                       const std::vector<std::string> &added) {
    std::vector<std::string> merged = added;
    for (const std::string &variable : current) {
        const std::string name = variable.substr(0, variable.find('=', 1) + 1); // "NAME="
        bool replaced = false;
        for (const std::string &a : added)
            replaced = replaced || a.starts_with(name);
        if (!replaced) merged.push_back(variable);
    }
    return merged;
}

Block allocateBlock(std::size_t size) {
    void *block = allocateOnLargePages(size);
    if (!block) block = std::malloc(size == 0 ? 1 : size);
    if (!block) throw std::bad_alloc();
    return Block(static_cast<char *>(block));
}

ChildRun runSelf(const std::vector<std::string> &arguments,
                 const std::vector<std::string> &environment) {
    ChildRun run;
    auto self = ownExecutable();
    if (!self) return run;
    auto child = Child::start(self.value(), arguments, environment);
    if (!child) return run;
    run.output = child->readAll();
    run.exitCode = child->wait();
    return run;
}

std::string Child::readAll() {
    std::string all;
    for (std::string piece = read(1 << 16); !piece.empty(); piece = read(1 << 16))
        all += piece;
    return all;
}

} // namespace corvelan::process
