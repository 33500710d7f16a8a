// The device entry exactly as a saved catalogue must hold it, written out by hand.
#pragma once

#include <string>

namespace corvelan::test {

// `version` is already in the file's encoding and escaped.
inline std::string deviceEntry(const std::string &version) {
    return "<File DDXMLFile=\"QVX TSR 7700.XML\" Filename=\"QVX TSR 7700.XML\" Fileversion=\"" +
           version +
           "\" ProductName=\"QVXTSR7700\" Vendorname=\"629\" ProductID=\"QVX TSR 7700\" "
           "ImageLarge=\"pictures/QVXTSR7700.jpg\" ImageSmall=\"pictures/QVXTSR7700Small.ico\" "
           "ImageIcon=\"pictures/QVXTSR7700Large.ico\" CompanyLogo=\"pictures/corvelan.jpg\" "
           "ImageCompanyIcon=\"pictures/corvelan.ico\" "
           "CAPPLogo=\"pictures/TechnologyApproved.jpg\"/>\r\n";
}

} // namespace corvelan::test
