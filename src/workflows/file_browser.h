// The file selection window's presentation model: what its drive list, folder list and file list
// show, what a choice in them means, the path Open composes, and the boxes a folder that cannot be
// read gives. The Qt and Win32 windows only draw these rows and forward the user's choices.
#pragma once

#include "base/result.h"
#include "platform/drive_map.h"
#include "workflows/ports.h"

#include <string>
#include <vector>

namespace corvelan::workflows {

struct DriveRow {
    char letter = 'c'; // lower case
    std::string text;  // "c: [/home/me/.wine/drive_c]", "d: [DATA]" or "e:": the letter first
};

struct FolderRow {
    std::string text;  // the name, indented two spaces a level ("C:\" for a drive's root)
    std::string path;  // full Windows path of the folder
    bool open = false; // the folder or one above it: drawn as an open folder
};

class FileBrowser {
public:
    explicit FileBrowser(DriveMap drives);

    // Opens the process's current folder, or failing that the root of the first drive.
    Status openCurrentFolder();

    // Makes `windowsFolder` the current folder and reads it. On failure (a drive that is not
    // mapped or ready, a folder that cannot be read) the previous folder stays current, and the
    // error names `windowsFolder`.
    [[nodiscard]] Status open(const std::string &windowsFolder);

    // The user chose the drive of `driveRow`: its root folder becomes current. The user chose the
    // folder of `folderRow` (double-click or Enter). On failure each shows the box of the folder
    // that cannot be read and keeps the previous folder; false then.
    bool chooseDrive(int driveRow, MessageBoxes &boxes);
    bool chooseFolder(int folderRow, MessageBoxes &boxes);

    // The path Open composes: the current folder, one "\" and the name of `fileRow` (the folder
    // and "\" alone for no row, -1).
    [[nodiscard]] std::string pathToOpen(int fileRow) const;

    // The rows of the three lists, and which drive and folder rows stand for the current folder
    // (-1: none).
    [[nodiscard]] const std::vector<DriveRow> &driveRows() const { return m_driveRows; }
    [[nodiscard]] int currentDriveRow() const;
    [[nodiscard]] const std::vector<FolderRow> &folderRows() const { return m_folderRows; }
    [[nodiscard]] int currentFolderRow() const;
    // The current folder's files matching "*.xml" (any letter case), sorted as Windows lists them.
    [[nodiscard]] const std::vector<std::string> &fileRows() const { return m_files; }

    // The current folder: "C:\" for a drive's root, else without a trailing separator.
    [[nodiscard]] const std::string &path() const { return m_path; }

private:
    DriveMap m_drives;
    std::vector<DriveRow> m_driveRows;
    std::string m_path;
    std::vector<FolderRow> m_folderRows;
    std::vector<std::string> m_files;
};

// The path Open composes: the folder, one "\" and the selected name (the folder and "\" alone
// when no file is selected).
[[nodiscard]] std::string composeFilePath(const std::string &folder, const std::string &name);

// Windows form of `path` with "." and ".." collapsed and no trailing separator but at a root.
[[nodiscard]] std::string normaliseFolderPath(const std::string &path);

} // namespace corvelan::workflows
