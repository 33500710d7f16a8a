// The catalogue's file: what it refuses to read, the save that keeps the file's attributes, and
// the rounds against another program that writes the file meanwhile, met through the fault seam
// at the look before the rename.
#include "catalogue/catalogue_file.h"
#include "support/attributes.h"
#include "support/device_entry.h"
#include "support/error_text.h"
#include "support/fault_hooks.h"
#include "support/sample_catalogue.h"
#include "support/temp_prefix.h"

#include <gtest/gtest.h>

#include <functional>

namespace corvelan::catalogue {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

const std::string kHead = "<DDXMLRepository>\r\n<File ProductID=\"A\"/>\r\n";
const std::string kEmpty = kHead + "</DDXMLRepository>\r\n";

std::string installed(const std::string &version) {
    return kHead + test::deviceEntry(version) + "</DDXMLRepository>\r\n";
}

CatalogueFile::Plan install(const std::string &version) {
    return [version](const Catalogue &c) { return c.planInstall(version); };
}
CatalogueFile::Plan removal() {
    return [](const Catalogue &c) { return c.planRemoval(); };
}

// Another program that rewrites the file at `path` each time the tool looks at it before the
// rename, as `rewrite` says (the times it was called so far; empty: leave it).
test::AtStep rival(const std::string &path, const std::function<std::string(int)> &rewrite) {
    return test::AtStep(fs::FileOperation::Check, [=](int time) {
        if (const std::string bytes = rewrite(time); !bytes.empty()) writeFile(path, bytes);
        return 0;
    });
}

class CatalogueFileTest : public ::testing::Test {
protected:
    CatalogueFile loaded(const std::string &bytes) {
        writeFile(path, bytes);
        auto file = CatalogueFile::load(path);
        EXPECT_TRUE(file.ok()) << file.error();
        return std::move(file).value();
    }
    Status change(CatalogueFile &file, const CatalogueFile::Plan &plan) {
        return file.change(folder, "DDXMLRepository.xml", plan).status();
    }

