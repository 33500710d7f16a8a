// Where the host product's repository lies, what the tool writes into its catalogue and which
// files an install places there. Every path is a Windows path with its letter case exactly as
// the tool shows it; the drive map resolves them without regard to case.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace corvelan::catalogue {

inline constexpr std::string_view kRepositoryDir =
    "c:\\ProgramData\\Schneider Electric\\PTK Generic DTM\\DDXMLRepository\\";
// The pictures folder as start-up asks about it ...
inline constexpr std::string_view kPicturesDirTested =
    "c:\\ProgramData\\Schneider Electric\\PTK Generic DTM\\DDXMLRepository\\Pictures\\";
// ... and as the tool shows it and copies into it.
inline constexpr std::string_view kPicturesDirShown =
    "c:\\ProgramData\\Schneider Electric\\PTK Generic DTM\\DDXMLRepository\\pictures\\";
// The repository's folders, in the order start-up tests them: each as asked about, and as shown.
struct RepositoryFolder {
    std::string_view tested;
    std::string_view shown;
};
inline constexpr std::array<RepositoryFolder, 2> kRepositoryFolders{{
    {kRepositoryDir, kRepositoryDir},
    {kPicturesDirTested, kPicturesDirShown},
}};

// The catalogue is loaded by one spelling of its path and saved by another, which is also the one
// the list shows when the load fails; both are kept as the tool has always written them. They
// differ only in the drive letter's case, which Windows and the drive map ignore: one file.
inline constexpr std::string_view kCatalogueLoadPath =
    "C:\\ProgramData\\Schneider Electric\\PTK Generic DTM\\DDXMLRepository\\DDXMLRepository.xml";
inline constexpr std::string_view kCatalogueSavePath =
    "c:\\ProgramData\\Schneider Electric\\PTK Generic DTM\\DDXMLRepository\\DDXMLRepository.xml";

inline constexpr std::string_view kRootElement = "DDXMLRepository";
inline constexpr std::string_view kEntryElement = "File";
inline constexpr std::string_view kProductIdAttribute = "ProductID";
inline constexpr std::string_view kFileVersionAttribute = "Fileversion";
inline constexpr std::string_view kDeviceProductId = "QVX TSR 7700";
inline constexpr std::string_view kListSeparator = "  Revision: ";
// The list line of a device entry of `version`.
[[nodiscard]] inline std::string deviceListLine(std::string_view version) {
    return std::string(kDeviceProductId) + std::string(kListSeparator) + std::string(version);
}

struct EntryAttribute {
    std::string_view name;
    std::string_view value; // unused for Fileversion, which takes the installed version
};

// The device entry's attributes, in the order they stand in the saved file.
inline constexpr std::array<EntryAttribute, 12> kDeviceEntryAttributes{{
    {"DDXMLFile", "QVX TSR 7700.XML"},
    {"Filename", "QVX TSR 7700.XML"},
    {"Fileversion", ""},
    {"ProductName", "QVXTSR7700"},
    {"Vendorname", "629"},
    {"ProductID", "QVX TSR 7700"},
    {"ImageLarge", "pictures/QVXTSR7700.jpg"},
    {"ImageSmall", "pictures/QVXTSR7700Small.ico"},
    {"ImageIcon", "pictures/QVXTSR7700Large.ico"},
    {"CompanyLogo", "pictures/corvelan.jpg"},
    {"ImageCompanyIcon", "pictures/corvelan.ico"},
    {"CAPPLogo", "pictures/TechnologyApproved.jpg"},
}};

struct InstalledFile {
    std::string_view destination;
    std::string_view pictureName; // in the tool's folder; empty for the picked description file
};

// The files an install copies, in the order it copies them.
inline constexpr std::array<InstalledFile, 6> kInstalledFiles{{
    {"c:\\ProgramData\\Schneider Electric\\PTK Generic "
     "DTM\\DDXMLRepository\\pictures\\corvelan.ico",
     "corvelan.ico"},
    {"c:\\ProgramData\\Schneider Electric\\PTK Generic "
     "DTM\\DDXMLRepository\\pictures\\corvelan.jpg",
     "corvelan.jpg"},
    {"c:\\ProgramData\\Schneider Electric\\PTK Generic DTM\\DDXMLRepository\\QVX TSR 7700.xml", ""},
    {"c:\\ProgramData\\Schneider Electric\\PTK Generic "
     "DTM\\DDXMLRepository\\pictures\\QVXTSR7700.jpg",
     "QVXTSR7700.jpg"},
    {"c:\\ProgramData\\Schneider Electric\\PTK Generic DTM\\DDXMLRepository\\pictures\\"
     "QVXTSR7700Large.ico",
     "QVXTSR7700Large.ico"},
    {"c:\\ProgramData\\Schneider Electric\\PTK Generic DTM\\DDXMLRepository\\pictures\\"
     "QVXTSR7700Small.ico",
     "QVXTSR7700Small.ico"},
}};

} // namespace corvelan::catalogue
