// A folder held open for the length of one command, so that every file the tool creates,
// renames or removes in it lands in that very folder, wherever its path leads meanwhile: on Linux
// a descriptor, on Windows a handle that does not share its deletion, so that nobody renames or
// removes the folder while it is held.
#pragma once

#include "base/result.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace corvelan::fs {

// How a name within a held folder is taken when a link (a symbolic link, a junction, a mount
// point) stands there: followed, as a user's own run may, or refused, as a run with more rights
// than the people who could have put it there must.
enum class Links { Follow, Refuse };

class Folder {
public:
    // Opens the folder at `hostPath` (a link there followed), to take the names within it as
    // `links` says. Fails with NotFound, NotAFile (a file there) or System in OpenFolder.
    static Result<Folder> open(const std::string &hostPath, Links links = Links::Follow);

    // The folder `name` within this one, taking names as this one does. With Links::Refuse a link
    // there is refused, and so is a folder that the host says lies elsewhere than within this one
    // (LinksElsewhere).
    [[nodiscard]] Result<Folder> openChild(std::string_view name) const;

    // Creates the folder `name` within this one, which must not exist yet (System EEXIST), makes
    // its name durable and opens it as openChild() does. `guarded`: created as platform/trust.h
    // says the tool's own folders are, on Windows with a protected DACL.
    [[nodiscard]] Result<Folder> createChild(std::string_view name, bool guarded = false) const;
    // Removes the empty folder `name` within this one through its own handle: never a link, and
    // a folder that still holds anything stays. Succeeds when it is gone.
    [[nodiscard]] Status removeChild(std::string_view name) const;

    // This folder, taking the names within it as `links` says from now on.
    [[nodiscard]] Folder withLinks(Links links) && {
        m_links = links;
        return std::move(*this);
    }

    // True when `name` within this folder is a link, or a file that the host says lies
    // elsewhere (a Unix link under Wine looks like a plain file).
    [[nodiscard]] bool holdsLink(std::string_view name) const;

    Folder(Folder &&other) noexcept;
    Folder &operator=(Folder &&other) noexcept;
    Folder(const Folder &) = delete;
    Folder &operator=(const Folder &) = delete;
    ~Folder();

    // The host path it was opened at.
    [[nodiscard]] const std::string &path() const { return m_path; }
    // Where the host says it is, from its handle; empty where it cannot tell.
    [[nodiscard]] const std::string &resolved() const { return m_resolved; }
    [[nodiscard]] std::intptr_t handle() const { return m_handle; }
    // How a link that stands at a name within it is taken: every file call on the folder obeys it.
    [[nodiscard]] Links links() const { return m_links; }

private:
    Folder(std::string path, std::intptr_t handle, Links links);

    std::string m_path;
    std::intptr_t m_handle;
    std::string m_resolved;
    Links m_links;
};

} // namespace corvelan::fs
