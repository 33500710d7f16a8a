// Message boxes as Windows shows them, drawn with QMessageBox.
#pragma once

#include "workflows/ports.h"

#include <QMessageBox>

class QWidget;

namespace corvelan::qtui {

// How a box of the workflows' style looks in Qt.
struct MessageBoxLook {
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    QMessageBox::StandardButton defaultButton = QMessageBox::Ok;
    QMessageBox::StandardButton escapeButton = QMessageBox::Ok;
};

// Its icon and buttons; a question has Yes the default and Escape for No.
[[nodiscard]] MessageBoxLook lookOf(workflows::BoxStyle style);

class QtMessageBoxes final : public workflows::MessageBoxes {
public:
    // Boxes are application-modal and centred on `parent`.
    explicit QtMessageBoxes(QWidget *parent) : m_parent(parent) {}

    workflows::BoxAnswer show(const std::string &text, const std::string &title,
                              workflows::BoxStyle style) override;

private:
    QWidget *m_parent;
};

} // namespace corvelan::qtui
