// Fails every file operation of a save and of the copies in turn, and lets a rival program
// rewrite the catalogue at the worst moment.
#include "platform/fault_seam.h"
#include "platform/file_system.h"
#include "platform/wait_observer.h"
#include "support/attributes.h"
#include "support/error_text.h"
#include "support/path_files.h"
#include "support/recording_view.h"
#include "support/repository.h"
#include "support/repository_files.h"
#include "support/scripted_boxes.h"
#include "support/temp_prefix.h"
#include "workflows/update_session.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <iostream>

namespace corvelan {
namespace {

namespace stdfs = std::filesystem;
using fs::FileOperation;
using test::TempDir;
using test::TempPrefix;

// Fails the n-th operation with `err`, or runs `action` at it; records every operation.
class Hook final : public fs::FileOperationHook {
public:
    Hook(int failAt, int err) : m_failAt(failAt), m_err(err) {
        m_previous = fs::setFileOperationHook(this);
    }
    ~Hook() override { fs::setFileOperationHook(m_previous); }

    int before(FileOperation operation, const std::string &path) override {
        seen.push_back({operation, path});
        if (static_cast<int>(seen.size()) != m_failAt) return 0;
        if (action) {
            action();
            return 0;
        }
        return m_err;
    }
    [[nodiscard]] bool fired() const { return static_cast<int>(seen.size()) >= m_failAt; }
    [[nodiscard]] std::pair<FileOperation, std::string> failed() const {
        return seen[m_failAt - 1];
    }

    std::vector<std::pair<FileOperation, std::string>> seen;
    std::function<void()> action;

private:
    int m_failAt;
    int m_err;
    fs::FileOperationHook *m_previous;
};

TEST(FaultInjection, EveryStepOfASaveCanFailWithoutHarm) {
    for (const int err : {EIO, ENOSPC, EACCES}) {
        for (int k = 1;; ++k) {
            SCOPED_TRACE("errno " + std::to_string(err) + ", operation " + std::to_string(k));
            TempDir dir;
            const std::string path = dir / "DDXMLRepository.xml";
            test::writeFile(path, "<DDXMLRepository/>");
            ASSERT_TRUE(test::setFileAttributes(path, test::kReadOnly | test::kHidden).ok());

            Hook hook(k, err);
            const auto saved = test::replaceFileContent(path, std::string(3 << 20, 'x'));
            if (!hook.fired()) {
                ASSERT_TRUE(saved.ok());
                EXPECT_GT(k, 8) << "every step was tried";
                std::cout << "[ injected ] errno " << err << ": each of the " << k - 1
                          << " operations of a save was made to fail once, in turn\n";
                break;
            }
            int flushes = 0;
            for (const auto &[operation, _] : hook.seen)
                flushes += operation == FileOperation::Flush ? 1 : 0;
            EXPECT_LE(flushes, 1) << "an fsync is never retried";
            const FileOperation failed = hook.failed().first;
            if (failed == FileOperation::FlushFolder) {
                // After the rename the new content is in place; only its durability is unsure.
                EXPECT_TRUE(saved.ok());
                continue;
            }
            ASSERT_FALSE(saved.ok()) << "operation " << static_cast<int>(failed);
            EXPECT_EQ(saved.error().sysErrno, err);
            EXPECT_EQ(test::readFile(path), "<DDXMLRepository/>");
            EXPECT_EQ(test::listFolder(dir.path()), "DDXMLRepository.xml") << "no temporary left";
            EXPECT_EQ(test::fileAttributes(path).value() & (test::kReadOnly | test::kHidden),
                      test::kReadOnly | test::kHidden);
        }
    }
}

// Another program that holds a file: `operation` is refused with `err` (EBUSY: as a file held
// is) the first `times` times it is tried (-1: every time).
class Held final : public fs::FileOperationHook, public fs::WaitObserver {
public:
    Held(FileOperation operation, int times, int err = EBUSY)
        : m_operation(operation), m_times(times), m_err(err) {
        m_previousHook = fs::setFileOperationHook(this);
        m_previousObserver = fs::setWaitObserver(this);
    }
    ~Held() override {
        fs::setFileOperationHook(m_previousHook);
        fs::setWaitObserver(m_previousObserver);
    }
    int before(FileOperation operation, const std::string &) override {
        if (operation != m_operation) return 0;
        tries.push_back(std::chrono::steady_clock::now());
        if (onTry) onTry(static_cast<int>(tries.size()));
        return m_times < 0 || static_cast<int>(tries.size()) <= m_times ? m_err : 0;
    }
    void waiting(bool on) override { waits.push_back(on); }

