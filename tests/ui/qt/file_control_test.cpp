#include "support/host.h"
#include "support/qt_boxes.h"
#include "support/qt_printers.h"
#include "support/repository.h"
#include "support/repository_files.h"
#include "support/temp_prefix.h"
#include "ui/qt/file_control.h"
#include "ui/qt/fixed_layout.h"
#include "ui/qt/update_tool.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>

namespace corvelan::qtui {
namespace {

namespace stdfs = std::filesystem;
using test::TempPrefix;

using test::kPictures;

QStringList texts(const QListWidget *list) {
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->item(i)->text().trimmed();
    return out;
}

// A repository with one entry, a tool folder with the pictures, and C:\Data holding description
// files; the process's current folder is C:\Data while the test runs.
class FileControlTest : public ::testing::Test {
protected:
    void SetUp() override {
        stdfs::create_directories(data + "/Profiles");
        test::writeFile(data + "/dev.xml", profile);
        test::writeFile(data + "/b.XML", "<other/>");
        test::writeFile(data + "/c.txt", "text");
        test::writeFile(data + "/Profiles/deep.xml", profile);
        m_saved = stdfs::current_path();
        stdfs::current_path(data);
        main.emplace(prefix.drives(), repo.toolFolder());
        main->show();
    }
    void TearDown() override {
        main.reset();
        stdfs::current_path(m_saved);
    }

    FileControl *clickInstall() {
        QTest::mouseClick(main->findChild<QPushButton *>(QStringLiteral("cmdUpdate")),
                          Qt::LeftButton);
        return main->fileControl();
    }
    template <typename T> static T *child(QWidget *window, const char *name) {
        return window->findChild<T *>(QString::fromLatin1(name));
    }
    static void doubleClick(QListWidget *list, int row) {
        const QRect rect = list->visualItemRect(list->item(row));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, rect.center());
    }

