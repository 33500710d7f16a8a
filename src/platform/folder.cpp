#include "platform/folder.h"

#include "platform/fault_seam.h"
#include "platform/file_primitives.h"
#include "platform/file_protocol.h"

#include <utility>

namespace corvelan::fs {

Folder::Folder(std::string path, std::intptr_t handle, Links links)
    : m_path(std::move(path)), m_handle(handle), m_resolved(host::resolvedPath(handle)),
      m_links(links) {}

Folder::Folder(Folder &&other) noexcept
    : m_path(std::move(other.m_path)), m_handle(std::exchange(other.m_handle, host::kNoHandle)),
      m_resolved(std::move(other.m_resolved)), m_links(other.m_links) {}

Folder &Folder::operator=(Folder &&other) noexcept {
    if (this != &other) {
        if (m_handle != host::kNoHandle) host::closeFolder(m_handle);
        m_path = std::move(other.m_path);
        m_handle = std::exchange(other.m_handle, host::kNoHandle);
        m_resolved = std::move(other.m_resolved);
        m_links = other.m_links;
    }
    return *this;
}

Folder::~Folder() {
    if (m_handle != host::kNoHandle) host::closeFolder(m_handle);
}

Result<Folder> Folder::open(const std::string &hostPath, Links links) {
    auto handle = host::openFolder(hostPath);
    if (!handle) return handle.error();
    return Folder(hostPath, handle.value(), links);
}

Result<Folder> Folder::openChild(std::string_view name) const {
    const std::string path = joinPath(m_path, name);
    auto handle = host::openChildFolder(m_handle, name, path, m_links == Links::Refuse);
    if (!handle) return handle.error();
    Folder child(path, handle.value(), m_links);
    // Where the host says it opened it: a link that no flag could keep from being followed (a
    // Unix link under Wine looks like a plain folder) shows there.
    if (m_links == Links::Refuse && !m_resolved.empty() &&
        !host::sameHostPath(child.resolved(), joinPath(m_resolved, name)))
        return makeError(ErrorCode::LinksElsewhere, path);
    return child;
}

Result<Folder> Folder::createChild(std::string_view name, bool guarded) const {
    const std::string path = joinPath(m_path, name);
    if (auto refused = refusedByGate(FileOperation::CreateFolder, path)) return *refused;
    if (Status s = host::createFolderIn(*this, name, guarded); !s) return s.error();
    host::flushFolder(*this);
    return openChild(name);
}

Status Folder::removeChild(std::string_view name) const {
    Status removed = host::removeEmptyFolderIn(*this, name);
    if (removed) host::flushFolder(*this);
    return removed;
}

bool Folder::holdsLink(std::string_view name) const {
    return host::stateIn(*this, name, Links::Refuse).kind == host::PathState::Kind::Link;
}

} // namespace corvelan::fs