    std::vector<std::chrono::steady_clock::time_point> tries;
    std::vector<bool> waits; // what the windows were told: a wait cursor on, then off
    std::function<void(int)> onTry;

private:
    FileOperation m_operation;
    int m_times;
    int m_err;
    fs::FileOperationHook *m_previousHook;
    fs::WaitObserver *m_previousObserver;
};

double secondsBetween(std::chrono::steady_clock::time_point a,
                      std::chrono::steady_clock::time_point b) {
    return std::chrono::duration<double>(b - a).count();
}

TEST(Retries, AStepHeldForAMomentIsTriedAgainUntilItRuns) {
    for (const FileOperation operation :
         {FileOperation::CreateTemp, FileOperation::Rename, FileOperation::OpenSource}) {
        for (const int times : {1, 3}) {
            SCOPED_TRACE("operation " + std::to_string(static_cast<int>(operation)) + ", held " +
                         std::to_string(times) + " times");
            TempDir dir;
            const std::string path = dir / "DDXMLRepository.xml";
            test::writeFile(path, "old");
            test::writeFile(dir / "source.ico", "new");
            Held held(operation, times);
            const Status done = operation == FileOperation::OpenSource
                                    ? test::copyFile(dir / "source.ico", path)
                                    : test::replaceFileContent(path, "new").status();
            ASSERT_TRUE(done.ok()) << done.error();
            EXPECT_EQ(test::readFile(path), "new");
            EXPECT_EQ(test::listFolder(dir.path()), "DDXMLRepository.xml source.ico");
            ASSERT_EQ(held.tries.size(), static_cast<size_t>(times) + 1);
            // 10 ms after the first refusal, twice as long after each next one.
            for (size_t k = 1; k < held.tries.size(); ++k)
                EXPECT_GE(secondsBetween(held.tries[k - 1], held.tries[k]),
                          0.010 * (1 << (k - 1)) * 0.9);
            EXPECT_EQ(held.waits, (std::vector<bool>{true, false})) << "a wait cursor, once";
        }
    }
}

TEST(Retries, AHoldThatLastsIsGivenUpOnAfterAboutTwoSeconds) {
    TempDir dir;
    const std::string path = dir / "DDXMLRepository.xml";
    test::writeFile(path, "old");
    Held held(FileOperation::Rename, -1);
    const auto start = std::chrono::steady_clock::now();
    const auto saved = test::replaceFileContent(path, "new");
    const double seconds = secondsBetween(start, std::chrono::steady_clock::now());
    ASSERT_FALSE(saved.ok());
    EXPECT_EQ(saved.error().code, ErrorCode::InUse);
    EXPECT_EQ(saved.error().operation, FileOperation::Rename);
    EXPECT_GE(seconds, 1.9);
    EXPECT_LE(seconds, 4.0);
    std::cout << "[ held     ] refused for good: " << held.tries.size() << " tries, given up after "
              << seconds << " s\n";
    EXPECT_GE(held.tries.size(), 8u);
    EXPECT_LE(held.tries.size(), 12u);
    EXPECT_EQ(test::readFile(path), "old");
    EXPECT_EQ(test::listFolder(dir.path()), "DDXMLRepository.xml") << "no temporary left";
    EXPECT_EQ(held.waits, (std::vector<bool>{true, false}));
}

TEST(Retries, OnlyAFileAnotherProgramHoldsIsWaitedFor) {
    const struct {
        int err;
        ErrorCode code;
    } cases[] = {
        {EACCES, ErrorCode::NoRights},
        {EROFS, ErrorCode::NoRights},
        {EIO, ErrorCode::System},
        {ENOSPC, ErrorCode::System},
    };
    for (const auto &tc : cases) {
        SCOPED_TRACE(std::strerror(tc.err));
        TempDir dir;
        const std::string path = dir / "DDXMLRepository.xml";
        test::writeFile(path, "old");
        Held held(FileOperation::Rename, -1, tc.err);
        const auto saved = test::replaceFileContent(path, "new");
        ASSERT_FALSE(saved.ok());
        EXPECT_EQ(saved.error().code, tc.code);
        EXPECT_EQ(saved.error().sysErrno, tc.err);
        EXPECT_EQ(held.tries.size(), 1u) << "tried once";
        EXPECT_TRUE(held.waits.empty()) << "no wait";
        EXPECT_EQ(test::readFile(path), "old");
    }
    // A save that nothing refuses never waits.
    TempDir dir;
    Held none(FileOperation::Rename, 0);
    ASSERT_TRUE(test::replaceFileContent(dir / "x.xml", "new").ok());
    EXPECT_EQ(none.tries.size(), 1u);
    EXPECT_TRUE(none.waits.empty());
}

const std::string &kCatalogue = test::kTwoEntries;
using test::kSavePath;

class WorkflowFaults : public ::testing::Test {
protected:
    void SetUp() override {
        session.emplace(repo.session());
        ASSERT_EQ(session->startUp(view), workflows::StartupOutcome::Listed);
    }
    std::string catalogueHost() const {
        return test::utf8Of(stdfs::canonical(test::fsPath(prefix.catalogueFile())));
    }