    test::Repository repo{
        "<DDXMLRepository>\r\n<File ProductID=\"A\" Fileversion=\"1\"/>\r\n</DDXMLRepository>\r\n"};
    TempPrefix &prefix = repo.prefix;
    const std::string data = prefix / "drive_c/Data";
    const std::string profile = test::description("5.0");
    std::optional<UpdateTool> main;

private:
    stdfs::path m_saved;
};

// The window and every control where `design` puts them, with their captions and fonts.
void expectDrawnAsDesigned(QWidget *window, const ui::WindowDesign &design) {
    SCOPED_TRACE(std::string(design.name));
    EXPECT_EQ(window->objectName().toStdString(), design.name);
    EXPECT_EQ(window->windowTitle().toStdString(), design.title);
    EXPECT_EQ(window->size(), QSize(design.width, design.height));
    EXPECT_EQ(window->parentWidget(), nullptr) << "no owner window";
    for (const ui::ControlDesign &c : design.controls) {
        SCOPED_TRACE(std::string(c.name));
        QWidget *widget = control<QWidget>(window, c.name);
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(widget->geometry(), QRect(c.left, c.top, c.width, c.height));
        EXPECT_TRUE(widget->isVisible() && widget->isEnabled());
        if (auto *label = qobject_cast<QLabel *>(widget)) {
            EXPECT_EQ(label->text().toStdString(), c.caption);
        }
        if (auto *button = qobject_cast<QPushButton *>(widget)) {
            EXPECT_EQ(button->text().toStdString(), c.caption);
            EXPECT_FALSE(button->isDefault() || button->autoDefault());
        }
        if (!c.font.face.empty()) {
            const QFont font = widget->font();
            EXPECT_EQ(font.family().toStdString(), c.font.face);
            EXPECT_EQ(font.pointSize(), c.font.points);
            EXPECT_EQ(font.bold(), c.font.bold);
            EXPECT_FALSE(font.italic() || font.underline());
        }
    }
}

// A few rectangles written out by hand, in pixels at 96 DPI, so that a wrong number in the design
// table does not pass for the design.
void expectRectangles(QWidget *window, QSize client,
                      std::initializer_list<std::pair<const char *, QRect>> controls) {
    EXPECT_EQ(window->size(), client);
    for (const auto &[name, rect] : controls)
        EXPECT_EQ(control<QWidget>(window, name)->geometry(), rect) << name;
}

TEST_F(FileControlTest, BothWindowsAreDrawnAsDesigned) {
    expectDrawnAsDesigned(&*main, ui::kUpdateToolDesign);
    expectRectangles(&*main, QSize(526, 344),
                     {{"List1", QRect(24, 56, 481, 173)},
                      {"cmdUpdate", QRect(88, 288, 65, 25)},
                      {"cmdRemove", QRect(224, 288, 65, 25)},
                      {"cmdExit", QRect(360, 288, 81, 25)}});
    EXPECT_FALSE(child<QListWidget>(main.operator->(), "List1")->isSortingEnabled());
    FileControl *files = clickInstall();
    ASSERT_NE(files, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowActive(files));
    expectDrawnAsDesigned(files, ui::kFileControlDesign);
    expectRectangles(files, QSize(467, 242),
                     {{"Dir1", QRect(16, 48, 145, 171)},
                      {"File1", QRect(168, 16, 257, 162)},
                      {"CmdOpen", QRect(192, 200, 81, 25)},
                      {"CmdCancel", QRect(320, 200, 81, 25)}});
    EXPECT_EQ(child<QListWidget>(files, "File1")->selectionMode(),
              QAbstractItemView::SingleSelection);
    // Focus starts on the drive list; Tab goes Drive1, Dir1, File1, Open, Cancel.
    QStringList visited{QApplication::focusWidget()->objectName()};
    for (size_t i = 0; i < ui::kFileControlDesign.controls.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited << QApplication::focusWidget()->objectName();
    }
    EXPECT_EQ(visited, (QStringList{QStringLiteral("Drive1"), QStringLiteral("Dir1"),
                                    QStringLiteral("File1"), QStringLiteral("CmdOpen"),
                                    QStringLiteral("CmdCancel"), QStringLiteral("Drive1")}));
}

TEST_F(FileControlTest, OpensAtTheCurrentFolderAndFollowsTheFolderList) {
    FileControl *files = clickInstall();
    auto *drive = child<QComboBox>(files, "Drive1");
    auto *dir = child<QListWidget>(files, "Dir1");
    auto *list = child<QListWidget>(files, "File1");
    EXPECT_TRUE(drive->currentText().startsWith(QLatin1Char('c')));
    EXPECT_EQ(texts(dir), (QStringList{QStringLiteral("C:\\"), QStringLiteral("Data"),
                                       QStringLiteral("Profiles")}));
    EXPECT_EQ(texts(list), (QStringList{QStringLiteral("b.XML"), QStringLiteral("dev.xml")}));

    // Opening a sub-folder shows its files; Enter opens like a double-click.
    dir->setCurrentRow(2);
    QTest::keyClick(dir, Qt::Key_Return);
    EXPECT_EQ(texts(dir).last(), QStringLiteral("Profiles"));
    EXPECT_EQ(texts(list), QStringList{QStringLiteral("deep.xml")});

    // Another drive shows its root folder.
    drive->setCurrentIndex(drive->findText(QStringLiteral("z:"), Qt::MatchStartsWith));
    EXPECT_EQ(texts(dir).first(), QStringLiteral("Z:\\"));
    EXPECT_TRUE(texts(dir).contains(QStringLiteral("tmp")));
    // And back to c:, at its root.
    drive->setCurrentIndex(0);
    EXPECT_EQ(texts(dir), (QStringList{QStringLiteral("C:\\"), QStringLiteral("Data"),
                                       QStringLiteral("ProgramData")}));
}

TEST_F(FileControlTest, OpenComposesThePathAndAlwaysCloses) {
    struct Case {
        const char *name;
        std::string folder; // Windows path to open first
        int row;            // file to select, -1 for none
        enum { OpenButton, DoubleClick, Enter } how;
        QString expectedPath;
        QString expectedBox;
    } cases[] = {
        {"declined", "C:\\Data", 1, Case::OpenButton, QStringLiteral("C:\\Data\\dev.xml"),
         QStringLiteral("You have selected the QVXTSR7700 DTM version 5.0. Is this correct?")},
        {"double-click is Open", "C:\\Data", 1, Case::DoubleClick,
         QStringLiteral("C:\\Data\\dev.xml"),
         QStringLiteral("You have selected the QVXTSR7700 DTM version 5.0. Is this correct?")},
        {"Enter in the file list is Open", "C:\\Data", 1, Case::Enter,
         QStringLiteral("C:\\Data\\dev.xml"),
         QStringLiteral("You have selected the QVXTSR7700 DTM version 5.0. Is this correct?")},
        {"rejected file", "C:\\Data", 0, Case::OpenButton, QStringLiteral("C:\\Data\\b.XML"),
         QStringLiteral("C:\\Data\\b.XML is not a valid QVXTSR7700 DTM XML file.")},
        {"no selection", "C:\\Data", -1, Case::OpenButton, QStringLiteral("C:\\Data\\"),
         QStringLiteral("C:\\Data\\ is not a valid DTM XML file.")},
        {"drive root", "C:\\", -1, Case::OpenButton, QStringLiteral("C:\\"),
         QStringLiteral("C:\\ is not a valid DTM XML file.")},
    };
    const std::string before = test::readFile(prefix.catalogueFile());
    for (const Case &tc : cases) {
        SCOPED_TRACE(tc.name);
        QPointer<FileControl> files = clickInstall();
        auto *dir = child<QListWidget>(files, "Dir1");
        auto *list = child<QListWidget>(files, "File1");
        if (tc.folder == "C:\\") {
            dir->setCurrentRow(0);
            QTest::keyClick(dir, Qt::Key_Return);
        }
        test::BoxAnswerer answerer(Qt::Key_Escape); // No to the confirmation, OK to errors
        if (tc.how == Case::DoubleClick) {
            doubleClick(list, tc.row);
        } else if (tc.how == Case::Enter) {
            list->setCurrentRow(tc.row);
            list->setFocus();
            QTest::keyClick(list, Qt::Key_Return);
        } else {
            if (tc.row >= 0) list->setCurrentRow(tc.row);
            QTest::mouseClick(child<QPushButton>(files, "CmdOpen"), Qt::LeftButton);
        }
        EXPECT_EQ(main->NewFileName, tc.expectedPath);
        EXPECT_EQ(answerer.texts, QStringList{tc.expectedBox});
        QApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(files.isNull()) << "closed and gone after Open";
        EXPECT_EQ(test::readFile(prefix.catalogueFile()), before);
    }
}

TEST_F(FileControlTest, NamesThatDifferOnlyInCaseAreListedInOneOrder) {
    const std::string twins = data + "/Twins";
    stdfs::create_directories(twins);
    for (const char *name : {"device.xml", "DEVICE.XML", "Device.xml"})
        ASSERT_TRUE(test::writeFileSpelledExactly(twins, name, "<x/>"));
    FileControl *files = clickInstall();
    auto *dir = child<QListWidget>(files, "Dir1");
    const auto found = dir->findItems(QStringLiteral("Twins"), Qt::MatchEndsWith);
    ASSERT_EQ(found.size(), 1);
    doubleClick(dir, dir->row(found.front()));
    // Without regard to case first, then by their bytes: upper case before lower.
    EXPECT_EQ(texts(child<QListWidget>(files, "File1")),
              (QStringList{QStringLiteral("DEVICE.XML"), QStringLiteral("Device.xml"),
                           QStringLiteral("device.xml")}));
}

TEST_F(FileControlTest, CancelInstallsNothingAndTheNextInstallStartsAfresh) {
    main->NewFileName = QStringLiteral("kept");
    QPointer<FileControl> files = clickInstall();
    EXPECT_EQ(clickInstall(), files.data()) << "one window only";
    auto *dir = child<QListWidget>(files, "Dir1");
    dir->setCurrentRow(2);
    QTest::keyClick(dir, Qt::Key_Return);
    EXPECT_EQ(clickInstall(), files.data());
    EXPECT_EQ(texts(dir).last(), QStringLiteral("Profiles")) << "kept where the user left it";

    QTest::mouseClick(child<QPushButton>(files, "CmdCancel"), Qt::LeftButton);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(files.isNull());
    EXPECT_EQ(main->NewFileName, QStringLiteral("kept"));
    EXPECT_EQ(test::listFolder(prefix.repositoryDir()), "DDXMLRepository.xml Pictures");

    FileControl *again = clickInstall();
    EXPECT_NE(again, nullptr);
    EXPECT_EQ(child<QListWidget>(again, "Dir1")->currentItem()->text().trimmed(),
              QStringLiteral("Data"));
    EXPECT_EQ(texts(child<QListWidget>(again, "File1")),
              (QStringList{QStringLiteral("b.XML"), QStringLiteral("dev.xml")}));
}

TEST_F(FileControlTest, ClosingTheMainWindowOrExitClosesBoth) {
    for (const bool viaExit : {false, true}) {
        SCOPED_TRACE(viaExit ? "Exit" : "frame");
        main->show();
        QPointer<FileControl> files = clickInstall();
        ASSERT_TRUE(files->isVisible());
        if (viaExit)
            QTest::mouseClick(main->findChild<QPushButton *>(QStringLiteral("cmdExit")),
                              Qt::LeftButton);
        else
            main->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_FALSE(main->isVisible());
        EXPECT_TRUE(files.isNull());
    }
}

TEST_F(FileControlTest, InstallsEndToEndThroughTheWidgets) {
    FileControl *files = clickInstall();
    auto *dir = child<QListWidget>(files, "Dir1");
    auto *list = child<QListWidget>(files, "File1");
    // Choose the sub-folder, then double-click the description file in it.
    doubleClick(dir, 2);
    ASSERT_EQ(texts(list), QStringList{QStringLiteral("deep.xml")});
    test::BoxAnswerer answerer(Qt::Key_Return); // Yes, the default button
    doubleClick(list, 0);

    EXPECT_EQ(answerer.texts, QStringList{QStringLiteral(
                                  "You have selected the QVXTSR7700 DTM version 5.0. Is this "
                                  "correct?")});
    EXPECT_EQ(test::readFile(prefix.catalogueFile()),
              "<DDXMLRepository>\r\n<File ProductID=\"A\" Fileversion=\"1\"/>\r\n"
              "<File DDXMLFile=\"QVX TSR 7700.XML\" Filename=\"QVX TSR 7700.XML\" "
              "Fileversion=\"5.0\" ProductName=\"QVXTSR7700\" Vendorname=\"629\" "
              "ProductID=\"QVX TSR 7700\" ImageLarge=\"pictures/QVXTSR7700.jpg\" "
              "ImageSmall=\"pictures/QVXTSR7700Small.ico\" "
              "ImageIcon=\"pictures/QVXTSR7700Large.ico\" CompanyLogo=\"pictures/corvelan.jpg\" "
              "ImageCompanyIcon=\"pictures/corvelan.ico\" "
              "CAPPLogo=\"pictures/TechnologyApproved.jpg\"/>\r\n</DDXMLRepository>\r\n");
    auto *mainList = main->findChild<QListWidget *>(QStringLiteral("List1"));
    EXPECT_EQ(texts(mainList), (QStringList{QStringLiteral("A  Revision: 1"),
                                            QStringLiteral("QVX TSR 7700  Revision: 5.0")}));
    EXPECT_EQ(main->NewFileName, QStringLiteral("C:\\Data\\Profiles\\deep.xml"));
    EXPECT_EQ(test::readFile(prefix.repositoryDir() + "/QVX TSR 7700.xml"), profile);
    for (const char *picture : kPictures)
        EXPECT_EQ(test::readFile(prefix.repositoryDir() + "/Pictures/" + picture),
                  test::pictureBytes(picture));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(main->fileControl(), nullptr);
}

} // namespace
} // namespace corvelan::qtui
