#include "ui/qt/fixed_layout.h"

#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

namespace corvelan::qtui {
namespace {

QString qt(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QWidget *create(QWidget *window, const ui::ControlDesign &design) {
    using ui::ControlKind;
    switch (design.kind) {
    case ControlKind::List:
    case ControlKind::FolderList:
    case ControlKind::FileList: {
        auto *list = new QListWidget(window);
        list->setSortingEnabled(false);
        list->setUniformItemSizes(true);
        if (design.kind == ControlKind::FileList)
            list->setSelectionMode(QAbstractItemView::SingleSelection);
        return list;
    }
    case ControlKind::Label: {
        auto *label = new QLabel(qt(design.caption), window);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        label->setFocusPolicy(Qt::NoFocus);
        return label;
    }
    case ControlKind::Button: {
        // Never the window's default: Enter and Escape press no button.
        auto *button = new QPushButton(qt(design.caption), window);
        button->setAutoDefault(false);
        button->setDefault(false);
        return button;
    }
    case ControlKind::DriveList:
        return new QComboBox(window);
    }
    return new QWidget(window);
}

} // namespace

void buildWindow(QWidget *window, const ui::WindowDesign &design) {
    window->setObjectName(qt(design.name));
    window->setWindowTitle(qt(design.title));
    window->setFixedSize(design.width, design.height);
    QWidget *previous = nullptr;
    for (const ui::ControlDesign &c : design.controls) {
        QWidget *widget = create(window, c);
        widget->setObjectName(qt(c.name));
        widget->setGeometry(c.left, c.top, c.width, c.height);
        if (!c.font.face.empty()) {
            QFont font(qt(c.font.face), c.font.points, c.font.bold ? QFont::Bold : QFont::Normal);
            font.setItalic(false);
            font.setUnderline(false);
            widget->setFont(font);
        }
        if (widget->focusPolicy() == Qt::NoFocus) continue;
        if (previous) QWidget::setTabOrder(previous, widget);
        previous = widget;
    }
}

} // namespace corvelan::qtui
