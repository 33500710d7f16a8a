// The window tests run on the offscreen platform with one QApplication for the whole run; a box
// that no test expects fails the test that meets it.
#include "support/qt_boxes.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char *argv[]) {
    if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    corvelan::test::UnexpectedBoxes unexpected;
    app.installEventFilter(&unexpected);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
