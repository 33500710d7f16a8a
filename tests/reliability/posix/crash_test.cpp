// Kills saves at random moments and checks that the catalogue is always the old file or the new
// one, never a mix, with its permissions, owner and Wine attributes.
#include "catalogue/catalogue.h"
#include "platform/file_system.h"
#include "support/host.h"
#include "support/path_files.h"
#include "support/recording_view.h"
#include "support/repository.h"
#include "support/sample_catalogue.h"
#include "support/scripted_boxes.h"
#include "support/temp_prefix.h"
#include "workflows/history.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace corvelan {
namespace {

namespace stdfs = std::filesystem;
using test::TempDir;

using Save = std::function<void(const std::string &path, const std::string &bytes)>;

struct Outcome {
    int kills = 0;
    int torn = 0;
    int temporariesLeft = 0; // kills after which a temporary file was left behind
};

int countTemporaries(const std::string &path) {
    int count = 0;
    for (const auto &entry : stdfs::directory_iterator(stdfs::path(path).parent_path()))
        count += fs::isTemporaryFileName(entry.path().filename().string()) ? 1 : 0;
    return count;
}

// Saves alternately `a` and `b` over `path` in a child, killed after a random delay within
// `window`; after each kill the file must hold one of the two whole.
Outcome killSaves(const std::string &path, const std::string &a, const std::string &b,
                  const Save &save, int kills, std::chrono::microseconds window,
                  std::mt19937 &random) {
    Outcome outcome;
    std::string current = test::readFile(path);
    std::uniform_int_distribution<long> delay(0, window.count());
    for (int i = 0; i < kills; ++i) {
        const std::string &next = current == a ? b : a;
        int ready[2];
        if (::pipe(ready) != 0) break;
        const pid_t child = ::fork();
        if (child == 0) {
            ::close(ready[0]);
            [[maybe_unused]] auto n = ::write(ready[1], "x", 1);
            save(path, next);
            ::_exit(0);
        }
        ::close(ready[1]);
        char c;
        [[maybe_unused]] auto n = ::read(ready[0], &c, 1);
        ::close(ready[0]);
        ::usleep(static_cast<useconds_t>(delay(random)));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        ++outcome.kills;
        const std::string now = test::readFile(path);
        if (now == next)
            current = next;
        else if (now != current)
            ++outcome.torn;
        outcome.temporariesLeft += countTemporaries(path) > 0 ? 1 : 0;
    }
    return outcome;
}

std::mt19937 seededRandom() {
    const char *seed = std::getenv("CORVELAN_CRASH_SEED");
    const unsigned value =
        seed ? static_cast<unsigned>(std::strtoul(seed, nullptr, 10)) : 20261207u;
    std::cout << "[ seed     ] CORVELAN_CRASH_SEED=" << value << "\n";
    return std::mt19937(value);
}

// How long one save of `bytes` takes here, to aim the kills inside it.
std::chrono::microseconds saveDuration(const std::string &path, const std::string &bytes,
                                       const Save &save) {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 3; ++i)
        save(path, bytes);
    const auto took = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now() - start);
    return std::max(took / 3, std::chrono::microseconds(200));
}

