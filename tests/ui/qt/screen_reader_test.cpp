// The Qt windows as a screen reader meets them, read over AT-SPI, the desktop's accessibility bus:
// each control's name and role, the list's lines, and where the focus is after each command. The
// test runs on X in a D-Bus session of its own whose screen-reader flag is set
// (with_screen_reader.sh), and drives the windows through the bus as a screen reader's user does.
#include "support/qt_boxes.h"
#include "support/repository.h"
#include "support/temp_prefix.h"
#include "ui/qt/update_tool.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusReply>
#include <QDBusVariant>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace corvelan::qtui {
namespace {

constexpr const char *kAccessible = "org.a11y.atspi.Accessible";
constexpr unsigned kActive = 1, kFocused = 12, kSelected = 23; // AtspiStateType
constexpr unsigned kLabelFor = 1;                              // AtspiRelationType

// An object on the bus, as a screen reader holds it.
struct Node {
    QString service;
    QString path;
    bool operator==(const Node &) const = default;
};

QDBusConnection &bus() {
    static QDBusConnection connection = [] {
        const QDBusReply<QString> address =
            QDBusConnection::sessionBus().call(QDBusMessage::createMethodCall(
                QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
                QStringLiteral("org.a11y.Bus"), QStringLiteral("GetAddress")));
        return QDBusConnection::connectToBus(address.value(), QStringLiteral("screen reader"));
    }();
    return connection;
}

// A call to `node`, answered while this thread's event loop runs, since the windows answer there.
QList<QVariant> call(const Node &node, const char *interface, const char *method,
                     const QVariantList &arguments = {}) {
    QDBusMessage message = QDBusMessage::createMethodCall(
        node.service, node.path, QString::fromLatin1(interface), QString::fromLatin1(method));
    message.setArguments(arguments);
    QDBusPendingCall pending = bus().asyncCall(message, 10000);
    (void)QTest::qWaitFor([&] { return pending.isFinished(); }, 11000);
    const QDBusMessage reply = pending.reply();
    EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage)
        << method << ": " << reply.errorMessage().toStdString();
    return reply.arguments();
}

std::vector<Node> nodesIn(const QDBusArgument &array) {
    std::vector<Node> nodes;
    array.beginArray();
    while (!array.atEnd()) {
        Node node;
        QDBusObjectPath path;
        array.beginStructure();
        array >> node.service >> path;
        array.endStructure();
        node.path = path.path();
        nodes.push_back(node);
    }
    array.endArray();
    return nodes;
}

std::vector<Node> children(const Node &node) {
    const auto reply = call(node, kAccessible, "GetChildren");
    return reply.isEmpty() ? std::vector<Node>() : nodesIn(reply[0].value<QDBusArgument>());
}

std::string property(const Node &node, const QString &which) {
    const auto reply = call(node, "org.freedesktop.DBus.Properties", "Get",
                            {QString::fromLatin1(kAccessible), which});
    return reply.isEmpty() ? "" : reply[0].value<QDBusVariant>().variant().toString().toStdString();
}

std::string name(const Node &node) {
    return property(node, QStringLiteral("Name"));
}

std::string role(const Node &node) {
    const auto reply = call(node, kAccessible, "GetRoleName");
    return reply.isEmpty() ? "" : reply[0].toString().toStdString();
}

bool has(const Node &node, unsigned state) {
    const auto reply = call(node, kAccessible, "GetState");
    if (reply.isEmpty()) return false;
    QList<uint> words;
    reply[0].value<QDBusArgument>() >> words;
    return words.size() == 2 && (words[static_cast<qsizetype>(state / 32)] >> (state % 32) & 1u);
}

// The objects `node` is the label of.
std::vector<Node> labelled(const Node &node) {
    std::vector<Node> labels;
    const auto reply = call(node, kAccessible, "GetRelationSet");
    if (reply.isEmpty()) return labels;
    const QDBusArgument relations = reply[0].value<QDBusArgument>();
    relations.beginArray();
    while (!relations.atEnd()) {
        uint type = 0;
        relations.beginStructure();
        relations >> type;
        const std::vector<Node> targets = nodesIn(relations);
        relations.endStructure();
        if (type == kLabelFor) labels.insert(labels.end(), targets.begin(), targets.end());
    }
    relations.endArray();
    return labels;
}

// The child of `node` named `wanted`, waited for a while (a window registers once shown).
std::optional<Node> childNamed(const Node &node, const std::string &wanted) {
    std::optional<Node> found;
    (void)QTest::qWaitFor(
        [&] {
            for (const Node &child : children(node))
                if (name(child) == wanted) found = child;
            return found.has_value();
        },
        10000);
    return found;
}

// What a screen reader says of a control: its role and its name.
struct Heard {
    std::string role;
    std::string name;
    bool operator==(const Heard &) const = default;
};

void PrintTo(const Heard &heard, std::ostream *out) {
    *out << heard.role << " \"" << heard.name << "\"";
}

std::vector<Heard> heard(const std::vector<Node> &nodes) {
    std::vector<Heard> out;
    for (const Node &node : nodes)
        out.push_back({role(node), name(node)});
    return out;
}

// The names of the lines of `list` that are in `state`.
std::vector<std::string> linesThatAre(const Node &list, unsigned state) {
    std::vector<std::string> lines;
    for (const Node &line : children(list))
        if (has(line, state)) lines.push_back(name(line));
    return lines;
}

