// What the tests expect of the repository and the tool's folder, written out here rather than
// taken from the code under test: the five pictures an install copies, and the catalogue's path
// as the tool names it when it saves.
#pragma once

#include <string>

namespace corvelan::test {

inline const char *const kPictures[] = {"corvelan.ico", "corvelan.jpg", "QVXTSR7700.jpg",
                                        "QVXTSR7700Large.ico", "QVXTSR7700Small.ico"};

inline const std::string kSavePath =
    "c:\\ProgramData\\Schneider Electric\\PTK Generic DTM\\DDXMLRepository\\DDXMLRepository.xml";

} // namespace corvelan::test
