// The lines a window's List1 shows, for the window tests.
#pragma once

#include <QListWidget>
#include <QStringList>
#include <QWidget>

namespace corvelan::test {

inline QStringList listLines(const QWidget &window) {
    QStringList out;
    const auto *list = window.findChild<QListWidget *>(QStringLiteral("List1"));
    for (int i = 0; list && i < list->count(); ++i)
        out << list->item(i)->text();
    return out;
}

} // namespace corvelan::test
