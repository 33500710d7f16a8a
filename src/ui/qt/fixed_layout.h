// Controls placed at fixed pixel positions (96 dots per inch), as both windows lay them out.
#pragma once

#include <QPushButton>
#include <QString>
#include <QWidget>

namespace corvelan::qtui {

// A new control of `parent` named `name` (its objectName) at the given geometry.
template <typename Widget>
Widget *place(QWidget *parent, const char *name, int left, int top, int width, int height) {
    auto *widget = new Widget(parent);
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(left, top, width, height);
    return widget;
}

// A button that is never the window's default: Enter and Escape press no button.
inline QPushButton *plainButton(QWidget *parent, const char *name, const char *caption, int left,
                                int top, int width, int height) {
    auto *button = place<QPushButton>(parent, name, left, top, width, height);
    button->setText(QString::fromLatin1(caption));
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

} // namespace corvelan::qtui
