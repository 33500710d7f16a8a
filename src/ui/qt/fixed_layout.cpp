#include "ui/qt/fixed_layout.h"

#include <QAbstractItemView>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

#include <mutex>

namespace corvelan::qtui {
namespace {

QString qt(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// A drop-down list as a screen reader meets it, under the name the design gives it. On Linux Qt
// names a drop-down list after its current line and leaves its name to a label beside it; the
// drive list has none to show, so it is named as on Windows, and its current line, which the
// desktop's accessibility bus carries no value for, is its description, read after its name.
class NamedDropDown final : public QAccessibleWidget {
public:
    explicit NamedDropDown(QComboBox *box) : QAccessibleWidget(box, QAccessible::ComboBox) {}

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name) return box()->accessibleName();
        if (t == QAccessible::Description) return box()->currentText();
        return QAccessibleWidget::text(t);
    }
    // Its one child is the list it opens, which holds its lines.
    int childCount() const override { return 1; }
    QAccessibleInterface *child(int index) const override {
        return index == 0 ? QAccessible::queryAccessibleInterface(box()->view()) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface *child) const override {
        return child && child->object() == box()->view() ? 0 : -1;
    }
    QStringList actionNames() const override {
        return QAccessibleWidget::actionNames() << showMenuAction();
    }
    void doAction(const QString &action) override {
        if (action == showMenuAction())
            box()->showPopup();
        else
            QAccessibleWidget::doAction(action);
    }

private:
    QComboBox *box() const { return static_cast<QComboBox *>(widget()); }
};

QAccessibleInterface *namedDropDowns(const QString &className, QObject *object) {
    auto *box = qobject_cast<QComboBox *>(object);
    if (className != QLatin1String("QComboBox") || !box || box->accessibleName().isEmpty())
        return nullptr;
    return new NamedDropDown(box);
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
    case ControlKind::DriveList: {
        static std::once_flag factory;
        std::call_once(factory, [] { QAccessible::installFactory(namedDropDowns); });
        return new QComboBox(window);
    }
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
        widget->setAccessibleName(qt(design.accessibleName(c)));
        if (widget->focusPolicy() == Qt::NoFocus) continue;
        if (previous) QWidget::setTabOrder(previous, widget);
        previous = widget;
    }
    // A label tied to what it names, which a screen reader reports as named by it.
    for (const ui::ControlDesign &c : design.controls)
        if (!c.labelledBy.empty())
            window->findChild<QLabel *>(qt(c.labelledBy))
                ->setBuddy(window->findChild<QWidget *>(qt(c.name)));
}

} // namespace corvelan::qtui
