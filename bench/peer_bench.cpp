// The tool against a libxml2 DOM doing the same job, on the same generated catalogues:
// load plus listing, and install's catalogue work (remove, append, durable atomic save).
// Every run is a child process of its own, so its peak memory is its own.
//   peer_bench [entries ...]        (default: 1000 10000 200000)
#include "catalogue/catalogue_file.h"
#include "child_measure.h"
#include "dom_peer.h"
#include "untouched_bytes.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

using corvelan::catalogue::Catalogue;
using corvelan::catalogue::CatalogueFile;
namespace stdfs = std::filesystem;

// About 250 bytes an entry with 12 attributes, UTF-8 with CRLF; every 1000th is the device's.
std::string makeCatalogue(int entries) {
    std::string xml = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<DDXMLRepository>\r\n";
    for (int i = 0; i < entries; ++i) {
        const std::string n = std::to_string(i);
        const bool device = i % 1000 == 500;
        xml += "<File DDXMLFile=\"D" + n + ".xml\" Filename=\"D" + n + ".xml\" Fileversion=\"1." +
               n + "\" ProductName=\"P" + n + "\" Vendorname=\"42\" ProductID=\"" +
               (device ? std::string("QVX TSR 7700") : "Product " + n) + "\" ImageLarge=\"p/" + n +
               ".jpg\" ImageSmall=\"p/" + n + "s.ico\" ImageIcon=\"p/" + n +
               "l.ico\" CompanyLogo=\"p/v.jpg\" ImageCompanyIcon=\"p/v.ico\" CAPPLogo=\"p/"
               "TA.jpg\"/>\r\n";
    }
    return xml + "</DDXMLRepository>\r\n";
}

std::string readAll(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

using corvelan::bench::Measure;
using corvelan::bench::Task;

// The work a child measures: `words` are the task, the catalogue's path and its entry count.
Task taskOf(const std::vector<std::string> &words) {
    const std::string &task = words.at(0);
    const std::string path = words.at(1);
    const auto entries = static_cast<size_t>(std::stoul(words.at(2)));
    if (task == "tool-list")
        return {{}, [=] {
                    auto c = CatalogueFile::load(path);
                    return c && c->catalogue().listing().size() == entries;
                }};
    if (task == "peer-list")
        return {{}, [=] {
                    corvelan::bench::DomCatalogue dom;
                    return dom.load(path) && dom.listing().size() == entries;
                }};
    if (task == "tool-install") {
        // As the install workflow does it: plan, write the file from the bytes and the splices,
        // then make the change in memory.
        auto loaded = std::make_shared<std::optional<CatalogueFile>>();
        return {[=] { *loaded = CatalogueFile::load(path).value(); },
                [=] {
                    namespace fs = corvelan::fs;
                    auto folder = fs::Folder::open(fs::folderOf(path));
                    return folder &&
                           (*loaded)
                               ->change(folder.value(), fs::nameOf(path),
                                        [](const Catalogue &c) { return c.planInstall("2.0"); })
                               .ok();
                }};
    }
    auto dom = std::make_shared<corvelan::bench::DomCatalogue>();
    return {[=] { dom->load(path); }, [=] { return dom->install("2.0", path); }};
}

} // namespace

int main(int argc, char **argv) {
    if (auto code = corvelan::bench::measureIfAsked(argc, argv, taskOf)) return *code;
    std::vector<int> sizes;
    for (int i = 1; i < argc; ++i)
        sizes.push_back(std::atoi(argv[i]));
    if (sizes.empty()) sizes = {1000, 10000, 200000};
    const std::string path = (stdfs::temp_directory_path() / "corvelan-peer-bench.xml").string();

    std::printf("%-9s %7s  %-22s %10s %10s %10s\n", "entries", "MB", "work", "tool", "peer",
                "ratio");
    for (const int entries : sizes) {
        const std::string original = makeCatalogue(entries);
        const double megabytes = static_cast<double>(original.size()) / 1e6;
        auto restore = [&] { std::ofstream(path, std::ios::binary) << original; };
        // Every measure starts from the original file, as the first install of a session does.
        auto fastest = [&](const std::string &task) {
            Measure best{1e18, 0, false};
            for (int run = 0; run < 3; ++run) {
                restore();
                const Measure m =
                    corvelan::bench::measureInChild({task, path, std::to_string(entries)});
                if (!m.result) {
                    std::fprintf(stderr, "%s failed on %d entries\n", task.c_str(), entries);
                    std::exit(1);
                }
                if (m.milliseconds < best.milliseconds) best = m;
            }
            return best;
        };
        const Measure toolList = fastest("tool-list");
        const Measure peerList = fastest("peer-list");
        const Measure toolInstall = fastest("tool-install");
        const long long toolChanged =
            corvelan::bench::untouchedBytesChanged(original, readAll(path), true);
        const Measure peerInstall = fastest("peer-install");
        const long long peerChanged =
            corvelan::bench::untouchedBytesChanged(original, readAll(path), true);

        auto row = [&](const char *work, double tool, double peer, const char *unit) {
            std::printf("%-9d %7.1f  %-22s %8.1f%s %8.1f%s %9.2fx\n", entries, megabytes, work,
                        tool, unit, peer, unit, peer / std::max(tool, 1e-9));
        };
        row("load+listing time", toolList.milliseconds, peerList.milliseconds, "ms");
        row("load+listing peak", toolList.growthMegabytes, peerList.growthMegabytes, "MB");
        row("install time", toolInstall.milliseconds, peerInstall.milliseconds, "ms");
        row("install peak", toolInstall.growthMegabytes, peerInstall.growthMegabytes, "MB");
        std::printf("%-9d %7.1f  %-22s %10lld %10lld\n", entries, megabytes,
                    "untouched bytes changed", toolChanged, peerChanged);
    }
    stdfs::remove(path);
    return 0;
}