class CrashConsistency : public ::testing::Test {
protected:
    void SetUp() override {
        oldBytes = test::sampleCatalogue(12'000, "1.0"); // a few MB
        newBytes = test::sampleCatalogue(12'000, "2.0");
        test::writeFile(path, oldBytes);
    }
    TempDir dir;
    const std::string path = dir / "DDXMLRepository.xml";
    std::string oldBytes;
    std::string newBytes;
};

TEST_F(CrashConsistency, AKilledSaveLeavesTheOldOrTheNewFileWhole) {
    ::chmod(path.c_str(), 0444);
    ASSERT_EQ(::setxattr(path.c_str(), "user.DOSATTRIB", "0x6", 3, 0), 0);
    test::giveToNobody(path.c_str());
    struct stat before {};
    ASSERT_EQ(::stat(path.c_str(), &before), 0);

    const Save atomicSave = [](const std::string &p, const std::string &bytes) {
        (void)test::replaceFileContent(p, bytes);
    };
    std::mt19937 random = seededRandom();
    const auto window = saveDuration(path, oldBytes, atomicSave) * 6 / 5;
    const Outcome outcome = killSaves(path, oldBytes, newBytes, atomicSave, 200, window, random);

    std::cout << "[ kills    ] " << outcome.kills << " kills within " << window.count() << " us, "
              << outcome.temporariesLeft << " left a temporary file\n";
    EXPECT_EQ(outcome.kills, 200);
    EXPECT_EQ(outcome.torn, 0);
    const std::string now = test::readFile(path);
    EXPECT_TRUE(catalogue::Catalogue::parse(now).ok());
    struct stat after {};
    ASSERT_EQ(::stat(path.c_str(), &after), 0);
    EXPECT_EQ(after.st_mode, before.st_mode);
    EXPECT_EQ(after.st_uid, before.st_uid);
    EXPECT_EQ(after.st_gid, before.st_gid);
    char attrib[16] = {};
    EXPECT_EQ(::getxattr(path.c_str(), "user.DOSATTRIB", attrib, sizeof attrib), 3);
    EXPECT_STREQ(attrib, "0x6");
    EXPECT_GT(outcome.temporariesLeft, 0) << "no kill landed between create and rename";

    // The next save removes what the killed ones left, whatever file they were for, and only
    // files of the tool's naming pattern.
    for (const char *decoy : {".DDXMLRepository.xml.corvelan-12345", ".other.xml.corvelan-ABCDEF",
                              "DDXMLRepository.xml.corvelan-ABCDEF", "notes.tmp"})
        test::writeFile(dir / decoy, "keep");
    ASSERT_TRUE(test::replaceFileContent(path, oldBytes).ok());
    EXPECT_EQ(countTemporaries(path), 0);
    EXPECT_EQ(test::listFolder(dir.path()),
              ".DDXMLRepository.xml.corvelan-12345 "
              "DDXMLRepository.xml DDXMLRepository.xml.corvelan-ABCDEF "
              "notes.tmp");
}

TEST_F(CrashConsistency, TheHarnessCatchesATornFile) {
    // A plain truncate-and-write, as a naive save would do it.
    const Save naiveSave = [](const std::string &p, const std::string &bytes) {
        const int fd = ::open(p.c_str(), O_WRONLY | O_TRUNC);
        for (size_t at = 0; at < bytes.size(); at += 4096) {
            [[maybe_unused]] auto n =
                ::write(fd, bytes.data() + at, std::min<size_t>(4096, bytes.size() - at));
        }
        ::fsync(fd);
        ::close(fd);
    };
    std::mt19937 random = seededRandom();
    const auto window = saveDuration(path, oldBytes, naiveSave) * 6 / 5;
    const Outcome outcome = killSaves(path, oldBytes, newBytes, naiveSave, 40, window, random);
    std::cout << "[ control  ] " << outcome.kills << " kills of a truncate-and-write, "
              << outcome.torn << " torn\n";
    EXPECT_GT(outcome.torn, 0) << "the harness failed to see a torn file";
}

// A restore killed at any moment: the catalogue and each of the device's files is, each on its
// own, as it was or as the restore makes it, whole; and every generation the history lists is
// whole, so that the next restore can use any of them.
TEST(KilledRestore, LeavesEachFileOldOrNewAndEveryListedGenerationWhole) {
    test::Repository repo(test::sampleCatalogue(2'000, "1.0"));
    test::RecordingView view;
    test::ScriptedBoxes boxes;
    const std::vector<std::string> without = test::devicePart(repo.prefix);
    {
        workflows::UpdateSession session = repo.session(false);
        session.startUp(view);
        test::writeFile(repo.prefix / "drive_c/d.xml", test::description("2.0"));
        ASSERT_EQ(session.installDtm("C:\\d.xml", view, boxes), workflows::Outcome::Done);
    }
    const std::vector<std::string> with = test::devicePart(repo.prefix);
    // Each restore goes the other way: to the original (without the device) or to a generation
    // kept with it.
    const auto restoreTheOther = [&] {
        workflows::UpdateSession session = repo.session(false);
        session.startUp(view);
        std::optional<int> target = 1;
        if (test::readFile(repo.prefix.catalogueFile()) == without[0])
            for (const workflows::Generation &g : session.history())
                if (!g.before.empty()) {
                    target = g.number;
                    break;
                }
        return session.restore(target, view, boxes);
    };
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 2; ++i)
        ASSERT_EQ(restoreTheOther(), workflows::Outcome::Done);
    const auto window = std::chrono::duration_cast<std::chrono::microseconds>(
                            std::chrono::steady_clock::now() - start) *
                        3 / 5;

    std::mt19937 random = seededRandom();
    std::uniform_int_distribution<long> delay(0, window.count());
    int mixed = 0; // kills that left some files old and some new
    for (int kill = 0; kill < 40; ++kill) {
        SCOPED_TRACE("kill " + std::to_string(kill));
        const pid_t child = ::fork();
        if (child == 0) ::_exit(restoreTheOther() == workflows::Outcome::Done ? 0 : 1);
        ::usleep(static_cast<useconds_t>(delay(random)));
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        const std::vector<std::string> now = test::devicePart(repo.prefix);
        for (std::size_t f = 0; f < now.size(); ++f)
            ASSERT_TRUE(now[f] == without[f] || now[f] == with[f]) << "file " << f << " torn";
        mixed += now != without && now != with ? 1 : 0;
        auto history = workflows::History::hold(repo.prefix.drives(), false, false);
        ASSERT_TRUE(history.ok());
        for (const workflows::Generation &g : history->generations())
            ASSERT_TRUE(history->open(g).ok()) << "generation " << g.number << " listed, not whole";
    }
    std::cout << "[ kills    ] 40 kills within " << window.count() << " us, " << mixed
              << " left some files old and some new\n";
    ASSERT_EQ(restoreTheOther(), workflows::Outcome::Done) << "the next restore goes on";
}

TEST(DiskFull, ASaveBeyondTheFileSizeLimitFailsCleanly) {
    TempDir dir;
    const std::string path = dir / "DDXMLRepository.xml";
    const std::string old = test::sampleCatalogue(10, "1.0");
    test::writeFile(path, old);
    // In a child, so that the limit and the ignored SIGXFSZ stay there.
    const pid_t child = ::fork();
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{4096, 4096};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        auto saved = test::replaceFileContent(path, test::sampleCatalogue(1'000, "2.0"));
        ::_exit(!saved.ok() && saved.error().sysErrno == EFBIG ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(test::readFile(path), old);
    EXPECT_EQ(test::listFolder(dir.path()), "DDXMLRepository.xml");
}

} // namespace
} // namespace corvelan
