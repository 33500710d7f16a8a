// Fails every file operation of a save in turn, and holds a step for a moment or for good: what
// the file layer leaves and how long it waits.
#include "support/attributes.h"
#include "support/error_text.h"
#include "support/fault_hooks.h"
#include "support/path_files.h"
#include "support/temp_prefix.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <iostream>

namespace corvelan {
namespace {

namespace stdfs = std::filesystem;
using fs::FileOperation;
using test::TempDir;

TEST(FaultInjection, EveryStepOfASaveCanFailWithoutHarm) {
    for (const int err : {EIO, ENOSPC, EACCES}) {
        for (int k = 1;; ++k) {
            SCOPED_TRACE("errno " + std::to_string(err) + ", operation " + std::to_string(k));
            TempDir dir;
            const std::string path = dir / "DDXMLRepository.xml";
            test::writeFile(path, "<DDXMLRepository/>");
            ASSERT_TRUE(test::setFileAttributes(path, test::kReadOnly | test::kHidden).ok());

            test::FaultAt hook(k, err);
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
            test::Held held(operation, times);
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
    test::Held held(FileOperation::Rename, -1);
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
        test::Held held(FileOperation::Rename, -1, tc.err);
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
    test::Held none(FileOperation::Rename, 0);
    ASSERT_TRUE(test::replaceFileContent(dir / "x.xml", "new").ok());
    EXPECT_EQ(none.tries.size(), 1u);
    EXPECT_TRUE(none.waits.empty());
}

} // namespace
} // namespace corvelan
