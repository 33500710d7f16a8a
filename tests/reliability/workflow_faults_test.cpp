// The workflows when a step of a save or a copy fails, and when a rival program rewrites or holds
// the catalogue at the worst moment.
#include "support/fault_hooks.h"
#include "support/started_session.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <iostream>

namespace corvelan {
namespace {

namespace stdfs = std::filesystem;
using fs::FileOperation;
using test::TempPrefix;

const std::string &kCatalogue = test::kTwoEntries;
using test::kSavePath;

// Another program that writes `bytes` over the catalogue at `path` once, when the tool has written
// its temporary file: after the tool read the catalogue and just before it checks it again.
test::AtStep rivalAtCheck(const std::string &path, const std::string &bytes) {
    return test::AtStep(FileOperation::Check, [=](int time) {
        if (time == 1) test::writeFile(path, bytes);
        return 0;
    });
}

class WorkflowFaults : public test::StartedSession {
protected:
    void SetUp() override { start(); }
    std::string catalogueHost() const {
        return test::utf8Of(stdfs::canonical(test::fsPath(prefix.catalogueFile())));
    }
};

TEST_F(WorkflowFaults, InstallReportsEveryFailedStepAndKeepsStateWhole) {
    const std::vector<std::string> listed = view.lines;
    for (int k = 1;; ++k) {
        SCOPED_TRACE("operation " + std::to_string(k));
        for (const auto &entry :
             stdfs::directory_iterator(test::fsPath(prefix.repositoryDir() + "/Pictures")))
            stdfs::remove(entry.path());
        restart(kCatalogue);

        test::FaultAt hook(k, EIO);
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
            EXPECT_EQ(boxes.shown[1].style, workflows::BoxStyle::Error);
            EXPECT_EQ(test::readFile(prefix.catalogueFile()), kCatalogue);
            EXPECT_EQ(session->catalogue()->bytes(), kCatalogue);
            EXPECT_EQ(view.lines, listed);
            EXPECT_EQ(test::listFolder(prefix.repositoryDir() + "/Pictures"), "") << "no copies";
        } else {
            // A copy failed: the install stands, and the one file that failed is named.
            EXPECT_EQ(view.lines.back(), "QVX TSR 7700  Revision: 2");
            ASSERT_EQ(boxes.shown.size(), operation == FileOperation::FlushFolder ? 1u : 2u);
            if (boxes.shown.size() == 2) {
                EXPECT_EQ(boxes.shown[1].style, workflows::BoxStyle::Warning);
                EXPECT_EQ(std::count(boxes.shown[1].text.begin(), boxes.shown[1].text.end(), '\n'),
                          1);
            }
        }
    }
}

TEST_F(WorkflowFaults, RemoveReportsAFailedSave) {
    test::FaultAt hook(2, ENOSPC); // the first write of the temporary file
    const auto listed = view.lines;
    session->remove(view, boxes);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, kSavePath + " could not be saved: cannot write: " +
                                       std::strerror(ENOSPC) + ". Nothing was removed.");
    EXPECT_EQ(view.lines, listed);
    EXPECT_EQ(test::readFile(prefix.catalogueFile()), kCatalogue);
}

TEST_F(WorkflowFaults, ARivalWriterIsNotOverwritten) {
    const std::string rival = "<DDXMLRepository>\r\n<File ProductID=\"A\" Fileversion=\"1\"/>"
                              "\r\n<File ProductID=\"QVX TSR 7700\" Fileversion=\"1\"/>\r\n"
                              "<File ProductID=\"Host\" Fileversion=\"9\"/>\r\n"
                              "</DDXMLRepository>\r\n";
    const std::string kept = "<DDXMLRepository>\r\n<File ProductID=\"A\" Fileversion=\"1\"/>"
                             "\r\n<File ProductID=\"Host\" Fileversion=\"9\"/>\r\n";
    for (const bool removing : {false, true}) {
        SCOPED_TRACE(removing ? "remove" : "install");
        restart(kCatalogue);
        {
            auto host = rivalAtCheck(prefix.catalogueFile(), rival);
            if (removing)
                session->remove(view, boxes);
            else
                session->installDtm("C:\\dtm.xml", view, boxes);
            ASSERT_GE(host.times(), 1);
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
        auto host = rivalAtCheck(prefix.catalogueFile(), rival);
        session->remove(view, boxes);
        ASSERT_GE(host.times(), 1);
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

TEST_F(WorkflowFaults, ACatalogueThatKeepsChangingIsGivenUpOn) {
    const auto listed = view.lines;
    // Another program rewrites it each time the tool looks before its rename, each time with
    // another version of its own entry; far more often than the tool tries: a tool that never
    // gave up would spin until the rewrites end and then save without a word.
    std::string last;
    const test::AtStep host(FileOperation::Check, [&](int time) {
        last = "<DDXMLRepository>\r\n<File ProductID=\"QVX TSR 7700\" Fileversion=\"1\"/>"
               "\r\n<File ProductID=\"Host\" Fileversion=\"" +
               std::to_string(time) + "\"/>\r\n</DDXMLRepository>\r\n";
        if (time <= 100) test::writeFile(prefix.catalogueFile(), last);
        return 0;
    });
    session->remove(view, boxes);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0],
              (test::ShownBox{kSavePath + " could not be saved: another program kept changing "
                                          "it. Nothing was removed.",
                              "File Error", workflows::BoxStyle::Error}));
    EXPECT_LE(host.times(), 10) << "the tool gave up after a few rounds";
    EXPECT_EQ(test::readFile(prefix.catalogueFile()), last) << "the last write is kept";
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
    test::Held held(FileOperation::Rename, 3);
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
        test::Held unreadable(FileOperation::Check, -1, EACCES);
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
    test::Held held(FileOperation::Rename, -1);
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

TEST_F(WorkflowFaults, AWriteDuringTheComparisonIsNotLost) {
    // Larger than one piece of the comparison, so that the write lands in a part already compared.
    const std::string catalogue =
        "<DDXMLRepository>\r\n<File ProductID=\"Host1\" Fileversion=\"1\"/>\r\n<!-- " +
        std::string(3 << 20, 'x') +
        " -->\r\n<File ProductID=\"QVX TSR 7700\" Fileversion=\"1\"/>\r\n</DDXMLRepository>\r\n";
    restart(catalogue);
    {
        // After the first piece compared equal, in place and keeping the size.
        const test::AtStep host(FileOperation::Compare, [&](int time) {
            if (time == 2)
                test::writeInPlace(prefix.catalogueFile(), catalogue.find("Host1"), "Host2");
            return 0;
        });
        session->remove(view, boxes);
        ASSERT_GE(host.times(), 2);
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
        auto host = rivalAtCheck(prefix.catalogueFile(), "<DDXMLRepository><File");
        session->installDtm("C:\\dtm.xml", view, boxes);
    }
    ASSERT_EQ(boxes.shown.size(), 2u);
    EXPECT_EQ(boxes.shown[1].text, kSavePath + " was changed by another program and cannot be "
                                               "read. Nothing was installed.");
    EXPECT_EQ(boxes.shown[1].style, workflows::BoxStyle::Error);
    EXPECT_EQ(test::readFile(prefix.catalogueFile()), "<DDXMLRepository><File");
    EXPECT_EQ(view.lines, listed);
    EXPECT_EQ(test::listFolder(prefix.repositoryDir() + "/Pictures"), "");
}

} // namespace
} // namespace corvelan
