// The Qt drawing of a window design (ui/window_design.h): the controls at their places in
// pixels at 96 dots per inch, named by their design names (objectName), in their tab order.
#pragma once

#include "ui/window_design.h"

#include <QWidget>

namespace corvelan::qtui {

// Gives `window` the design's name, title and fixed client size, and creates its controls: a
// QListWidget for a list, a QLabel, a QPushButton that is never a default button, a QComboBox for
// the drive list.
void buildWindow(QWidget *window, const ui::WindowDesign &design);

// The control of `window` with the design name `name`.
template <typename Widget> Widget *control(QWidget *window, std::string_view name) {
    return window->findChild<Widget *>(
        QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())),
        Qt::FindDirectChildrenOnly);
}

} // namespace corvelan::qtui
