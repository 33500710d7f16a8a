#include "support/recording_view.h"
#include "support/repository_files.h"
#include "support/temp_prefix.h"
#include "workflows/update_session.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace corvelan::workflows {
namespace {

namespace stdfs = std::filesystem;
using test::TempPrefix;

using test::kRepository;

TEST(StartUp, GivesExactlyOneOutcome) {
    enum class Setup {
        NoRepository,
        NoPictures,
        PicturesLowerCase,
        NoCatalogue,
        CatalogueFolder,
        BrokenCatalogue,
        EmptyCatalogue,
        NoEntries,
        Entries
    };
    struct Case {
        const char *name;
        Setup setup;
        StartupOutcome outcome;
        std::vector<std::string> lines;
    } cases[] = {
        {"repository folder missing",
         Setup::NoRepository,
         StartupOutcome::RepositoryFolderMissing,
         {"Folder Missing", kRepository}},
        {"pictures folder missing",
         Setup::NoPictures,
         StartupOutcome::PicturesFolderMissing,
         {"Folder Missing", kRepository + "pictures\\"}},
        {"catalogue missing",
         Setup::NoCatalogue,
         StartupOutcome::CatalogueNotLoaded,
         {"File Missing", kRepository + "DDXMLRepository.xml"}},
        {"catalogue is a folder",
         Setup::CatalogueFolder,
         StartupOutcome::CatalogueNotLoaded,
         {"File Missing", kRepository + "DDXMLRepository.xml"}},
        {"catalogue not well-formed",
         Setup::BrokenCatalogue,
         StartupOutcome::CatalogueNotLoaded,
         {"File Missing", kRepository + "DDXMLRepository.xml"}},
        {"catalogue empty",
         Setup::EmptyCatalogue,
         StartupOutcome::CatalogueNotLoaded,
         {"File Missing", kRepository + "DDXMLRepository.xml"}},
        {"lower-case pictures folder passes",
         Setup::PicturesLowerCase,
         StartupOutcome::Listed,
         {"A  Revision: 1", "QVX TSR 7700  Revision: 0.9"}},
        {"no File elements", Setup::NoEntries, StartupOutcome::Listed, {}},
        {"listed",
         Setup::Entries,
         StartupOutcome::Listed,
         {"A  Revision: 1", "QVX TSR 7700  Revision: 0.9"}},
    };
    for (const Case &tc : cases) {
        SCOPED_TRACE(tc.name);
        TempPrefix prefix(tc.setup != Setup::NoRepository,
                          tc.setup == Setup::PicturesLowerCase ? "pictures" : "Pictures");
        if (tc.setup == Setup::NoPictures)
            stdfs::remove(test::fsPath(prefix.repositoryDir() + "/Pictures"));
        const std::string catalogue = prefix.catalogueFile();
        switch (tc.setup) {
        case Setup::CatalogueFolder:
            stdfs::create_directory(test::fsPath(catalogue));
            break;
        case Setup::BrokenCatalogue:
            test::writeFile(catalogue, "<DDXMLRepository>");
            break;
        case Setup::EmptyCatalogue:
            test::writeFile(catalogue, "");
            break;
        case Setup::NoEntries:
            test::writeFile(catalogue, "<DDXMLRepository/>");
            break;
        case Setup::NoRepository:
        case Setup::NoPictures:
        case Setup::NoCatalogue:
            break;
        case Setup::Entries:
        case Setup::PicturesLowerCase:
            test::writeFile(catalogue, "<DDXMLRepository><File ProductID='A' Fileversion='1'/>"
                                       "<File ProductID='QVX TSR 7700' Fileversion='0.9'/>"
                                       "</DDXMLRepository>");
            break;
        }
        const std::string before =
            test::fileExists(catalogue) && !stdfs::is_directory(test::fsPath(catalogue))
                ? test::readFile(catalogue)
                : "";

        UpdateSession session(prefix.drives());
        test::RecordingView view;
        EXPECT_EQ(session.startUp(view), tc.outcome);
        EXPECT_EQ(view.lines, tc.lines);
        EXPECT_EQ(view.installEnabled, tc.outcome == StartupOutcome::Listed);
        EXPECT_EQ(session.catalogue() != nullptr, tc.outcome == StartupOutcome::Listed);
        if (!before.empty()) {
            EXPECT_EQ(test::readFile(catalogue), before) << "start-up only reads";
        }
    }
}

TEST(StartUp, FindsTheRepositoryWhateverItsLetterCase) {
    TempPrefix prefix(false);
    const std::string repo = prefix / "drive_c/programdata/SCHNEIDER ELECTRIC/ptk generic dtm/"
                                      "ddxmlrepository";
    stdfs::create_directories(test::fsPath(repo + "/PICTURES"));
    test::writeFile(repo + "/ddxmlrepository.XML", "<DDXMLRepository><File ProductID='A'/>"
                                                   "</DDXMLRepository>");
    UpdateSession session(prefix.drives());
    test::RecordingView view;
    EXPECT_EQ(session.startUp(view), StartupOutcome::Listed);
    EXPECT_EQ(view.lines, (std::vector<std::string>{"A  Revision: "}));
}

TEST(Refresh, ListsTheCatalogueAfresh) {
    TempPrefix prefix;
    test::writeFile(prefix.catalogueFile(),
                    "<DDXMLRepository><File ProductID='A' Fileversion='1'/></DDXMLRepository>");
    UpdateSession session(prefix.drives());
    test::RecordingView view;
    ASSERT_EQ(session.startUp(view), StartupOutcome::Listed);
    view.lines.push_back("stale");
    session.refresh(view);
    EXPECT_EQ(view.lines, (std::vector<std::string>{"A  Revision: 1"}));
}

} // namespace
} // namespace corvelan::workflows
