// Programs that hold the tool's files as they do on a real Windows PC (the host product holding
// its catalogue, virus scanners and indexers opening each new file for a moment), run beside the
// tool under Wine: a save waits for a short hold and then succeeds, and a hold that lasts gives
// a box that says another program is using the file. Nothing is ever half done.
#include "platform/file_system.h"
#include "platform/process.h"
#include "support/child.h"
#include "support/device_entry.h"
#include "support/repository_files.h"
#include "support/started_session.h"

#include <gtest/gtest.h>

#include <chrono>
#include <iostream>
#include <thread>

namespace corvelan {
namespace {

using Clock = std::chrono::steady_clock;

const std::string kHead = "<DDXMLRepository>\r\n<File ProductID=\"A\" Fileversion=\"1\"/>\r\n";
const std::string &kCatalogue = test::kTwoEntries;
using test::kSavePath;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The holder program, started with `arguments`, once it says it is ready.
test::Child holder(const std::vector<std::string> &arguments, const std::string &ready) {
    auto child =
        test::Child::start(fs::joinPath(fs::executableFolder().value(), HOLDER), arguments);
    EXPECT_TRUE(child.ok());
    EXPECT_EQ(child->read(ready.size()), ready);
    return std::move(child).value();
}

class HeldFiles : public test::StartedSession {
protected:
    void SetUp() override { start(); }
};

// The two ways another program holds the catalogue: opened without sharing its deletion, as the
// host product does, or open for everyone with its whole range locked.
std::vector<std::string> holding(const std::string &how, const std::string &path, int ms) {
    if (how == "lock") return {"lock", path, std::to_string(ms)};
    return {"hold", path, "rw", std::to_string(ms)};
}

TEST_F(HeldFiles, ACatalogueHeldForAMomentIsSavedOnceItIsFree) {
    for (const std::string how : {"open", "lock"}) {
        SCOPED_TRACE(how);
        restart(kCatalogue);
        auto host =
            holder(holding(how, prefix.catalogueFile(), how == "lock" ? 500 : 400), "held\n");
        const auto start = Clock::now();
        session->remove(view, boxes);
        const double seconds = secondsSince(start);
        std::cout << "[ held     ] " << how << ", held a moment: saved after " << seconds << " s\n";
        EXPECT_TRUE(boxes.shown.empty()) << boxes.shown.back().text;
        EXPECT_EQ(test::readFile(prefix.catalogueFile()), kHead + "</DDXMLRepository>\r\n");
        EXPECT_EQ(view.lines, std::vector<std::string>{"A  Revision: 1"});
        EXPECT_EQ(test::listFolder(prefix.repositoryDir()), "DDXMLRepository.xml Pictures");
        EXPECT_EQ(host.wait(), 0);
    }
}

TEST_F(HeldFiles, ACatalogueHeldLongSaysAnotherProgramIsUsingIt) {
    for (const std::string how : {"open", "lock"}) {
        SCOPED_TRACE(how);
        boxes.shown.clear();
        auto host = holder(holding(how, prefix.catalogueFile(), 10000), "held\n");
        const auto start = Clock::now();
        session->remove(view, boxes);
        const double seconds = secondsSince(start);
        std::cout << "[ held     ] " << how << ", held 10 s: the box after " << seconds << " s\n";
        EXPECT_LE(seconds, 3.5);
        ASSERT_EQ(boxes.shown.size(), 1u);
        EXPECT_EQ(boxes.shown[0].text,
                  kSavePath + " could not be saved: another program is using it. Nothing was "
                              "removed. Close the PTK Generic DTM and any other program that may "
                              "have the catalogue open, then try again.");
        host.terminate();
        host.wait();
        EXPECT_EQ(test::readFile(prefix.catalogueFile()), kCatalogue);
        EXPECT_EQ(view.lines,
                  (std::vector<std::string>{"A  Revision: 1", "QVX TSR 7700  Revision: 1"}));
        EXPECT_EQ(test::listFolder(prefix.repositoryDir()), "DDXMLRepository.xml Pictures")
            << "no temporary left";
    }
}

TEST_F(HeldFiles, AWriteWhileTheCatalogueIsHeldIsKept) {
    auto host = holder({"hold", prefix.catalogueFile(), "rw", "400"}, "held\n");
    const std::string rival = kHead + "<File ProductID=\"QVX TSR 7700\" Fileversion=\"1\"/>\r\n"
                                      "<File ProductID=\"Host\" Fileversion=\"9\"/>\r\n"
                                      "</DDXMLRepository>\r\n";
    // The host product writes its catalogue while it holds it and the tool waits.
    std::thread writer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        test::writeFile(prefix.catalogueFile(), rival);
    });
    session->remove(view, boxes);
    writer.join();
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(test::readFile(prefix.catalogueFile()),
              kHead + "<File ProductID=\"Host\" Fileversion=\"9\"/>\r\n</DDXMLRepository>\r\n");
    EXPECT_EQ(view.lines, (std::vector<std::string>{"A  Revision: 1", "Host  Revision: 9"}));
    EXPECT_EQ(host.wait(), 0);
}

TEST_F(HeldFiles, AScannerOnTheRepositoryCausesNoBox) {
    auto scanner = holder({"scan", "150", prefix.repositoryDir(), pictures()}, "watching\n");
    const auto start = Clock::now();
    int commands = 0;
    for (int round = 0; round < 50; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        boxes.shown.clear();
        session->installDtm("C:\\dtm.xml", view, boxes);
        ++commands;
        ASSERT_EQ(boxes.shown.size(), 1u) << boxes.shown.back().text;
        ASSERT_EQ(test::readFile(prefix.catalogueFile()),
                  kHead + test::deviceEntry("2") + "</DDXMLRepository>\r\n");
        for (const char *picture : test::kPictures)
            ASSERT_EQ(test::readFile(pictures() + "\\" + picture), test::pictureBytes(picture));
        session->remove(view, boxes);
        ++commands;
        ASSERT_EQ(boxes.shown.size(), 1u) << boxes.shown.back().text;
        ASSERT_EQ(test::readFile(prefix.catalogueFile()), kHead + "</DDXMLRepository>\r\n");
    }
    std::cout << "[ scanner  ] " << commands
              << " commands with every new file held 150 ms: " << secondsSince(start)
              << " s, no box\n";
    scanner.terminate();
    scanner.wait();
}

} // namespace
} // namespace corvelan
