// The design of the tool's two windows: their titles, client areas and controls, in one table
// each, drawn alike by the Qt windows (Linux) and the Win32 windows (Windows).
//
// The windows' and controls' names (UpdateTool, FileControl, List1, cmdUpdate, CmdOpen, ...), the
// main window's public members NewFileName and InstallDtm, and the handlers named after the
// controls (cmdUpdate_Click) are the tool's own long-standing names, which its documents and the
// people who support it use: they are kept exactly, though they break the naming style.
//
//   +-- title -------------------------------+
//   | (left, top)                            |   every rectangle in pixels at 96 dots per inch,
//   |     +-- control --+                    |   from the top-left corner of the client area
//   |     |   width     | height             |
//   |     +-------------+                    |
//   +----------------------------------------+  client area: width x height
#pragma once

#include "workflows/messages.h"

#include <array>
#include <cassert>
#include <span>
#include <string_view>

namespace corvelan::ui {

enum class ControlKind {
    List,      // a list box of lines
    Label,     // static text
    Button,    // a push button that is never the default: Enter and Escape press nothing
    DriveList, // a drop-down list of the drives
    FolderList,
    FileList,
};

struct FontDesign {
    std::string_view face; // empty: the window's standard font
    int points = 0;
    bool bold = false;
};

struct ControlDesign {
    std::string_view name; // its design name: a Qt objectName, a Win32 window property
    ControlKind kind;
    std::string_view caption; // of a label or a button
    int left;
    int top;
    int width;
    int height;
    FontDesign font;
    // What a screen reader calls a control that shows no text of its own: the label of the same
    // window that names it, or else a name for it alone, heard but never shown.
    std::string_view labelledBy = {};
    std::string_view accessibleName = {};
};

struct WindowDesign {
    std::string_view name;
    std::string_view title;
    int width; // of the client area
    int height;
    // Every control, in tab order for those that take the focus.
    std::span<const ControlDesign> controls;

    // The control named `controlName`; the table must hold it.
    [[nodiscard]] const ControlDesign &control(std::string_view controlName) const {
        for (const ControlDesign &c : controls)
            if (c.name == controlName) return c;
        assert(false && "a control the design does not know");
        return controls.front();
    }

    // The name a screen reader reads for `c`: its caption, its label's caption, or the name the
    // design gives it.
    [[nodiscard]] std::string_view accessibleName(const ControlDesign &c) const {
        if (!c.labelledBy.empty()) return control(c.labelledBy).caption;
        return c.accessibleName.empty() ? c.caption : c.accessibleName;
    }
};

inline constexpr std::array<ControlDesign, 6> kUpdateToolControls{{
    {"List1", ControlKind::List, "", 24, 56, 481, 173, {}, "Label1"},
    {"Label1", ControlKind::Label, "Installed DTM's", 24, 16, 185, 25, {"MS Sans Serif", 12, true}},
    {"Label2",
     ControlKind::Label,
     "Click to Install or Remove the QVX TSR 7700 DTM.",
     24,
     248,
     425,
     25,
     {}},
    {"cmdUpdate", ControlKind::Button, "Install", 88, 288, 65, 25, {}},
    {"cmdExit", ControlKind::Button, "Exit", 360, 288, 81, 25, {}},
    {"cmdRemove", ControlKind::Button, "Remove", 224, 288, 65, 25, {}},
}};

// The one command the main window offers beyond its buttons, without changing its layout: on the
// list's context menu (and on Windows the window's system menu), it restores the newest
// generation of the history.
inline constexpr std::string_view kRestoreMenuItem = "Restore previous version...";

inline constexpr WindowDesign kUpdateToolDesign{"UpdateTool", workflows::messages::kToolTitle, 526,
                                                344, kUpdateToolControls};

inline constexpr std::array<ControlDesign, 5> kFileControlControls{{
    {"Drive1", ControlKind::DriveList, "", 16, 16, 137, 21, {}, {}, "Drive"},
    {"Dir1", ControlKind::FolderList, "", 16, 48, 145, 171, {}, {}, "Folders"},
    {"File1", ControlKind::FileList, "", 168, 16, 257, 162, {}, {}, "Files"},
    {"CmdOpen", ControlKind::Button, "Open", 192, 200, 81, 25, {}},
    {"CmdCancel", ControlKind::Button, "Cancel", 320, 200, 81, 25, {}},
}};

inline constexpr WindowDesign kFileControlDesign{"FileControl", "File Open", 467, 242,
                                                 kFileControlControls};

} // namespace corvelan::ui
