#include "platform/trust.h"

#include "platform/file_primitives.h"

#include <cerrno>

namespace corvelan::fs {

Result<std::vector<Folder>> proveFolders(const std::string &prefix, const std::string &root,
                                         std::span<const FolderStep> steps, bool elevated,
                                         bool create) {
    if (!prefix.empty())
        if (auto owner = host::foreignPrefixOwner(prefix)) {
            Error e = makeError(ErrorCode::ForeignOwner, prefix);
            e.detail = Owner{*owner};
            return e;
        }
    auto top = Folder::open(root, elevated ? Links::Refuse : Links::Follow);
    if (!top) return top.error();
    std::vector<Folder> folders;
    folders.reserve(steps.size()); // `parent` points into it
    const Folder *parent = &top.value();
    for (const FolderStep &step : steps) {
        auto child = parent->openChild(step.name);
        // Made where it lacks, guarded as the tool's own when the run may write where users may
        // not; one that appeared meanwhile is opened and proven as any other.
        if (create && !child && child.error().code == ErrorCode::NotFound) {
            child = parent->createChild(step.name, elevated);
            if (!child && child.error().sysErrno == EEXIST) child = parent->openChild(step.name);
        }
        auto owner = child ? host::untrustedOwner(child->handle(), elevated, step.shown)
                           : Result<std::optional<std::string>>(child.error());
        if (!owner) {
            Error e = owner.error();
            e.path = step.shown;
            return e;
        }
        if (owner.value()) {
            Error e = makeError(ErrorCode::ForeignOwner, step.shown);
            e.detail = Owner{*owner.value()};
            return e;
        }
        folders.push_back(std::move(child).value());
        parent = &folders.back();
    }
    return folders;
}

} // namespace corvelan::fs
