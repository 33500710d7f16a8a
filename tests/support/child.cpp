#include "support/child.h"

#include "platform/process.h"

namespace corvelan::test {

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

Error notStarted(int err, const std::string &executable) {
    return systemError(err, executable, fs::FileOperation::None);
}

ChildRun runSelf(const std::vector<std::string> &arguments,
                 const std::vector<std::string> &environment) {
    ChildRun run;
    auto self = fs::ownExecutable();
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

} // namespace corvelan::test
