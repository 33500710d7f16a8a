#include "support/qt_boxes.h"
#include "support/qt_printers.h"
#include "support/repository.h"
#include "support/temp_prefix.h"
#include "support/window_lines.h"
#include "ui/qt/qt_message_boxes.h"
#include "ui/qt/update_tool.h"

#include <QApplication>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace corvelan::qtui {
namespace {

using test::TempPrefix;

TEST(MessageBoxLook, DrawsEachStyleOfTheWorkflows) {
    using workflows::BoxStyle;
    struct Case {
        BoxStyle style;
        QMessageBox::Icon icon;
        QMessageBox::StandardButtons buttons;
        QMessageBox::StandardButton defaultButton;
        QMessageBox::StandardButton escapeButton;
    } cases[] = {
        {BoxStyle::Error, QMessageBox::Critical, QMessageBox::Ok, QMessageBox::Ok, QMessageBox::Ok},
        {BoxStyle::Ok, QMessageBox::NoIcon, QMessageBox::Ok, QMessageBox::Ok, QMessageBox::Ok},
        {BoxStyle::Warning, QMessageBox::Warning, QMessageBox::Ok, QMessageBox::Ok,
         QMessageBox::Ok},
        {BoxStyle::Confirm, QMessageBox::Information, QMessageBox::Yes | QMessageBox::No,
         QMessageBox::Yes, QMessageBox::No},
    };
    for (const Case &tc : cases) {
        SCOPED_TRACE(static_cast<int>(tc.style));
        const MessageBoxLook look = lookOf(tc.style);
        EXPECT_EQ(look.icon, tc.icon);
        EXPECT_EQ(look.buttons, tc.buttons);
        EXPECT_EQ(look.defaultButton, tc.defaultButton);
        EXPECT_EQ(look.escapeButton, tc.escapeButton);
    }
}

// What a test saw of the modal box it answered.
struct SeenBox {
    bool found = false;
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    Qt::WindowModality modality = Qt::NonModal;
};

// Answers the next modal box with `key`, recording it first. Always closes the box, so a test
// that fails cannot hang. The boxes are the test's to answer while what it returns lives.
test::AnsweringBoxes answerNextBox(SeenBox &seen, Qt::Key key) {
    QTimer::singleShot(0, [&seen, key] {
        QWidget *modal = QApplication::activeModalWidget();
        auto *box = qobject_cast<QMessageBox *>(modal);
        if (!box) {
            if (modal) modal->close();
            return;
        }
        seen = {true,
                box->windowTitle(),
                box->text(),
                box->icon(),
                box->standardButtons(),
                box->standardButton(box->defaultButton()),
                box->windowModality()};
        QTest::keyClick(box, key);
    });
    return {};
}

class QtBoxTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::writeFile(prefix.catalogueFile(),
                        "<DDXMLRepository>\r\n<File ProductID=\"QVX TSR 7700\" Fileversion=\"1\"/>"
                        "\r\n<File ProductID=\"A\" Fileversion=\"2\"/>\r\n</DDXMLRepository>");
        test::writeFile(prefix / "drive_c/dtm.xml", test::description("4.2"));
    }
    TempPrefix prefix;
};

TEST_F(QtBoxTest, ConfirmationIsARealModalBoxAndEscapeMeansNo) {
    UpdateTool window(prefix.drives());
    window.show();
    window.NewFileName = QStringLiteral("C:\\dtm.xml");
    const std::string before = test::readFile(prefix.catalogueFile());
    SeenBox seen;
    const auto answering = answerNextBox(seen, Qt::Key_Escape);
    window.InstallDtm();

    ASSERT_TRUE(seen.found);
    EXPECT_EQ(seen.title, QStringLiteral("File Selection"));
    EXPECT_EQ(seen.text,
              QStringLiteral("You have selected the QVXTSR7700 DTM version 4.2. Is this correct?"));
    EXPECT_EQ(seen.icon, QMessageBox::Information);
    EXPECT_EQ(seen.buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(seen.defaultButton, QMessageBox::Yes);
    EXPECT_EQ(seen.modality, Qt::ApplicationModal);
    EXPECT_EQ(test::readFile(prefix.catalogueFile()), before);
    EXPECT_EQ(test::listLines(window), (QStringList{QStringLiteral("QVX TSR 7700  Revision: 1"),
                                                    QStringLiteral("A  Revision: 2")}));
}

TEST_F(QtBoxTest, EnterTakesTheDefaultYesAndInstalls) {
    test::TempDir tool;
    for (const char *picture : {"corvelan.ico", "corvelan.jpg", "QVXTSR7700.jpg",
                                "QVXTSR7700Large.ico", "QVXTSR7700Small.ico"})
        test::writeFile(tool / picture, picture);
    UpdateTool window(prefix.drives(), [&tool]() -> Result<std::string> { return tool.path(); });
    window.show();
    window.NewFileName = QStringLiteral("c:\\DTM.XML");
    SeenBox seen;
    const auto answering = answerNextBox(seen, Qt::Key_Return);
    // A box after the confirmation (there should be none) is closed and counted.
    int strayBoxes = 0;
    QTimer stray;
    QObject::connect(&stray, &QTimer::timeout, [&strayBoxes] {
        if (QWidget *modal = QApplication::activeModalWidget()) {
            ++strayBoxes;
            modal->close();
        }
    });
    stray.start(200);
    window.InstallDtm();
    stray.stop();
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(strayBoxes, 0);
    EXPECT_EQ(test::listLines(window),
              (QStringList{QStringLiteral("A  Revision: 2"),
                           QStringLiteral("QVX TSR 7700  Revision: 4.2")}));
}

TEST_F(QtBoxTest, RejectedFileShowsTheErrorBox) {
    UpdateTool window(prefix.drives());
    window.show();
    window.NewFileName = QStringLiteral("c:\\nothing here.xml");
    SeenBox seen;
    const auto answering = answerNextBox(seen, Qt::Key_Return);
    window.InstallDtm();
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(seen.title, QStringLiteral("File Error"));
    EXPECT_EQ(seen.text, QStringLiteral("c:\\nothing here.xml is not a valid DTM XML file."));
    EXPECT_EQ(seen.icon, QMessageBox::Critical);
    EXPECT_EQ(seen.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
}

TEST_F(QtBoxTest, RemoveButtonTakesTheEntryOut) {
    UpdateTool window(prefix.drives());
    window.show();
    QTest::mouseClick(window.findChild<QPushButton *>(QStringLiteral("cmdRemove")), Qt::LeftButton);
    EXPECT_EQ(test::listLines(window), QStringList{QStringLiteral("A  Revision: 2")});
    EXPECT_EQ(test::readFile(prefix.catalogueFile()),
              "<DDXMLRepository>\r\n<File ProductID=\"A\" Fileversion=\"2\"/>\r\n"
              "</DDXMLRepository>");
}

} // namespace
} // namespace corvelan::qtui
