#include "support/fault_hooks.h"
#include "support/qt_boxes.h"
#include "support/qt_printers.h"
#include "support/temp_prefix.h"
#include "support/window_lines.h"
#include "ui/qt/update_tool.h"

#include <QAction>
#include <QApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPalette>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cerrno>
#include <map>

namespace corvelan::qtui {
namespace {

using test::TempPrefix;

class UpdateToolTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::writeFile(prefix.catalogueFile(),
                        "<DDXMLRepository>\r\n<File ProductID=\"B\" Fileversion=\"2\"/>\r\n"
                        "<File ProductID=\"A\" Fileversion=\"1\"/>\r\n</DDXMLRepository>\r\n");
    }
    template <typename T> T *child(const UpdateTool &window, const char *name) {
        auto *widget = window.findChild<T *>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    TempPrefix prefix;
};

TEST_F(UpdateToolTest, ListsTheCatalogueBeforeItIsShown) {
    UpdateTool window(prefix.drives());
    EXPECT_EQ(test::listLines(window),
              (QStringList{QStringLiteral("B  Revision: 2"), QStringLiteral("A  Revision: 1")}));
    EXPECT_TRUE(child<QPushButton>(window, "cmdUpdate")->isEnabled());
}

// Under a high-contrast palette, as the platform gives it, the window is drawn in its colours:
// its background, the labels' and buttons' text, the list's lines.
TEST_F(UpdateToolTest, DrawsInThePlatformsColours) {
    QPalette contrast(Qt::white, Qt::black); // white text on black
    contrast.setColor(QPalette::Text, Qt::yellow);
    contrast.setColor(QPalette::Base, Qt::black);
    const QPalette before = QApplication::palette();
    QApplication::setPalette(contrast);
    UpdateTool window(prefix.drives());
    const QImage image = window.grab().toImage();
    QApplication::setPalette(before);
    std::map<QRgb, int> pixels;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            ++pixels[image.pixel(x, y) | 0xFF000000u];
    EXPECT_GT(pixels[qRgb(0, 0, 0)], image.width() * image.height() * 8 / 10) << "background";
    EXPECT_GT(pixels[qRgb(255, 255, 255)], 100) << "labels' and buttons' text";
    EXPECT_GT(pixels[qRgb(255, 255, 0)], 20) << "the list's lines";
}

TEST_F(UpdateToolTest, FailedStartUpDisablesOnlyInstall) {
    TempPrefix empty(false);
    UpdateTool window(empty.drives());
    EXPECT_EQ(test::listLines(window),
              (QStringList{QStringLiteral("Folder Missing"),
                           QStringLiteral("c:\\ProgramData\\Schneider Electric\\PTK Generic "
                                          "DTM\\DDXMLRepository\\")}));
    EXPECT_FALSE(child<QPushButton>(window, "cmdUpdate")->isEnabled());
    EXPECT_TRUE(child<QPushButton>(window, "cmdRemove")->isEnabled());
    EXPECT_TRUE(child<QPushButton>(window, "cmdExit")->isEnabled());
}

TEST_F(UpdateToolTest, FocusStartsOnTheListAndTabVisitsInstallExitRemove) {
    UpdateTool window(prefix.drives());
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    const QStringList expected{QStringLiteral("List1"), QStringLiteral("cmdUpdate"),
                               QStringLiteral("cmdExit"), QStringLiteral("cmdRemove"),
                               QStringLiteral("List1")};
    QStringList visited{QApplication::focusWidget()->objectName()};
    for (int i = 0; i < 4; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited << QApplication::focusWidget()->objectName();
    }
    EXPECT_EQ(visited, expected);
}

TEST_F(UpdateToolTest, EnterAndEscapeOnTheListPressNoButton) {
    UpdateTool window(prefix.drives());
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    std::vector<std::unique_ptr<QSignalSpy>> spies;
    for (const char *name : {"cmdUpdate", "cmdRemove", "cmdExit"})
        spies.push_back(
            std::make_unique<QSignalSpy>(child<QPushButton>(window, name), &QPushButton::clicked));
    auto *list = child<QListWidget>(window, "List1");
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape})
        QTest::keyClick(list, key);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {},
                       list->visualItemRect(list->item(0)).center());
    for (const auto &spy : spies)
        EXPECT_EQ(spy->count(), 0);
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(test::listLines(window).size(), 2);
}

TEST_F(UpdateToolTest, ExitClosesEveryWindow) {
    UpdateTool window(prefix.drives());
    QWidget other;
    window.show();
    other.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QTest::mouseClick(child<QPushButton>(window, "cmdExit"), Qt::LeftButton);
    EXPECT_FALSE(window.isVisible());
    EXPECT_FALSE(other.isVisible());
}

TEST_F(UpdateToolTest, WaitingForAHeldCatalogueShowsAWaitCursor) {
    test::writeFile(prefix.catalogueFile(),
                    "<DDXMLRepository>\r\n<File ProductID=\"QVX TSR 7700\" Fileversion=\"2\"/>"
                    "\r\n</DDXMLRepository>\r\n");
    UpdateTool window(prefix.drives());
    window.show();
    // The host product holds the catalogue for a moment: the rename is refused twice, as a held
    // file refuses it, and the cursor each time is recorded.
    std::vector<Qt::CursorShape> shapes;
    const test::AtStep held(fs::FileOperation::Rename, [&](int time) {
        const QCursor *cursor = QGuiApplication::overrideCursor();
        shapes.push_back(cursor ? cursor->shape() : Qt::ArrowCursor);
        return time <= 2 ? EBUSY : 0;
    });
    QTest::mouseClick(child<QPushButton>(window, "cmdRemove"), Qt::LeftButton);
    EXPECT_EQ(shapes,
              (std::vector<Qt::CursorShape>{Qt::ArrowCursor, Qt::WaitCursor, Qt::WaitCursor}));
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr) << "the wait cursor goes with the wait";
    EXPECT_TRUE(test::listLines(window).empty());
}

TEST_F(UpdateToolTest, TheListsContextMenuRestoresWhatRemoveTookOut) {
    const std::string before =
        "<DDXMLRepository>\r\n<File ProductID=\"QVX TSR 7700\" Fileversion=\"2\"/>\r\n"
        "</DDXMLRepository>\r\n";
    test::writeFile(prefix.catalogueFile(), before);
    UpdateTool window(prefix.drives());
    QTest::mouseClick(child<QPushButton>(window, "cmdRemove"), Qt::LeftButton);
    ASSERT_TRUE(test::listLines(window).empty());
    auto *list = child<QListWidget>(window, "List1");
    EXPECT_EQ(list->contextMenuPolicy(), Qt::ActionsContextMenu);
    ASSERT_EQ(list->actions().size(), 1);
    EXPECT_EQ(list->actions().front()->text(), QStringLiteral("Restore previous version..."));
    const test::AnsweringBoxes answering;
    QString asked;
    QTimer::singleShot(0, [&asked] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            asked = box->text();
            box->button(QMessageBox::Yes)->click();
        }
    });
    list->actions().front()->trigger();
    EXPECT_TRUE(asked.startsWith(QStringLiteral("Go back to the QVX TSR 7700 DTM version 2,")))
        << asked.toStdString();
    EXPECT_EQ(test::readFile(prefix.catalogueFile()), before);
    EXPECT_EQ(test::listLines(window), QStringList{QStringLiteral("QVX TSR 7700  Revision: 2")});
}

} // namespace
} // namespace corvelan::qtui
