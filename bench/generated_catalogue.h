// A catalogue of `entries` entries for the benchmarks: about 300 bytes an entry, every 1000th
// the device's.
#pragma once

#include <string>

namespace corvelan::bench {

inline std::string generatedCatalogue(int entries) {
    std::string xml = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<DDXMLRepository>\r\n";
    for (int i = 0; i < entries; ++i) {
        const std::string n = std::to_string(i);
        const std::string product = i % 1000 == 500 ? "QVX TSR 7700" : "Product " + n;
        xml += "<File DDXMLFile=\"Device " + n + ".xml\" Filename=\"Device " + n +
               ".xml\" Fileversion=\"1." + n + "\" ProductName=\"Dev" + n +
               "\" Vendorname=\"42\" ProductID=\"" + product + "\" ImageLarge=\"pictures/dev" + n +
               ".jpg\" ImageSmall=\"pictures/dev" + n +
               "s.ico\" CompanyLogo=\"pictures/vendor.jpg\"/>\r\n";
    }
    xml += "</DDXMLRepository>\r\n";
    return xml;
}

} // namespace corvelan::bench
