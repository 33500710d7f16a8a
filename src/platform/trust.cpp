#include "platform/trust.h"

#include "platform/file_primitives.h"

namespace corvelan::fs {

Result<std::vector<Folder>> proveFolders(const std::string &prefix, const std::string &root,
                                         std::span<const FolderStep> steps, bool elevated) {
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
