// The description check on a 1 MB and a 200 MB description file: time, and peak memory, which
// must not grow with the file. Sizes in MB may be given, e.g. `description_bench 200`.
#include "support/path_files.h"
#include "timing.h"
#include "xml/description_reader.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace stdfs = std::filesystem;

// A profile of about `megabytes` MB: the identity first, then filler parameters.
stdfs::path writeProfile(int megabytes) {
    const auto path = stdfs::temp_directory_path() /
                      ("corvelan-bench-profile-" + std::to_string(megabytes) + ".xml");
    std::ofstream out(path, std::ios::binary);
    out << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
           "<ISO15745Profile xmlns=\"http://www.profibus.com/ISO15745\">\r\n"
           "<ProfileBody><DeviceIdentity><productName>QVXTSR7700</productName>"
           "<version>3.2.1</version></DeviceIdentity>\r\n";
    const std::string parameter =
        "<parameter uniqueID=\"p\" access=\"read\"><label lang=\"en\">Temperature set point "
        "channel</label><value>21.5</value></parameter>\r\n";
    const std::int64_t target = std::int64_t{megabytes} << 20;
    for (std::int64_t written = 0; written < target;
         written += static_cast<std::int64_t>(parameter.size()))
        out << parameter;
    out << "</ProfileBody></ISO15745Profile>\r\n";
    return path;
}

} // namespace

int main(int argc, char **argv) {
    std::vector<int> sizes;
    for (int i = 1; i < argc; ++i)
        sizes.push_back(std::atoi(argv[i]));
    if (sizes.empty()) sizes = {1, 200};
    for (const int megabytes : sizes) {
        const stdfs::path file = writeProfile(megabytes);
        bool ok = true;
        const double ms = corvelan::bench::fastestMilliseconds([&] {
            auto facts = corvelan::test::readDescription(file.string());
            ok = ok && facts && facts->productName == "QVXTSR7700";
        });
        corvelan::bench::printRow("check " + std::to_string(megabytes) + " MB", ms,
                                  static_cast<double>(stdfs::file_size(file)) / (1024.0 * 1024.0));
        stdfs::remove(file);
        if (!ok) {
            std::fprintf(stderr, "the profile was not read\n");
            return 1;
        }
    }
    return 0;
}
