// Rights and trust: what a run with more rights than the people who share the machine may
// believe of the folders it is about to change. Any standard user may create folders under
// C:\ProgramData and owns what they create; on Linux someone may run the tool as root on another
// user's Wine prefix. So before a command changes anything, every folder on the way to what it
// changes is opened one within the other and proven:
//
//   <drive root>  ->  ProgramData  ->  Schneider Electric  ->  ...  ->  DDXMLRepository  ->
//   pictures (as the drive      each opened within the one before it, and refused when it is a
//   link, lies
//    map gives it)     elsewhere than asked, or belongs to someone whose folders this run may not
//                      change; the last ones stay held for the command
#pragma once

#include "base/result.h"
#include "platform/folder.h"

#include <span>
#include <string>
#include <vector>

namespace corvelan::fs {

// True when this process may do more than the standard users who share the machine: root on
// Linux, an administrator's (elevated) or the system's token on Windows.
[[nodiscard]] bool runsElevated();

// Turns on the system's own guard against links that others planted, where it has one: Windows'
// RedirectionGuard (from Windows 11 22H2), which keeps this process from following a junction
// that a standard user made. Best effort: a system without it is no error.
void guardAgainstPlantedLinks();

// One folder on the way from a drive's root: its name on the host, and the path the user knows it
// by, which a refusal names.
struct FolderStep {
    std::string name;
    std::string shown;
};

// Proves the way from `root` through `steps`, each folder opened within the one before: with
// `elevated`, without following links and where the host says it lies. Refused, naming the step's
// shown path (the prefix's host path for the prefix), when `prefix` (a Wine prefix; empty: none)
// or a folder belongs to someone this run may not trust (ForeignOwner), or a folder is a link or
// lies elsewhere (LinksElsewhere); fails as Folder::open otherwise. With `create`, a folder that
// is missing on the way is made (Folder::createChild, guarded when `elevated`) and then proven as
// the others. Returns the folders in order.
[[nodiscard]] Result<std::vector<Folder>> proveFolders(const std::string &prefix,
                                                       const std::string &root,
                                                       std::span<const FolderStep> steps,
                                                       bool elevated, bool create = false);

} // namespace corvelan::fs