    TempDir dir;
    const std::string path = dir / "DDXMLRepository.xml";
    const fs::Folder folder = fs::Folder::open(dir.path(), fs::Links::Refuse).value();
};

TEST_F(CatalogueFileTest, RefusesWhatItCannotReadWhole) {
    struct Case {
        const char *name;
        const char *file;
        const char *bytes; // null: not created
        ErrorCode code;
    } cases[] = {
        {"missing", "missing.xml", nullptr, ErrorCode::NotFound},
        {"empty", "empty.xml", "", ErrorCode::XmlSyntax},
        {"not well-formed", "broken.xml", "<DDXMLRepository><File></DDXMLRepository>",
         ErrorCode::XmlSyntax},
        {"multi-byte encoding", "sjis.xml",
         "<?xml version='1.0' encoding='Shift_JIS'?><DDXMLRepository/>", ErrorCode::XmlSyntax},
        {"encoding the system does not know", "unknown.xml",
         "<?xml version='1.0' encoding='x-corvelan-unknown'?><DDXMLRepository/>",
         ErrorCode::XmlSyntax},
        {"external entity", "ext.xml",
         "<!DOCTYPE DDXMLRepository [<!ENTITY x SYSTEM 'file:///etc/passwd'>]>"
         "<DDXMLRepository>&x;</DDXMLRepository>",
         ErrorCode::XmlUnseenEntity},
    };
    for (const Case &tc : cases) {
        SCOPED_TRACE(tc.name);
        const std::string file = dir / tc.file;
        if (tc.bytes) writeFile(file, tc.bytes);
        auto catalogue = CatalogueFile::load(file);
        ASSERT_FALSE(catalogue.ok());
        EXPECT_EQ(catalogue.error().code, tc.code);
        EXPECT_EQ(catalogue.error().path, file);
        if (tc.bytes) {
            EXPECT_EQ(readFile(file), tc.bytes) << "never changed";
        }
    }
    EXPECT_EQ(CatalogueFile::load(dir.path()).error().code, ErrorCode::NotAFile);
}

TEST_F(CatalogueFileTest, KeepsAReadOnlyCatalogueReadOnly) {
    CatalogueFile file = loaded(kEmpty);
    ASSERT_TRUE(test::setFileAttributes(path, test::kReadOnly).ok());
    ASSERT_TRUE(change(file, install("3.1")).ok());
    EXPECT_EQ(readFile(path), installed("3.1"));
    EXPECT_EQ(test::fileAttributes(path).value() & test::kReadOnly, test::kReadOnly);
}

TEST_F(CatalogueFileTest, ChangesOneAfterAnotherEachOnWhatTheLastOneSaved) {
    CatalogueFile file = loaded(kEmpty);
    for (const std::string version : {"1.0", "1.1", "12.0"}) {
        SCOPED_TRACE(version);
        const fs::FileStamp before = file.stamp();
        ASSERT_TRUE(change(file, install(version)).ok());
        EXPECT_EQ(readFile(path), installed(version));
        EXPECT_EQ(file.catalogue().bytes(), readFile(path));
        EXPECT_NE(file.stamp(), before) << "the stamp of the file now in place";
    }
    // Nothing to change: nothing written, the same file.
    ASSERT_TRUE(change(file, removal()).ok());
    const fs::FileStamp removed = file.stamp();
    ASSERT_TRUE(change(file, removal()).ok());
    EXPECT_EQ(file.stamp(), removed);
    EXPECT_EQ(readFile(path), kEmpty);
}

TEST_F(CatalogueFileTest, AChangeIsMadeAgainOnWhatAnotherProgramWrote) {
    CatalogueFile file = loaded(installed("1.0"));
    const std::string theirs =
        kHead + test::deviceEntry("1.5") + "<File ProductID=\"Theirs\"/>\r\n</DDXMLRepository>\r\n";
    const auto rivals = rival(path, [&](int write) { return write == 1 ? theirs : std::string(); });
    auto changed = file.change(folder, "DDXMLRepository.xml", install("2.0"));
    ASSERT_TRUE(changed.ok()) << changed.error();
    EXPECT_EQ(changed->versionsBefore, std::vector<std::string>{"1.5"}) << "what it replaced";
    EXPECT_EQ(rivals.times(), 2) << "looked at again after the change was made again";
    EXPECT_EQ(readFile(path), kHead + "<File ProductID=\"Theirs\"/>\r\n" +
                                  test::deviceEntry("2.0") + "</DDXMLRepository>\r\n");
    EXPECT_EQ(file.catalogue().bytes(), readFile(path));
    EXPECT_EQ(test::linesOf(file.catalogue().listing()).back(), "QVX TSR 7700  Revision: 2.0");
}

TEST_F(CatalogueFileTest, AnotherProgramThatNeverStopsOrBreaksTheFileStopsTheChange) {
    const struct {
        const char *name;
        std::function<std::string(int)> rewrite;
        ErrorCode code;
        std::optional<ErrorCode> cause;
    } cases[] = {
        {"it keeps changing it",
         [](int write) {
             return kHead + "<!-- " + std::to_string(write) + " -->" + "</DDXMLRepository>";
         },
         ErrorCode::KeptChanging, std::nullopt},
        {"it leaves it broken",
         [](int write) {
             return write == 1 ? std::string("<DDXMLRepository><File") : std::string();
         },
         ErrorCode::ChangedOnDisk, ErrorCode::XmlSyntax},
    };
    for (const auto &tc : cases) {
        SCOPED_TRACE(tc.name);
        CatalogueFile file = loaded(kEmpty);
        const std::string before(file.catalogue().bytes());
        const auto rivals = rival(path, tc.rewrite);
        const Status changed = change(file, install("2.0"));
        ASSERT_FALSE(changed.ok());
        EXPECT_EQ(changed.error().code, tc.code);
        EXPECT_EQ(changed.error().cause, tc.cause);
        EXPECT_LE(rivals.times(), 10) << "a few rounds, not for ever";
        EXPECT_EQ(file.catalogue().bytes(), before) << "the catalogue in memory as it was";
        EXPECT_EQ(readFile(path).find("QVX TSR 7700"), std::string::npos) << "nothing of ours";
        EXPECT_EQ(test::listFolder(dir.path()), "DDXMLRepository.xml") << "no temporary left";
    }
}

TEST_F(CatalogueFileTest, ARehearsalFindsWhatTheChangeDoesAndWritesNothing) {
    const struct {
        const char *name;
        std::string bytes;
        CatalogueFile::Plan plan;
        bool writes;
        std::vector<std::string> versionsBefore;
    } cases[] = {
        {"an install over another version", installed("1.0"), install("2.0"), true, {"1.0"}},
        {"the same install again", installed("2.0"), install("2.0"), false, {"2.0"}},
        {"a remove with nothing to remove", kEmpty, removal(), false, {}},
    };
    for (const auto &tc : cases) {
        SCOPED_TRACE(tc.name);
        CatalogueFile file = loaded(tc.bytes);
        auto rehearsed = file.rehearse(folder, "DDXMLRepository.xml", tc.plan);
        ASSERT_TRUE(rehearsed.ok()) << rehearsed.error();
        EXPECT_EQ(readFile(path), tc.bytes);
        EXPECT_EQ(test::listFolder(dir.path()), "DDXMLRepository.xml") << "no temporary left";
        auto made = file.change(folder, "DDXMLRepository.xml", tc.plan);
        ASSERT_TRUE(made.ok()) << made.error();
        for (const auto *effect : {&rehearsed.value(), &made.value()}) {
            EXPECT_EQ(effect->writes, tc.writes);
            EXPECT_EQ(effect->versionsBefore, tc.versionsBefore);
        }
    }
    CatalogueFile other = loaded("<Catalog/>");
    EXPECT_EQ(other.rehearse(folder, "DDXMLRepository.xml", install("2.0")).error().code,
              ErrorCode::NotRepository);
}

TEST_F(CatalogueFileTest, AnotherKindOfCatalogueIsRefusedBeforeAnythingIsWritten) {
    CatalogueFile file = loaded("<Catalog><File ProductID=\"QVX TSR 7700\"/></Catalog>");
    const Status changed = change(file, install("2.0"));
    ASSERT_FALSE(changed.ok());
    EXPECT_EQ(changed.error().code, ErrorCode::NotRepository);
    EXPECT_EQ(readFile(path), "<Catalog><File ProductID=\"QVX TSR 7700\"/></Catalog>");
    ASSERT_TRUE(change(file, removal()).ok()) << "a remove still takes the entry out";
    EXPECT_EQ(readFile(path), "<Catalog></Catalog>");
}

} // namespace
} // namespace corvelan::catalogue
