// What a hostile Linux host can put in the tool's way: FIFOs and devices where files should be,
// names Windows cannot say, a second copy of the tool saving at the same moment, signal storms.
#include "platform/termination.h"
#include "reliability/posix/hostile_fixture.h"
#include "support/path_files.h"
#include "workflows/file_browser.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <filesystem>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace corvelan::workflows {
namespace {

namespace stdfs = std::filesystem;
using test::ShownBox;
using test::TempDir;

using test::kPictures;
using test::kSavePath;

// A blocked call must fail the test, not hang it: SIGALRM ends the process after `seconds`.
class Deadline {
public:
    explicit Deadline(unsigned seconds) { ::alarm(seconds); }
    ~Deadline() { ::alarm(0); }
};

TEST_F(Hostile, SpecialFilesAreRefusedAtOnceNeverWaitedOn) {
    const Deadline deadline(20);
    // Picked in the file window: a FIFO named like a description file is not listed, and
    // installing it by name is box 1.
    ASSERT_EQ(::mkfifo((prefix / "drive_c/x.xml").c_str(), 0600), 0);
    FileBrowser browser(prefix.drives());
    ASSERT_TRUE(browser.open("C:\\").ok());
    EXPECT_EQ(browser.fileRows(), std::vector<std::string>{"dtm.xml"});
    UpdateSession &s = start();
    ASSERT_EQ(startup, StartupOutcome::Listed);
    s.installDtm("C:\\x.xml", view, boxes);
    EXPECT_EQ(boxes.shown, (std::vector<ShownBox>{{"C:\\x.xml is not a valid DTM XML file.",
                                                   "File Error", BoxStyle::Error}}));

    // Swapped in for the catalogue after start-up: the save cannot read what is there now.
    stdfs::remove(prefix.catalogueFile());
    ASSERT_EQ(::mkfifo(prefix.catalogueFile().c_str(), 0600), 0);
    boxes.shown.clear();
    s.remove(view, boxes);
    EXPECT_EQ(boxes.shown,
              (std::vector<ShownBox>{{kSavePath + " was changed by another program and cannot be "
                                                  "read. Nothing was removed.",
                                      "File Error", BoxStyle::Error}}));
    EXPECT_EQ(view.lines,
              (std::vector<std::string>{"A  Revision: 1", "QVX TSR 7700  Revision: 1"}));

    // In place of the catalogue at start-up.
    start();
    EXPECT_EQ(startup, StartupOutcome::CatalogueNotLoaded);
    EXPECT_EQ(view.lines, (std::vector<std::string>{"File Missing", kSavePath}));

    // A picture that is a FIFO, and a destination that is one: copy failures, the rest copied.
    stdfs::remove(prefix.catalogueFile());
    test::writeFile(prefix.catalogueFile(), kCatalogue);
    stdfs::remove(tool / "corvelan.jpg");
    ASSERT_EQ(::mkfifo((tool / "corvelan.jpg").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo((pictures() + "/QVXTSR7700.jpg").c_str(), 0600), 0);
    UpdateSession &again = start();
    boxes.shown.clear();
    again.installDtm("C:\\dtm.xml", view, boxes);
    ASSERT_EQ(boxes.shown.size(), 2u);
    const std::string pics =
        "c:\\ProgramData\\Schneider Electric\\PTK Generic DTM\\DDXMLRepository\\pictures\\";
    EXPECT_EQ(boxes.shown[1].text,
              "The DTM was installed, but these files could not be copied:\n" + pics +
                  "corvelan.jpg (" + prefix.drives().windowsPath(tool / "corvelan.jpg") +
                  ": It is a device, FIFO or socket, not a file)\n" + pics +
                  "QVXTSR7700.jpg (It is a device, FIFO or socket, not a file)");
    EXPECT_EQ(test::readFile(pictures() + "/corvelan.ico"), test::pictureBytes("corvelan.ico"));
    EXPECT_EQ(test::readFile(prefix.repositoryDir() + "/QVX TSR 7700.xml"), kProfile);
}

TEST_F(Hostile, DevicesAreNoFilesEither) {
    const Deadline deadline(20);
    EXPECT_EQ(fs::OpenFile::open("/dev/zero").error().code, ErrorCode::NotRegularFile);
    EXPECT_EQ(test::copyFile("/dev/zero", tool / "copy").error().code, ErrorCode::NotRegularFile);
    EXPECT_FALSE(test::fileExists(tool / "copy"));
}

TEST_F(Hostile, TheFileWindowListsOnlyNamesAWindowsPathLeadsBackTo) {
    const std::string data = prefix / "drive_c/Data";
    stdfs::create_directories(data);
    // Each would lead elsewhere, or nowhere, as a Windows path.
    for (const std::string name :
         {"x\\..\\desc.xml", "new\nline.xml", "tab\t.xml", "what?.xml", "col:on.xml", "pipe|.xml",
          "quote\".xml", "star*.xml", "less<.xml", "latin1 \xE9.xml", "nul.xml", "COM1.xml"})
        test::writeFile(data + "/" + name, "<not listed/>");
    for (const std::string folder : {"dot.", "space ", "back\\slash", "bad \xFF"})
        stdfs::create_directories(data + "/" + folder);
    test::writeFile(data + "/desc.xml", "<the real one/>");
    test::writeFile(data + "/dot./desc.xml", "<inside dot./>");
    // And these are fine: each listed name installs that very file.
    // Sorted as Windows lists them: by upper-case code point, so É after X.
    const std::vector<std::string> fine{" lead.xml", "a  b.xml", "desc.xml", "x..y.xml",
                                        "été ☺.xml"};
    for (const std::string &name : fine)
        if (name != "desc.xml") test::writeFile(data + "/" + name, test::description(name));
    stdfs::create_directories(data + "/ok folder");

    FileBrowser browser(prefix.drives());
    ASSERT_TRUE(browser.open("C:\\Data").ok());
    EXPECT_EQ(browser.fileRows(), fine);
    ASSERT_EQ(browser.folderRows().size(), 3u);
    EXPECT_EQ(browser.folderRows()[2].text, "    ok folder");

    UpdateSession &s = start();
    for (const std::string &name : fine) {
        if (name == "desc.xml") continue;
        SCOPED_TRACE(name);
        boxes.shown.clear();
        s.installDtm(composeFilePath(browser.path(), name), view, boxes);
        ASSERT_EQ(boxes.shown.size(), 1u) << boxes.shown.back().text;
        EXPECT_EQ(view.lines.back(), "QVX TSR 7700  Revision: " + name);
        EXPECT_EQ(test::readFile(prefix.repositoryDir() + "/QVX TSR 7700.xml"),
                  test::readFile(data + "/" + name));
    }
}

TEST_F(Hostile, TheCurrentFolderIsShownOnlyWhenItsPathLeadsBackToIt) {
    const std::string odd = prefix / "drive_c/trailing dot.";
    stdfs::create_directories(odd);
    stdfs::create_directories(prefix / "drive_c/trailing dot");
    const stdfs::path saved = stdfs::current_path();
    stdfs::current_path(odd);
    FileBrowser browser(prefix.drives());
    const Status opened = browser.openCurrentFolder();
    stdfs::current_path(saved);
    ASSERT_TRUE(opened.ok());
    EXPECT_NE(browser.path(), "C:\\trailing dot") << "that is another folder";
}

// Saves `rounds` times in a child process; returns how many saves failed.
pid_t saveInChild(const std::string &path, const std::string &bytes, int rounds, int report) {
    const pid_t child = ::fork();
    if (child != 0) return child;
    int failures = 0;
    for (int i = 0; i < rounds; ++i)
        failures += test::replaceFileContent(path, bytes).ok() ? 0 : 1;
    [[maybe_unused]] auto n = ::write(report, &failures, sizeof failures);
    ::_exit(0);
}

TEST(TwoCopiesOfTheTool, SaveAtTheSameMomentWithoutTakingEachOthersFiles) {
    TempDir dir;
    const std::string path = dir / "DDXMLRepository.xml";
    test::writeFile(path, "<DDXMLRepository/>");
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    const std::string a = "<DDXMLRepository>" + std::string(256 << 10, 'a') + "</DDXMLRepository>";
    const std::string b = "<DDXMLRepository>" + std::string(256 << 10, 'b') + "</DDXMLRepository>";
    const pid_t first = saveInChild(path, a, 300, pipeFds[1]);
    const pid_t second = saveInChild(path, b, 300, pipeFds[1]);
    int failures = 0;
    for (const pid_t child : {first, second}) {
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        int failed = -1;
        ASSERT_EQ(::read(pipeFds[0], &failed, sizeof failed), static_cast<ssize_t>(sizeof failed));
        failures += failed;
    }
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
    EXPECT_EQ(failures, 0);
    const std::string now = test::readFile(path);
    EXPECT_TRUE(now == a || now == b);
    EXPECT_EQ(test::listFolder(dir.path()), "DDXMLRepository.xml");
}

TEST_F(Hostile, StaleTemporariesGoLockedOnesStay) {
    // What a killed copy of a large description left, and a live one of another copy of the
    // tool, which holds its lock.
    const std::string stale = prefix.repositoryDir() + "/.QVX TSR 7700.xml.corvelan-k1LLed";
    const std::string stalePicture = pictures() + "/.corvelan.jpg.corvelan-0ld0ne";
    const std::string live = prefix.repositoryDir() + "/.DDXMLRepository.xml.corvelan-L1veOn";
    for (const std::string &file : {stale, stalePicture, live})
        test::writeFile(file, std::string(1 << 20, 't'));
    const int held = ::open(live.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);

    // A Remove after the killed install leaves the repository clean, but for the live file.
    UpdateSession &s = start();
    s.remove(view, boxes);
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(test::listFolder(prefix.repositoryDir()),
              ".DDXMLRepository.xml.corvelan-L1veOn DDXMLRepository.xml Pictures");
    // The copies clean the pictures folder they write.
    s.installDtm("C:\\dtm.xml", view, boxes);
    EXPECT_FALSE(test::fileExists(stalePicture));
    EXPECT_TRUE(test::fileExists(live));
    ::close(held);
    s.remove(view, boxes);
    EXPECT_FALSE(test::fileExists(live)) << "once unlocked, it is stale too";
}

TEST_F(Hostile, AToolFolderWhoseNameWindowsCannotSayStillHoldsThePictures) {
    const std::string odd = tool / "tools: v1.1";
    stdfs::create_directories(odd);
    for (const char *picture : kPictures)
        test::writeFile(odd + "/" + picture, std::string("odd ") + picture);
    session.emplace(prefix.drives(), [&odd]() -> Result<std::string> { return odd; });
    ASSERT_EQ(session->startUp(view), StartupOutcome::Listed);
    session->installDtm("C:\\dtm.xml", view, boxes);
    EXPECT_EQ(boxes.shown.size(), 1u) << boxes.shown.back().text;
    for (const char *picture : kPictures)
        EXPECT_EQ(test::readFile(pictures() + "/" + picture), std::string("odd ") + picture);
}

TEST(TerminateSignals, ABurstNeitherBlocksNorChangesErrno) {
    const Deadline deadline(20);
    const int socket = catchEndRequests();
    ASSERT_GE(socket, 0);
    // Far more signals than the socket can hold: a blocking write would hang here.
    for (int i = 0; i < 200'000; ++i) {
        errno = EDOM;
        ASSERT_EQ(::raise(SIGTERM), 0);
        ASSERT_EQ(errno, EDOM);
    }
    pollfd ready{socket, POLLIN, 0};
    EXPECT_EQ(::poll(&ready, 1, 0), 1);
    ::signal(SIGTERM, SIG_DFL);
    ::signal(SIGINT, SIG_DFL);
}

} // namespace
} // namespace corvelan::workflows
