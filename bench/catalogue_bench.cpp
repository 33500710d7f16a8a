// Load plus listing, and Install's edit plus save, on generated catalogues of 1,000 to 100,000
// entries. Sizes may be given, e.g. `catalogue_bench 100000`; run one size per process for a clean
// peak-memory figure.
#include "catalogue/catalogue.h"
#include "timing.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

using corvelan::catalogue::Catalogue;
namespace stdfs = std::filesystem;

// About 300 bytes an entry; every 1000th is the device's.
std::string makeCatalogue(int entries) {
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

} // namespace

int main(int argc, char **argv) {
    std::vector<int> sizes;
    for (int i = 1; i < argc; ++i)
        sizes.push_back(std::atoi(argv[i]));
    if (sizes.empty()) sizes = {1000, 10000, 100000};
    for (const int entries : sizes) {
        const stdfs::path file =
            stdfs::temp_directory_path() / ("corvelan-bench-" + std::to_string(entries) + ".xml");
        std::ofstream(file, std::ios::binary) << makeCatalogue(entries);
        const std::string path = file.string();
        const double megabytes = static_cast<double>(stdfs::file_size(file)) / (1024.0 * 1024.0);
        bool ok = true;
        const double load = corvelan::bench::fastestMilliseconds([&] {
            auto catalogue = Catalogue::load(path);
            ok = ok && catalogue && !catalogue->listing().empty();
        });
        corvelan::bench::printRow("load and list " + std::to_string(entries), load, megabytes);
        auto loaded = Catalogue::load(path);
        const std::string version = "2.0.0";
        const double edit = corvelan::bench::fastestMilliseconds([&] {
            // Each round starts from the loaded catalogue, as an install does.
            auto edited = loaded->withDeviceEntries(&version);
            ok = ok && edited && edited->saveTo(path).ok();
        });
        corvelan::bench::printRow("edit and save " + std::to_string(entries), edit, megabytes);
        stdfs::remove(file);
        if (!ok) {
            std::fprintf(stderr, "a load, edit or save failed\n");
            return 1;
        }
    }
    return 0;
}
