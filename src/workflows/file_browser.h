// The file selection window's model: the current drive and folder, its chain of parent folders,
// its sub-folders and its "*.xml" files, all in Windows form.
#pragma once

#include "platform/drive_map.h"
#include "platform/result.h"

#include <string>
#include <vector>

namespace corvelan::workflows {

struct DriveChoice {
    char letter = 'c'; // lower case
    std::string label; // "c: [/home/me/.wine/drive_c]", "d: [DATA]" or "e:": the letter first
};

struct FolderLevel {
    std::string name; // "C:\" for the root, else the folder's own name
    std::string path; // full Windows path of the folder
};

class FileBrowser {
public:
    explicit FileBrowser(DriveMap drives) : m_drives(std::move(drives)) {}

    // The drives of the drive map whose root folder exists.
    [[nodiscard]] std::vector<DriveChoice> drives() const;

    // Makes `windowsFolder` the current folder and reads it. On failure (a drive that is not
    // mapped or ready, a folder that cannot be read) the previous folder stays current.
    [[nodiscard]] Status open(const std::string &windowsFolder);

    // Opens the process's current folder, or failing that the root of the first drive.
    Status openCurrentFolder();

    // The current folder: "C:\" for a drive's root, else without a trailing separator.
    [[nodiscard]] const std::string &path() const { return m_path; }
    [[nodiscard]] char driveLetter() const;
    // The folders from the drive's root down to the current one.
    [[nodiscard]] std::vector<FolderLevel> chain() const;
    // The current folder's sub-folders and its files matching "*.xml" (any letter case), each
    // sorted without regard to case.
    [[nodiscard]] const std::vector<std::string> &subFolders() const { return m_subFolders; }
    [[nodiscard]] const std::vector<std::string> &files() const { return m_files; }

private:
    DriveMap m_drives;
    std::string m_path;
    std::vector<std::string> m_subFolders;
    std::vector<std::string> m_files;
};

// The path Open composes: the folder, one "\" and the selected name (the folder and "\" alone
// when no file is selected).
[[nodiscard]] std::string composeFilePath(const std::string &folder, const std::string &name);

// Windows form of `path` with "." and ".." collapsed and no trailing separator but at a root.
[[nodiscard]] std::string normaliseFolderPath(const std::string &path);

} // namespace corvelan::workflows
