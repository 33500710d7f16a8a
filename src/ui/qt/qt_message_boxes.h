// Message boxes as Windows shows them, drawn with QMessageBox.
#pragma once

#include "workflows/ports.h"

#include <QMessageBox>

class QWidget;

namespace corvelan::qtui {

// The parts of a Windows message box style value.
struct MessageBoxLook {
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    QMessageBox::StandardButton defaultButton = QMessageBox::Ok;
    QMessageBox::StandardButton escapeButton = QMessageBox::Ok;
};

// Styles 0 (OK), 16 (error, OK), 48 (warning, OK), 64 (information, OK), 4 (Yes and No, Yes the
// default, Escape for No), 32 (question icon), and their sums.
[[nodiscard]] MessageBoxLook lookOf(int style);

class QtMessageBoxes final : public workflows::MessageBoxes {
public:
    // Boxes are application-modal and centred on `parent`.
    explicit QtMessageBoxes(QWidget *parent) : m_parent(parent) {}

    int show(const std::string &text, const std::string &title, int style) override;

private:
    QWidget *m_parent;
};

} // namespace corvelan::qtui
