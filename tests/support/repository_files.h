// What the tests expect of the repository and the tool's folder, written out here rather than
// taken from the code under test: the five pictures an install copies, and the catalogue's path
// as the tool names it when it saves.
#pragma once

#include <string>

namespace corvelan::test {

inline const char *const kPictures[] = {"corvelan.ico", "corvelan.jpg", "QVXTSR7700.jpg",
                                        "QVXTSR7700Large.ico", "QVXTSR7700Small.ico"};

// The repository folder, as the tool names it, and its catalogue's save path.
inline const std::string kRepository =
    "c:\\ProgramData\\Schneider Electric\\PTK Generic DTM\\DDXMLRepository\\";
inline const std::string kSavePath = kRepository + "DDXMLRepository.xml";

} // namespace corvelan::test
