// What reaches the disk around each rename of a save or a copy, as the system sees the calls: the
// new file whole and flushed before the rename, the folder flushed after it, so that a power cut
// leaves the old file or the new one, never an empty or torn one.
#include "platform/file_system.h"
#include "support/disk_calls.h"
#include "support/repository_files.h"
#include "support/started_session.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace corvelan {
namespace {

using test::DiskCall;

using test::kPictures;

std::uint64_t identityOf(const std::string &path) {
    auto file = fs::OpenFile::open(path);
    return file ? file->stamp().inode : 0;
}

// Every rename moved a file that had been flushed whole before it, and the folder it went into
// was flushed after it, before the next rename. Returns the files renamed.
std::vector<std::uint64_t> expectFlushedAroundEachRename(const std::vector<DiskCall> &calls) {
    std::vector<std::uint64_t> renamed;
    for (size_t i = 0; i < calls.size(); ++i) {
        const DiskCall &rename = calls[i];
        if (rename.kind != DiskCall::Rename) continue;
        SCOPED_TRACE("rename " + std::to_string(renamed.size() + 1));
        renamed.push_back(rename.file);
        const auto before = calls.begin() + static_cast<std::ptrdiff_t>(i);
        EXPECT_TRUE(std::any_of(calls.begin(), before, [&](const DiskCall &c) {
            return c.kind == DiskCall::FlushFile && c.file == rename.file && c.size == rename.size;
        })) << "the new file was not flushed whole before its rename";
        const auto next = std::find_if(
            before + 1, calls.end(), [](const DiskCall &c) { return c.kind == DiskCall::Rename; });
        EXPECT_TRUE(std::any_of(before + 1, next, [&](const DiskCall &c) {
            return c.kind == DiskCall::FlushFolder && c.folder == rename.folder;
        })) << "the folder was not flushed after the rename";
    }
    return renamed;
}

// The host path of generation 1's `name` in the history.
std::string keptPath(const test::TempPrefix &prefix, const std::string &name) {
    return prefix.drives()
        .hostPath("c:\\ProgramData\\Corvelan\\DTM Update Tool\\History\\1\\" + name)
        .value();
}

// The generation was renamed into place, manifest last, before the catalogue was.
void expectKeptFirst(const std::vector<std::uint64_t> &renamed, const test::TempPrefix &prefix) {
    const auto manifest =
        std::find(renamed.begin(), renamed.end(), identityOf(keptPath(prefix, "manifest.txt")));
    const auto catalogue =
        std::find(renamed.begin(), renamed.end(), identityOf(prefix.catalogueFile()));
    EXPECT_LT(manifest, catalogue) << "the history holds the state before the catalogue changes";
    EXPECT_LT(
        std::find(renamed.begin(), renamed.end(), identityOf(keptPath(prefix, "entries.bin"))),
        manifest);
}

class Durability : public test::StartedSession {
protected:
    void SetUp() override {
        // Pictures of more than one piece of a copy.
        for (const char *picture : kPictures)
            test::writeFile(repo.tool / picture, std::string(100000, picture[0]));
        start();
    }
};

TEST_F(Durability, InstallFlushesTheCatalogueAndEveryCopyBeforeItsRename) {
    test::DiskCallRecorder recorder;
    session->installDtm("C:\\dtm.xml", view, boxes);
    ASSERT_EQ(boxes.shown.size(), 1u) << "only the confirmation";
    const auto renamed = expectFlushedAroundEachRename(recorder.calls());
    EXPECT_EQ(renamed.size(), 9u) << "the history's entries and manifest, the catalogue and six "
                                     "copies (the repository held none of them before)";
    expectKeptFirst(renamed, prefix);
    const std::string pictures = prefix.repositoryDir() + "/Pictures/";
    for (const std::string &path :
         {prefix.catalogueFile(), prefix.repositoryDir() + "/QVX TSR 7700.xml",
          pictures + "corvelan.ico", pictures + "QVXTSR7700Small.ico"}) {
        SCOPED_TRACE(path);
        EXPECT_NE(std::find(renamed.begin(), renamed.end(), identityOf(path)), renamed.end())
            << "the file in place is one that was renamed there";
    }
}

TEST_F(Durability, RemoveFlushesTheCatalogueBeforeItsRename) {
    test::DiskCallRecorder recorder;
    session->remove(view, boxes);
    ASSERT_TRUE(boxes.shown.empty());
    const auto renamed = expectFlushedAroundEachRename(recorder.calls());
    ASSERT_EQ(renamed.size(), 3u) << "the history's entries and manifest, then the catalogue";
    EXPECT_EQ(renamed.back(), identityOf(prefix.catalogueFile()));
    expectKeptFirst(renamed, prefix);
}

TEST_F(Durability, RestoreFlushesItsGenerationTheCatalogueAndEveryCopyBeforeTheirRenames) {
    ASSERT_EQ(session->installDtm("C:\\dtm.xml", view, boxes), workflows::Outcome::Done);
    test::DiskCallRecorder recorder;
    ASSERT_EQ(session->restore(std::nullopt, view, boxes), workflows::Outcome::Done);
    const auto renamed = expectFlushedAroundEachRename(recorder.calls());
    EXPECT_EQ(renamed.size(), 9u) << "the new generation's six files, entries and manifest, then "
                                     "the catalogue (the original held no files to copy back)";
    EXPECT_EQ(renamed.back(), identityOf(prefix.catalogueFile()));
}

} // namespace
} // namespace corvelan
