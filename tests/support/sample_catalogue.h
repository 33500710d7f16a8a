// A catalogue of `entries` made-up products, all with the version `version`: a few MB for 12,000.
#pragma once

#include <string>

namespace corvelan::test {

inline std::string sampleCatalogue(int entries, const std::string &version) {
    std::string xml = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<DDXMLRepository>\r\n";
    for (int i = 0; i < entries; ++i)
        xml += "<File DDXMLFile=\"Device " + std::to_string(i) + ".xml\" Fileversion=\"" + version +
               "\" ProductID=\"Product " + std::to_string(i) +
               "\" ImageLarge=\"pictures/device.jpg\" CompanyLogo=\"pictures/vendor.jpg\"/>\r\n";
    return xml + "</DDXMLRepository>\r\n";
}

} // namespace corvelan::test
