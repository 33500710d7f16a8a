// The security of the files and folders an elevated run changes: a replaced catalogue keeps the
// DACL an administrator gave it, and a folder on the repository's way that another user owns is
// not changed. Under Wine a DACL stands for the Unix permission bits, and a folder of another Unix
// user belongs to "ANONYMOUS LOGON".
#include "platform/file_primitives.h"
#include "platform/trust.h"
#include "platform/win32/wide.h"
#include "support/disk_calls.h"
#include "support/error_text.h"
#include "support/host.h"
#include "support/recording_view.h"
#include "support/repository.h"
#include "support/repository_files.h"
#include "support/scripted_boxes.h"
#include "support/temp_prefix.h"
#include "workflows/update_session.h"

#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <filesystem>

namespace corvelan::workflows {
namespace {

namespace stdfs = std::filesystem;

const std::string &kCatalogue = test::kTwoEntries;
const std::string kProfile = test::description();

// The file's DACL, as SDDL ("D:P(A;;FA;;;SY)..."; "P" when it does not inherit).
std::string daclOf(const std::string &path) {
    PSECURITY_DESCRIPTOR security = nullptr;
    if (::GetNamedSecurityInfoW(test::fsPath(path).c_str(), SE_FILE_OBJECT,
                                DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr, nullptr,
                                &security) != ERROR_SUCCESS)
        return "unreadable";
    wchar_t *text = nullptr;
    ::ConvertSecurityDescriptorToStringSecurityDescriptorW(
        security, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr);
    std::string out = text ? win32::fromWide(text) : "none";
    if (text) ::LocalFree(text);
    ::LocalFree(security);
    return out;
}

// Gives the file a DACL of its own, kept from what its folder would give it: full control for
// the system and the user running the test, nothing for anyone else.
void setOwnDacl(const std::string &path) {
    PSECURITY_DESCRIPTOR security = nullptr;
    ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(
        L"D:P(A;;FA;;;SY)(A;;FA;;;OW)", SDDL_REVISION_1, &security, nullptr));
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL dacl = nullptr;
    ::GetSecurityDescriptorDacl(security, &present, &dacl, &defaulted);
    std::wstring wide = test::fsPath(path).wstring();
    EXPECT_EQ(
        ::SetNamedSecurityInfoW(wide.data(), SE_FILE_OBJECT,
                                DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                                nullptr, nullptr, dacl, nullptr),
        ERROR_SUCCESS);
    ::LocalFree(security);
}

class Security : public ::testing::Test {
protected:
    // A session on `drives`, started, its boxes not yet shown.
    UpdateSession started(const DriveMap &drives, bool elevated) {
        UpdateSession session(drives, repo.toolFolder(), elevated);
        EXPECT_EQ(session.startUp(view), StartupOutcome::Listed);
        boxes.shown.clear();
        return session;
    }
    Outcome install(const DriveMap &drives, bool elevated) {
        return started(drives, elevated).installDtm("C:\\dtm.xml", view, boxes);
    }

