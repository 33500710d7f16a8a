// Modal boxes in the window tests. A test that answers the boxes it meets says so while it does;
// any other box fails the running test at once, naming its text, and is closed, so that a fault
// that raises a box ends the test instead of leaving it to wait out its timeout.
#pragma once

#include <QApplication>
#include <QEvent>
#include <QMessageBox>
#include <QObject>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <utility>

namespace corvelan::test {

// How many AnsweringBoxes live now.
inline int &boxesAnswered() {
    static int answering = 0;
    return answering;
}

// While one lives, the running test answers the boxes itself.
class [[nodiscard]] AnsweringBoxes {
public:
    AnsweringBoxes() { ++boxesAnswered(); }
    AnsweringBoxes(AnsweringBoxes &&other) noexcept
        : m_active(std::exchange(other.m_active, false)) {}
    AnsweringBoxes(const AnsweringBoxes &) = delete;
    AnsweringBoxes &operator=(const AnsweringBoxes &) = delete;
    AnsweringBoxes &operator=(AnsweringBoxes &&) = delete;
    ~AnsweringBoxes() {
        if (m_active) --boxesAnswered();
    }

private:
    bool m_active = true;
};

// Installed on the application once: fails the test at each box no AnsweringBoxes expects.
class UnexpectedBoxes final : public QObject {
public:
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (event->type() != QEvent::Show || boxesAnswered() > 0) return false;
        if (auto *box = qobject_cast<QMessageBox *>(watched)) {
            ADD_FAILURE() << "a box the test did not expect: \"" << box->windowTitle().toStdString()
                          << "\": " << box->text().toStdString();
            QTimer::singleShot(0, box, [box] { box->reject(); });
        }
        return false;
    }
};

// Answers every modal box with `key` and records its text, until stopped.
class BoxAnswerer {
public:
    explicit BoxAnswerer(Qt::Key key) {
        QObject::connect(&m_timer, &QTimer::timeout, [this, key] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                texts << box->text();
                QTest::keyClick(box, key);
            }
        });
        m_timer.start(20);
    }
    QStringList texts;

private:
    AnsweringBoxes m_answering;
    QTimer m_timer;
};

} // namespace corvelan::test
