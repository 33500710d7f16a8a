#include "ui/qt/qt_message_boxes.h"

#include <QPushButton>

namespace corvelan::qtui {

MessageBoxLook lookOf(int style) {
    MessageBoxLook look;
    switch (style & 0x70) {
    case 16:
        look.icon = QMessageBox::Critical;
        break;
    case 32:
        look.icon = QMessageBox::Question;
        break;
    case 48:
        look.icon = QMessageBox::Warning;
        break;
    case 64:
        look.icon = QMessageBox::Information;
        break;
    default:
        look.icon = QMessageBox::NoIcon;
        break;
    }
    if ((style & 0x7) == 4) {
        look.buttons = QMessageBox::Yes | QMessageBox::No;
        look.defaultButton = (style & 0x300) == 0x100 ? QMessageBox::No : QMessageBox::Yes;
        look.escapeButton = QMessageBox::No;
    }
    return look;
}

int QtMessageBoxes::show(const std::string &text, const std::string &title, int style) {
    const MessageBoxLook look = lookOf(style);
    QMessageBox box(look.icon, QString::fromStdString(title), QString::fromStdString(text),
                    look.buttons, m_parent);
    box.setWindowModality(Qt::ApplicationModal);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(look.defaultButton);
    box.setEscapeButton(look.escapeButton);
    switch (box.exec()) {
    case QMessageBox::Yes:
        return workflows::kAnswerYes;
    case QMessageBox::No:
        return workflows::kAnswerNo;
    default:
        // Closing a Yes/No box through its frame counts as No.
        return look.buttons.testFlag(QMessageBox::No) ? workflows::kAnswerNo : workflows::kAnswerOk;
    }
}

} // namespace corvelan::qtui