    test::Repository repo{""};
    test::TempPrefix &prefix = repo.prefix;
    test::RecordingView view;
    test::ScriptedBoxes boxes;
};

TEST_F(Security, TheCatalogueKeepsItsDaclThroughAnInstall) {
    for (const bool own : {false, true}) {
        SCOPED_TRACE(own ? "a DACL of its own" : "the folder's");
        test::writeFile(prefix.catalogueFile(), kCatalogue);
        if (own) setOwnDacl(prefix.catalogueFile());
        const std::string before = daclOf(prefix.catalogueFile());
        EXPECT_EQ(install(prefix.drives(), fs::runsElevated()), Outcome::Done);
        EXPECT_EQ(boxes.shown.size(), 1u) << "only the confirmation";
        EXPECT_NE(test::readFile(prefix.catalogueFile()), kCatalogue) << "saved anew";
        EXPECT_EQ(daclOf(prefix.catalogueFile()), before);
    }
}

TEST_F(Security, AnAdministratorsRunIsElevatedAndFollowsNoLink) {
    // Wine's processes hold an administrator's token, as the installer's and an elevated
    // administrator's do on Windows.
    ASSERT_TRUE(fs::runsElevated());
    test::TempDir elsewhere;
    test::writeFile(prefix.catalogueFile(), kCatalogue);
    const std::string pictures = prefix.repositoryDir() + "\\Pictures";
    stdfs::rename(test::fsPath(pictures), test::fsPath(elsewhere / "moved"));
    ASSERT_TRUE(test::makeSymbolicLink(elsewhere / "moved", pictures));
    UpdateSession session = repo.session();
    EXPECT_EQ(session.startUp(view), StartupOutcome::Listed);
    EXPECT_EQ(session.installDtm("C:\\dtm.xml", view, boxes), Outcome::Refused);
    EXPECT_EQ(test::listFolder(elsewhere / "moved"), "");
}

// What the tool asks Windows for when the file it replaces has a DACL of its own: the same DACL,
// protected from inheritance or not as it was. Wine shows every file's DACL as one its mode
// bits give, so the old file's is handed to the step here as Windows would report it.
TEST(SecurityCalls, TheNewFileIsAskedForTheOldFilesDaclAndItsProtection) {
    test::TempDir dir;
    const fs::Folder folder = fs::Folder::open(dir.path()).value();
    for (const char *sddl : {"D:P(A;;FA;;;SY)(A;;FR;;;BU)", "D:(A;;FA;;;SY)(A;;FA;;;BA)"}) {
        SCOPED_TRACE(sddl);
        PSECURITY_DESCRIPTOR security = nullptr;
        ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(
            win32::toWide(sddl).c_str(), SDDL_REVISION_1, &security, nullptr));
        fs::host::PathState old;
        old.kind = fs::host::PathState::Kind::File;
        const auto *bytes = static_cast<const unsigned char *>(security);
        old.security.assign(bytes, bytes + ::GetSecurityDescriptorLength(security));
        ::LocalFree(security);
        auto created = fs::host::createLocked(folder, "new.xml");
        ASSERT_TRUE(created.ok()) << created.error();
        std::vector<test::DiskCall> calls;
        {
            test::DiskCallRecorder recorder;
            EXPECT_TRUE(fs::host::giveSecurity(created.value(), old, "new.xml").ok());
            calls = recorder.calls();
        }
        fs::host::discard(created.value(), folder, "new.xml");
        ASSERT_EQ(calls.size(), 1u);
        EXPECT_EQ(calls[0].kind, test::DiskCall::SetDacl);
        EXPECT_EQ(calls[0].dacl, sddl);
    }
}

// What scripts/windows-test-prefix.sh makes as root in the test prefix: a Wine prefix whose
// "Schneider Electric" folder belongs to another Unix user (root), open to everyone.
constexpr const char *kForeignPrefix = "C:\\corvelan-foreign";

TEST_F(Security, AFolderOfAnotherUserIsRefusedToAnElevatedRun) {
    const std::string vendor =
        std::string(kForeignPrefix) + "\\drive_c\\ProgramData\\Schneider Electric";
    if (!stdfs::exists(test::fsPath(vendor)))
        GTEST_SKIP() << vendor << " is missing: scripts/windows-test-prefix.sh makes it as root";
    const std::string repository = vendor + "\\PTK Generic DTM\\DDXMLRepository";
    stdfs::create_directories(test::fsPath(repository + "\\Pictures"));
    test::writeFile(repository + "\\DDXMLRepository.xml", kCatalogue);
    const std::string description = std::string(kForeignPrefix) + "\\drive_c\\dtm.xml";
    test::writeFile(description, kProfile);
    const DriveMap foreign = DriveMap::forPrefix(kForeignPrefix).value();
    const std::string before = test::snapshotOf(vendor);
    // Rehearsed first: the same refusal, and nothing found to change.
    Rehearsal rehearsal;
    EXPECT_EQ(started(foreign, true).rehearseInstall("C:\\dtm.xml", boxes, rehearsal),
              Outcome::Refused);
    ASSERT_EQ(boxes.shown.size(), 2u);
    const std::string rehearsed = boxes.shown[1].text;
    EXPECT_FALSE(rehearsal.catalogueChecked);
    EXPECT_TRUE(rehearsal.copies.empty());
    EXPECT_EQ(install(foreign, true), Outcome::Refused);
    ASSERT_EQ(boxes.shown.size(), 2u);
    const std::string &box = boxes.shown[1].text;
    EXPECT_EQ(box, rehearsed);
    const std::string start = "c:\\ProgramData\\Schneider Electric belongs to ";
    const std::string end = ". Nothing was installed. Ask an administrator to make the "
                            "Administrators group its owner, then try again.";
    EXPECT_TRUE(box.starts_with(start) && box.ends_with(end) &&
                box.size() > start.size() + end.size())
        << box;
    EXPECT_EQ(test::snapshotOf(vendor), before) << "nothing changed";
    // A standard user's run is bounded by the user's own rights, not by the folders' owners.
    EXPECT_EQ(install(foreign, false), Outcome::Done);
    EXPECT_NE(test::readFile(repository + "\\DDXMLRepository.xml"), kCatalogue);
    stdfs::remove_all(test::fsPath(vendor + "\\PTK Generic DTM"));
    stdfs::remove(test::fsPath(description));
}

} // namespace
} // namespace corvelan::workflows
