// Catalogues made up for tests, and the lines of a listing as strings to compare.
#pragma once

#include "catalogue/listing.h"

#include <string>
#include <vector>

namespace corvelan::test {

// A catalogue of `entries` made-up products, all with the version `version`: a few MB for 12,000.
inline std::string sampleCatalogue(int entries, const std::string &version) {
    std::string xml = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<DDXMLRepository>\r\n";
    for (int i = 0; i < entries; ++i)
        xml += "<File DDXMLFile=\"Device " + std::to_string(i) + ".xml\" Fileversion=\"" + version +
               "\" ProductID=\"Product " + std::to_string(i) +
               "\" ImageLarge=\"pictures/device.jpg\" CompanyLogo=\"pictures/vendor.jpg\"/>\r\n";
    return xml + "</DDXMLRepository>\r\n";
}

// Every line of `listing` as a string of its own.
inline std::vector<std::string> linesOf(const catalogue::Listing &listing) {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < listing.size(); ++i)
        out.emplace_back(listing[i]);
    return out;
}

} // namespace corvelan::test