    test::Repository repo;
    TempPrefix &prefix = repo.prefix;
    std::optional<workflows::UpdateSession> session;
    test::RecordingView view;
    test::ScriptedBoxes boxes;
};

TEST_F(WorkflowFaults, InstallReportsEveryFailedStepAndKeepsStateWhole) {
    const std::vector<std::string> listed = view.lines;
    for (int k = 1;; ++k) {
        SCOPED_TRACE("operation " + std::to_string(k));
        test::writeFile(prefix.catalogueFile(), kCatalogue);
        for (const auto &entry :
             stdfs::directory_iterator(test::fsPath(prefix.repositoryDir() + "/Pictures")))
            stdfs::remove(entry.path());
        session.emplace(repo.session());
        view.lines.clear();
        ASSERT_EQ(session->startUp(view), workflows::StartupOutcome::Listed);
        boxes.shown.clear();

        Hook hook(k, EIO);
        session->installDtm("C:\\dtm.xml", view, boxes);
        if (!hook.fired()) {
            std::cout << "[ injected ] each of the " << k - 1
                      << " operations of an install was made to fail once, in turn\n";
            break;
        }
        const auto [operation, path] = hook.failed();
        const bool catalogueStep =
            path == catalogueHost() && operation != FileOperation::FlushFolder;
        if (catalogueStep) {
            ASSERT_EQ(boxes.shown.size(), 2u);
            EXPECT_TRUE(boxes.shown[1].text.starts_with(kSavePath + " could not be saved: "));
            EXPECT_TRUE(boxes.shown[1].text.ends_with(". Nothing was installed."));
            EXPECT_EQ(boxes.shown[1].style, 16);
            EXPECT_EQ(test::readFile(prefix.catalogueFile()), kCatalogue);
            EXPECT_EQ(session->catalogue()->bytes(), kCatalogue);
            EXPECT_EQ(view.lines, listed);
            EXPECT_EQ(test::listFolder(prefix.repositoryDir() + "/Pictures"), "") << "no copies";
        } else {
            // A copy failed: the install stands, and the one file that failed is named.
            EXPECT_EQ(view.lines.back(), "QVX TSR 7700  Revision: 2");
            ASSERT_EQ(boxes.shown.size(), operation == FileOperation::FlushFolder ? 1u : 2u);
            if (boxes.shown.size() == 2) {
                EXPECT_EQ(boxes.shown[1].style, 48);
                EXPECT_EQ(std::count(boxes.shown[1].text.begin(), boxes.shown[1].text.end(), '\n'),
                          1);
            }
        }
    }
}

TEST_F(WorkflowFaults, RemoveReportsAFailedSave) {
    Hook hook(2, ENOSPC); // the first write of the temporary file
    const auto listed = view.lines;
    session->remove(view, boxes);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, kSavePath + " could not be saved: cannot write: " +
                                       std::strerror(ENOSPC) + ". Nothing was removed.");
    EXPECT_EQ(view.lines, listed);
    EXPECT_EQ(test::readFile(prefix.catalogueFile()), kCatalogue);
}

// Another program writes `bytes` over the catalogue once, when the tool has written its
// temporary file: after the tool read the catalogue and just before it checks it again.
class RivalAtCheck final : public fs::FileOperationHook {
public:
    RivalAtCheck(std::string path, std::string bytes)
        : m_path(std::move(path)), m_bytes(std::move(bytes)) {
        m_previous = fs::setFileOperationHook(this);
    }
    ~RivalAtCheck() override { fs::setFileOperationHook(m_previous); }
    int before(FileOperation operation, const std::string &) override {
        if (operation == FileOperation::Check && !wrote) {
            wrote = true;
            test::writeFile(m_path, m_bytes);
        }
        return 0;
    }
    bool wrote = false;

private:
    std::string m_path;
    std::string m_bytes;
    fs::FileOperationHook *m_previous;
};

TEST_F(WorkflowFaults, ARivalWriterIsNotOverwritten) {
    const std::string rival = "<DDXMLRepository>\r\n<File ProductID=\"A\" Fileversion=\"1\"/>"
                              "\r\n<File ProductID=\"QVX TSR 7700\" Fileversion=\"1\"/>\r\n"
                              "<File ProductID=\"Host\" Fileversion=\"9\"/>\r\n"
                              "</DDXMLRepository>\r\n";
    const std::string kept = "<DDXMLRepository>\r\n<File ProductID=\"A\" Fileversion=\"1\"/>"
                             "\r\n<File ProductID=\"Host\" Fileversion=\"9\"/>\r\n";
    for (const bool removing : {false, true}) {
        SCOPED_TRACE(removing ? "remove" : "install");
        test::writeFile(prefix.catalogueFile(), kCatalogue);
        view.lines.clear();
        session.emplace(repo.session());
        ASSERT_EQ(session->startUp(view), workflows::StartupOutcome::Listed);
        boxes.shown.clear();
        {
            RivalAtCheck host(prefix.catalogueFile(), rival);
            if (removing)
                session->remove(view, boxes);
            else
                session->installDtm("C:\\dtm.xml", view, boxes);
            ASSERT_TRUE(host.wrote);
        }
        const std::string now = test::readFile(prefix.catalogueFile());
        EXPECT_TRUE(now.starts_with(kept)) << now;
        EXPECT_EQ(session->catalogue()->bytes(), now);
        ASSERT_GE(view.lines.size(), 2u);
        EXPECT_EQ(view.lines[1], "Host  Revision: 9");
        EXPECT_EQ(view.lines.size(), removing ? 2u : 3u);
        EXPECT_EQ(boxes.shown.size(), removing ? 0u : 1u);
    }
}

TEST_F(WorkflowFaults, AnEditAnotherProgramAlreadyMadeListsWhatTheFileHolds) {
    // The other program took the device entry out itself and added one of its own: the tool's
    // remove then has nothing left to do, writes nothing, and lists the file as it is now.
    const std::string rival = "<DDXMLRepository>\r\n<File ProductID=\"A\" Fileversion=\"1\"/>"
                              "\r\n<File ProductID=\"Host\" Fileversion=\"9\"/>\r\n"
                              "</DDXMLRepository>\r\n";
    {
        RivalAtCheck host(prefix.catalogueFile(), rival);
        session->remove(view, boxes);
        ASSERT_TRUE(host.wrote);
    }
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(test::readFile(prefix.catalogueFile()), rival);
    EXPECT_EQ(view.lines, (std::vector<std::string>{"A  Revision: 1", "Host  Revision: 9"}));
    EXPECT_EQ(session->catalogue()->bytes(), rival);

    // What the tool holds now is that file: an install edits it without meeting a change.
    session->installDtm("C:\\dtm.xml", view, boxes);
    EXPECT_EQ(boxes.shown.size(), 1u) << "only the confirmation";
    EXPECT_EQ(view.lines, (std::vector<std::string>{"A  Revision: 1", "Host  Revision: 9",
                                                    "QVX TSR 7700  Revision: 2"}));
}

// Another program rewrites the catalogue every time the tool looks at it before its rename, up
// to `times` times, each time with another version of its own entry.
class RivalThatKeepsWriting final : public fs::FileOperationHook {
public:
    RivalThatKeepsWriting(std::string path, int times) : m_path(std::move(path)), m_left(times) {
        m_previous = fs::setFileOperationHook(this);
    }
    ~RivalThatKeepsWriting() override { fs::setFileOperationHook(m_previous); }
    int before(FileOperation operation, const std::string &) override {
        if (operation == FileOperation::Check && m_left > 0) {
            --m_left;
            last = "<DDXMLRepository>\r\n<File ProductID=\"QVX TSR 7700\" Fileversion=\"1\"/>"
                   "\r\n<File ProductID=\"Host\" Fileversion=\"" +
                   std::to_string(++writes) + "\"/>\r\n</DDXMLRepository>\r\n";
            test::writeFile(m_path, last);
        }
        return 0;
    }
    int writes = 0;
    std::string last;

private:
    std::string m_path;
    int m_left;
    fs::FileOperationHook *m_previous;
};

TEST_F(WorkflowFaults, ACatalogueThatKeepsChangingIsGivenUpOn) {
    const auto listed = view.lines;
    // Far more rewrites than the tool tries: a tool that never gave up would spin until they end
    // and then save without a word.
    RivalThatKeepsWriting host(prefix.catalogueFile(), 100);
    session->remove(view, boxes);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0],
              (test::ShownBox{kSavePath + " could not be saved: another program kept changing "
                                          "it. Nothing was removed.",
                              "File Error", 16}));
    EXPECT_LE(host.writes, 10) << "the tool gave up after a few rounds";
    EXPECT_EQ(test::readFile(prefix.catalogueFile()), host.last) << "the last write is kept";
    EXPECT_EQ(view.lines, listed);
    EXPECT_EQ(session->catalogue()->bytes(), kCatalogue);
    EXPECT_EQ(test::listFolder(prefix.repositoryDir()), "DDXMLRepository.xml Pictures");
}