// Does the action `index` of `node` (0: a button's press, a line's selection).
void press(const Node &node, int index = 0) {
    call(node, "org.a11y.atspi.Action", "DoAction", {index});
}

TEST(ScreenReader, HearsEveryControlAndFindsTheFocusAfterEachCommand) {
    test::Repository repo{"<DDXMLRepository>\r\n<File ProductID=\"A\" Fileversion=\"2\"/>\r\n"
                          "<File ProductID=\"QVX TSR 7700\" Fileversion=\"1\"/>\r\n"
                          "</DDXMLRepository>\r\n"};
    const std::string data = repo.prefix / "drive_c/Data";
    std::filesystem::create_directories(data);
    test::writeFile(data + "/new.xml", test::description("3.0"));
    const std::filesystem::path saved = std::filesystem::current_path();
    std::filesystem::current_path(data);
    UpdateTool main(repo.prefix.drives(), repo.toolFolder());
    main.show();
    main.activateWindow(); // no window manager activates it
    ASSERT_TRUE(QTest::qWaitForWindowActive(&main));

    const Node registry{QStringLiteral("org.a11y.atspi.Registry"),
                        QStringLiteral("/org/a11y/atspi/accessible/root")};
    const auto tool = childNamed(registry, QCoreApplication::applicationName().toStdString());
    ASSERT_TRUE(tool) << "the tool is not on the accessibility bus";
    const auto mainWindow = childNamed(*tool, "Corvelan DTM Update Tool - V1.1");
    ASSERT_TRUE(mainWindow);
    const std::vector<Node> controls = children(*mainWindow);
    EXPECT_EQ(heard(controls),
              (std::vector<Heard>{{"list", "Installed DTM's"},
                                  {"label", "Installed DTM's"},
                                  {"label", "Click to Install or Remove the QVX TSR 7700 DTM."},
                                  {"push button", "Install"},
                                  {"push button", "Exit"},
                                  {"push button", "Remove"}}));
    ASSERT_EQ(controls.size(), 6u);
    const Node &list = controls[0];
    EXPECT_EQ(labelled(controls[1]), std::vector<Node>{list}) << "the list's label";
    EXPECT_EQ(heard(children(list)),
              (std::vector<Heard>{{"list item", "A  Revision: 2"},
                                  {"list item", "QVX TSR 7700  Revision: 1"}}));

    // Remove: the device's line is gone, so the first line is current, on the focused list.
    press(controls[5]);
    EXPECT_TRUE(QTest::qWaitFor([&] { return children(list).size() == 1; }, 5000));
    EXPECT_TRUE(has(list, kFocused));
    EXPECT_EQ(linesThatAre(list, kSelected), std::vector<std::string>{"A  Revision: 2"});

    press(controls[3]); // Install
    const auto fileWindow = childNamed(*tool, "File Open");
    ASSERT_TRUE(fileWindow);
    const std::vector<Node> fileControls = children(*fileWindow);
    EXPECT_EQ(heard(fileControls), (std::vector<Heard>{{"combo box", "Drive"},
                                                       {"list", "Folders"},
                                                       {"list", "Files"},
                                                       {"push button", "Open"},
                                                       {"push button", "Cancel"}}));
    ASSERT_EQ(fileControls.size(), 5u);
    EXPECT_TRUE(property(fileControls[0], QStringLiteral("Description")).starts_with("c: ["))
        << "the drive list's current line, read after its name";
    // The drive list holds the drives, and its second action (after SetFocus) opens it.
    const std::vector<Node> dropped = children(fileControls[0]);
    ASSERT_EQ(dropped.size(), 1u);
    EXPECT_EQ(heard(children(dropped[0])).size(), 2u) << "c: and z:";
    EXPECT_EQ(call(dropped[0], kAccessible, "GetIndexInParent").value(0).toInt(), 0);
    press(fileControls[0], 1);
    auto *drives = main.fileControl()->findChild<QComboBox *>(QStringLiteral("Drive1"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return drives->view()->isVisible(); }, 5000));
    drives->hidePopup();
    EXPECT_EQ(heard(children(fileControls[2])), (std::vector<Heard>{{"list item", "new.xml"}}));

    // The file selected as a screen reader selects it, then Open, and Yes to the confirmation:
    // the main window is active again, its list focused on the device's new line.
    const std::vector<Node> files = children(fileControls[2]);
    ASSERT_EQ(files.size(), 1u);
    press(files[0]);
    EXPECT_TRUE(QTest::qWaitFor([&] { return has(files[0], kSelected); }, 5000));
    {
        test::BoxAnswerer yes(Qt::Key_Return);
        press(fileControls[3]);
        EXPECT_TRUE(QTest::qWaitFor([&] { return children(list).size() == 2; }, 5000));
        EXPECT_EQ(yes.texts, QStringList{QStringLiteral(
                                 "You have selected the QVXTSR7700 DTM version 3.0. Is this "
                                 "correct?")});
    }
    EXPECT_TRUE(QTest::qWaitFor([&] { return has(*mainWindow, kActive); }, 5000));
    EXPECT_TRUE(has(list, kFocused));
    EXPECT_EQ(linesThatAre(list, kSelected),
              std::vector<std::string>{"QVX TSR 7700  Revision: 3.0"});
    std::filesystem::current_path(saved);
}

} // namespace
} // namespace corvelan::qtui

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    corvelan::test::UnexpectedBoxes unexpected;
    app.installEventFilter(&unexpected);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
