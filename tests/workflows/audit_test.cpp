// The trace each install and remove leaves in the system's log: exactly one event at each end,
// from the windows' workflows and the command line alike, saying who, on which catalogue, the
// versions before, the version and description taken (with its SHA-256), and how it ended.
#include "base/sha256.h"
#include "platform/system_log.h"
#include "support/fault_hooks.h"
#include "workflows/audit.h"
#include "workflows/install_fixture.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace corvelan::workflows {
namespace {

// The event ids as Windows composes them: severity in the top two bits, then the message number.
constexpr std::uint32_t kInformational = 0x40000000, kWarning = 0x80000000, kError = 0xC0000000;

std::string sha256Of(const std::string &bytes) {
    Sha256 digest;
    digest.add(bytes);
    return digest.hex();
}

using test::FullDisk;

class AuditTest : public InstallTest {
protected:
    // The one event the last workflow left.
    const fs::SystemEvent &onlyEvent(std::size_t before) {
        EXPECT_EQ(repo.log.events.size(), before + 1) << "exactly one event for each workflow";
        return repo.log.events.back();
    }
    std::string catalogueHost() const { return prefix.drives().hostPath(test::kSavePath).value(); }
};

TEST_F(AuditTest, EachInstallLeavesOneEventThatSaysHowItEnded) {
    const std::string bytes = test::description("2.5");
    const std::string path = description("good.xml", bytes);
    const std::string host = file("good.xml");
    UpdateSession &s = start();

    boxes.answer = BoxAnswer::No;
    EXPECT_EQ(s.installDtm(path, view, boxes), Outcome::Declined);
    const fs::SystemEvent &declined = onlyEvent(0);
    EXPECT_EQ(declined.id, kInformational | 4);
    EXPECT_EQ(declined.strings, (std::vector<std::string>{fs::currentUser(), catalogueHost(), "1.0",
                                                          "2.5", host, sha256Of(bytes), ""}));
    EXPECT_EQ(declined.text, fs::currentUser() +
                                 " did not confirm version 2.5 of the QVX TSR 7700 DTM from the "
                                 "description " +
                                 host + " (SHA-256 " + sha256Of(bytes) +
                                 "), so nothing was installed in the catalogue " + catalogueHost() +
                                 ".");

    boxes.answer = BoxAnswer::Yes;
    {
        const FullDisk full;
        EXPECT_EQ(s.installDtm(path, view, boxes), Outcome::Failed);
    }
    const fs::SystemEvent &failed = onlyEvent(1);
    EXPECT_EQ(failed.id, kError | 3);
    EXPECT_EQ(failed.severity, fs::EventSeverity::Error);
    EXPECT_EQ(failed.strings[6], boxes.shown.back().text) << "what the box told, not the question";
    EXPECT_EQ(failed.strings[2], "1.0");

    EXPECT_EQ(s.installDtm(path, view, boxes), Outcome::Done);
    const fs::SystemEvent &installed = onlyEvent(2);
    EXPECT_EQ(installed.id, kInformational | 1);
    EXPECT_EQ(installed.severity, fs::EventSeverity::Information);
    EXPECT_EQ(installed.strings,
              (std::vector<std::string>{fs::currentUser(), catalogueHost(), "1.0", "2.5", host,
                                        sha256Of(bytes), ""}));

    const std::string other = description("other.xml", test::profile("<productName>X"
                                                                     "</productName>"));
    boxes.shown.clear();
    EXPECT_EQ(s.installDtm(other, view, boxes), Outcome::Refused);
    const fs::SystemEvent &refused = onlyEvent(3);
    EXPECT_EQ(refused.id, kWarning | 2);
    EXPECT_EQ(refused.severity, fs::EventSeverity::Warning);
    EXPECT_EQ(refused.strings[3], "unknown") << "a refused description has no version";
    EXPECT_EQ(refused.strings[2], "2.5") << "the catalogue as it stands";
    EXPECT_EQ(refused.strings[6], "The Product ID of this file is X. It should be QVXTSR7700.");

    // Refused before its end was read (its first MiB is no XML): no digest, never that of the
    // part read.
    const std::string large =
        description("large.xml", test::profile("<productName>X</wrong><!--" +
                                               std::string(3 << 20, 'x') + "-->"));
    EXPECT_EQ(s.installDtm(large, view, boxes), Outcome::Refused);
    EXPECT_EQ(onlyEvent(4).strings[5], "unknown");

    const std::string missing = prefix.drives().windowsPath(file("missing.xml"));
    EXPECT_EQ(s.installDtm(missing, view, boxes), Outcome::Refused);
    const fs::SystemEvent &unread = onlyEvent(5);
    EXPECT_EQ(unread.strings[4], missing) << "named as given, when it could not be opened";
    EXPECT_EQ(unread.strings[5], "unknown");
}

TEST_F(AuditTest, EachRemoveLeavesOneEventThatSaysHowItEnded) {
    UpdateSession &s = start();
    {
        const FullDisk full;
        EXPECT_EQ(s.remove(view, boxes), Outcome::Failed);
    }
    const fs::SystemEvent &failed = onlyEvent(0);
    EXPECT_EQ(failed.id, kError | 8);
    EXPECT_EQ(failed.strings[6], boxes.shown.back().text);

    EXPECT_EQ(s.remove(view, boxes), Outcome::Done);
    const fs::SystemEvent &removed = onlyEvent(1);
    EXPECT_EQ(removed.id, kInformational | 5);
    EXPECT_EQ(removed.strings, (std::vector<std::string>{fs::currentUser(), catalogueHost(), "1.0",
                                                         "", "", "", ""}));
    EXPECT_EQ(removed.text,
              fs::currentUser() + " removed the QVX TSR 7700 DTM from the catalogue " +
                  catalogueHost() + ". Versions of the device in the catalogue before: 1.0.");

    EXPECT_EQ(s.remove(view, boxes), Outcome::Done);
    const fs::SystemEvent &nothing = onlyEvent(2);
    EXPECT_EQ(nothing.id, kInformational | 6);
    EXPECT_EQ(nothing.strings[2], "none");

    std::filesystem::remove(test::fsPath(prefix.catalogueFile()));
    UpdateSession unloaded = repo.session();
    EXPECT_EQ(unloaded.startUp(view), StartupOutcome::CatalogueNotLoaded);
    EXPECT_EQ(unloaded.remove(view, boxes), Outcome::Refused);
    const fs::SystemEvent &refused = onlyEvent(3);
    EXPECT_EQ(refused.id, kWarning | 7);
    EXPECT_EQ(refused.strings[2], "unknown") << "no catalogue read";
    EXPECT_EQ(refused.strings[6], test::kSavePath + " is not loaded. Nothing was removed.");
}

TEST(InsertStrings, PutsEachStringInOncePercentPercentIsAPercentAndAMultiLineToldIsOneLine) {
    EXPECT_EQ(insertStrings("%1 took %2 at 100%%, %3.", {"a %2", "b", "c"}),
              "a %2 took b at 100%, c.");
    EXPECT_EQ(insertStrings("%9 and %", {"x"}), " and %") << "a string not given is empty";
    Change change;
    change.workflow = Workflow::Remove;
    change.versionsBefore = std::vector<std::string>{"1", "2"};
    const fs::SystemEvent event = eventOf(change, Outcome::Failed, "first line\r\nsecond line");
    EXPECT_EQ(event.strings[2], "1, 2");
    EXPECT_EQ(event.strings[6], "first line second line");
    EXPECT_EQ(event.text.find('\n'), std::string::npos);
}

} // namespace
} // namespace corvelan::workflows