TEST_F(WorkflowFaults, AWriteWhileTheCatalogueIsHeldIsKept) {
    // The host product holds the catalogue across the save and writes it while the tool waits:
    // the next try looks at the file again, and the change is made on what it holds now.
    const std::string rival = "<DDXMLRepository>\r\n<File ProductID=\"A\" Fileversion=\"1\"/>"
                              "\r\n<File ProductID=\"QVX TSR 7700\" Fileversion=\"1\"/>\r\n"
                              "<File ProductID=\"Host\" Fileversion=\"9\"/>\r\n"
                              "</DDXMLRepository>\r\n";
    Held held(FileOperation::Rename, 3);
    held.onTry = [&](int attempt) {
        if (attempt == 2) test::writeFile(prefix.catalogueFile(), rival);
    };
    session->remove(view, boxes);
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(test::readFile(prefix.catalogueFile()),
              "<DDXMLRepository>\r\n<File ProductID=\"A\" Fileversion=\"1\"/>\r\n"
              "<File ProductID=\"Host\" Fileversion=\"9\"/>\r\n</DDXMLRepository>\r\n");
    EXPECT_EQ(view.lines, (std::vector<std::string>{"A  Revision: 1", "Host  Revision: 9"}));
}

TEST_F(WorkflowFaults, ACatalogueTheUserMayNoLongerReadGetsTheNoRightsBox) {
    // The look at the catalogue before the rename is refused, as a file whose read permission
    // went after start-up refuses it: the user hears what to do, not that it changed.
    for (const bool removing : {false, true}) {
        SCOPED_TRACE(removing ? "remove" : "install");
        const auto listed = view.lines;
        boxes.shown.clear();
        Held unreadable(FileOperation::Check, -1, EACCES);
        if (removing)
            session->remove(view, boxes);
        else
            session->installDtm("C:\\dtm.xml", view, boxes);
        ASSERT_FALSE(boxes.shown.empty());
        EXPECT_TRUE(boxes.shown.back().text.starts_with(
            kSavePath + " could not be saved: you may not change it. Nothing was " +
            (removing ? "removed" : "installed") + ". To change the repository, "))
            << boxes.shown.back().text;
        EXPECT_EQ(unreadable.tries.size(), 1u) << "no rights is not waited for";
        EXPECT_EQ(test::readFile(prefix.catalogueFile()), kCatalogue);
        EXPECT_EQ(view.lines, listed);
        EXPECT_EQ(test::listFolder(prefix.repositoryDir() + "/Pictures"), "") << "no copies";
    }
}

