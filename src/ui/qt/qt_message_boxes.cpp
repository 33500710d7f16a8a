#include "ui/qt/qt_message_boxes.h"

#include <QPushButton>

namespace corvelan::qtui {

MessageBoxLook lookOf(workflows::BoxStyle style) {
    using workflows::BoxStyle;
    MessageBoxLook look;
    switch (style) {
    case BoxStyle::Ok:
        break;
    case BoxStyle::Error:
        look.icon = QMessageBox::Critical;
        break;
    case BoxStyle::Warning:
        look.icon = QMessageBox::Warning;
        break;
    case BoxStyle::Confirm:
        look.icon = QMessageBox::Information;
        look.buttons = QMessageBox::Yes | QMessageBox::No;
        look.defaultButton = QMessageBox::Yes;
        look.escapeButton = QMessageBox::No;
        break;
    }
    return look;
}

workflows::BoxAnswer QtMessageBoxes::show(const std::string &text, const std::string &title,
                                          workflows::BoxStyle style) {
    const MessageBoxLook look = lookOf(style);
    QMessageBox box(look.icon, QString::fromStdString(title), QString::fromStdString(text),
                    look.buttons, m_parent);
    box.setWindowModality(Qt::ApplicationModal);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(look.defaultButton);
    box.setEscapeButton(look.escapeButton);
    switch (box.exec()) {
    case QMessageBox::Yes:
        return workflows::BoxAnswer::Yes;
    case QMessageBox::No:
        return workflows::BoxAnswer::No;
    default:
        // Closing a Yes/No box through its frame counts as No.
        return look.buttons.testFlag(QMessageBox::No) ? workflows::BoxAnswer::No
                                                      : workflows::BoxAnswer::Ok;
    }
}

} // namespace corvelan::qtui
