// Ends a process that saves the catalogue at random moments, TerminateProcess being Windows'
// hardest stop, and checks that the catalogue is always the old file or the new one, never a mix.
#include "catalogue/catalogue.h"
#include "platform/file_system.h"
#include "platform/process.h"
#include "support/attributes.h"
#include "support/child.h"
#include "support/path_files.h"
#include "support/sample_catalogue.h"
#include "support/temp_prefix.h"

#include <gtest/gtest.h>

#include <chrono>
#include <iostream>
#include <optional>
#include <random>
#include <thread>

namespace corvelan {
namespace {

using test::TempDir;

// Starts the saver on `path` with `version`, and waits until it says it is about to save. A
// saver that cannot start (Wine once answered error 1359 under load) fails the environment, not
// the tool: it is tried again a few times, and the test fails with the system's reason only
// when it never starts.
std::optional<test::Child> startSaver(const std::string &path, const std::string &version) {
    constexpr int kStarts = 5;
    const std::string saver = fs::joinPath(fs::executableFolder().value(), CRASH_SAVER);
    for (int attempt = 1;; ++attempt) {
        auto child = test::Child::start(saver, {path, version});
        if (child) {
            EXPECT_EQ(child->read(5), "ready");
            return std::move(child).value();
        }
        if (attempt == kStarts) {
            ADD_FAILURE() << "the environment could not start the saver, " << kStarts
                          << " times: error " << child.error().osCode << ", "
                          << child.error().osMessage;
            return std::nullopt;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
}

TEST(CrashConsistency, ATerminatedSaveLeavesTheOldOrTheNewFileWhole) {
    TempDir dir;
    const std::string path = dir / "DDXMLRepository.xml";
    const std::string a = test::sampleCatalogue(12'000, "1.0");
    const std::string b = test::sampleCatalogue(12'000, "2.0");
    test::writeFile(path, a);
    ASSERT_TRUE(test::setFileAttributes(path, test::kReadOnly | test::kHidden).ok());

    // How long one save takes here, from "ready" to "saved", to aim the ends inside it.
    auto timed = startSaver(path, "1.0");
    ASSERT_TRUE(timed);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(timed->read(5), "saved");
    const auto window = std::chrono::duration_cast<std::chrono::microseconds>(
                            std::chrono::steady_clock::now() - start) *
                        6 / 5;
    EXPECT_EQ(timed->wait(), 0);

    std::mt19937 random(20261207u);
    std::uniform_int_distribution<long long> delay(0, window.count());
    std::string current = a;
    int kills = 0; // savers ended by TerminateProcess, not those that finished first
    int torn = 0;
    int changed = 0;
    for (int round = 0; kills < 120 && round < 400; ++round) {
        const std::string &next = current == a ? b : a;
        auto child = startSaver(path, &next == &a ? "1.0" : "2.0");
        ASSERT_TRUE(child);
        std::this_thread::sleep_for(std::chrono::microseconds(delay(random)));
        // A saver that already finished is not ended again.
        if (child->terminate()) ++kills;
        child->wait();
        const std::string now = test::readFile(path);
        if (now == next) {
            current = next;
            ++changed;
        } else if (now != current) {
            ++torn;
        }
    }
    std::cout << "[ kills    ] " << kills << " TerminateProcess calls within " << window.count()
              << " us, " << changed << " times the new file was in place\n";
    EXPECT_GE(kills, 100);
    EXPECT_EQ(torn, 0);
    EXPECT_TRUE(catalogue::Catalogue::parse(test::readFile(path)).ok());
    EXPECT_EQ(test::fileAttributes(path).value() & (test::kReadOnly | test::kHidden),
              test::kReadOnly | test::kHidden);
    // The next save removes what the ended ones left. (Wine may release an ended process's
    // handles a moment after the process counts as ended; until then its file is still held.)
    std::string left;
    for (int tries = 0; tries < 20; ++tries) {
        ASSERT_TRUE(test::replaceFileContent(path, a).ok());
        left = test::listFolder(dir.path());
        if (left == "DDXMLRepository.xml") break;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_EQ(left, "DDXMLRepository.xml");
}

} // namespace
} // namespace corvelan