TEST_F(WorkflowFaults, ACatalogueHeldForGoodSaysWhoToClose) {
    const auto listed = view.lines;
    Held held(FileOperation::Rename, -1);
    session->installDtm("C:\\dtm.xml", view, boxes);
    ASSERT_EQ(boxes.shown.size(), 2u);
    EXPECT_EQ(boxes.shown[1].text,
              kSavePath + " could not be saved: another program is using it. Nothing was "
                          "installed. Close the PTK Generic DTM and any other program that may "
                          "have the catalogue open, then try again.");
    EXPECT_EQ(test::readFile(prefix.catalogueFile()), kCatalogue);
    EXPECT_EQ(view.lines, listed);
    EXPECT_EQ(test::listFolder(prefix.repositoryDir()), "DDXMLRepository.xml Pictures");
    EXPECT_EQ(test::listFolder(prefix.repositoryDir() + "/Pictures"), "") << "no copies";
}

// Another program writes into the catalogue, in place and keeping its size, while the tool
// compares the file with what it read, after the first piece compared equal.
class RivalDuringComparison final : public fs::FileOperationHook {
public:
    RivalDuringComparison(std::string path, std::int64_t offset, std::string bytes)
        : m_path(std::move(path)), m_offset(offset), m_bytes(std::move(bytes)) {
        m_previous = fs::setFileOperationHook(this);
    }
    ~RivalDuringComparison() override { fs::setFileOperationHook(m_previous); }
    int before(FileOperation operation, const std::string &) override {
        if (operation == FileOperation::Compare && ++m_compares == 2 && !wrote) {
            wrote = true;
            test::writeInPlace(m_path, m_offset, m_bytes);
        }
        return 0;
    }
    bool wrote = false;

private:
    std::string m_path;
    std::int64_t m_offset;
    std::string m_bytes;
    int m_compares = 0;
    fs::FileOperationHook *m_previous;
};

TEST_F(WorkflowFaults, AWriteDuringTheComparisonIsNotLost) {
    // Larger than one piece of the comparison, so that the write lands in a part already compared.
    const std::string catalogue =
        "<DDXMLRepository>\r\n<File ProductID=\"Host1\" Fileversion=\"1\"/>\r\n<!-- " +
        std::string(3 << 20, 'x') +
        " -->\r\n<File ProductID=\"QVX TSR 7700\" Fileversion=\"1\"/>\r\n</DDXMLRepository>\r\n";
    test::writeFile(prefix.catalogueFile(), catalogue);
    view.lines.clear();
    session.emplace(repo.session());
    ASSERT_EQ(session->startUp(view), workflows::StartupOutcome::Listed);
    {
        RivalDuringComparison host(prefix.catalogueFile(), catalogue.find("Host1"), "Host2");
        session->remove(view, boxes);
        ASSERT_TRUE(host.wrote);
    }
    const std::string now = test::readFile(prefix.catalogueFile());
    EXPECT_NE(now.find("Host2"), std::string::npos) << "the other program's write was lost";
    EXPECT_EQ(now.find("QVX TSR 7700"), std::string::npos);
    EXPECT_EQ(view.lines, std::vector<std::string>{"Host2  Revision: 1"});
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(WorkflowFaults, ARivalThatBreaksTheFileStopsTheSave) {
    const auto listed = view.lines;
    {
        RivalAtCheck host(prefix.catalogueFile(), "<DDXMLRepository><File");
        session->installDtm("C:\\dtm.xml", view, boxes);
    }
    ASSERT_EQ(boxes.shown.size(), 2u);
    EXPECT_EQ(boxes.shown[1].text, kSavePath + " was changed by another program and cannot be "
                                               "read. Nothing was installed.");
    EXPECT_EQ(boxes.shown[1].style, 16);
    EXPECT_EQ(test::readFile(prefix.catalogueFile()), "<DDXMLRepository><File");
    EXPECT_EQ(view.lines, listed);
    EXPECT_EQ(test::listFolder(prefix.repositoryDir() + "/Pictures"), "");
}

} // namespace
} // namespace corvelan
