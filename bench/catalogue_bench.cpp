// Load plus listing, and Install's edit plus save, on generated catalogues of 1,000 to 200,000
// entries. Sizes may be given, e.g. `catalogue_bench 100000`. Each size is measured in a process
// of its own (this program started again), so that the peak printed is that size's alone.
#include "catalogue/catalogue_file.h"
#include "generated_catalogue.h"
#include "platform/folder.h"
#include "platform/process.h"
#include "support/child.h"
#include "timing.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

using corvelan::Result;
using corvelan::catalogue::Catalogue;
using corvelan::catalogue::CatalogueFile;
namespace stdfs = std::filesystem;

// In the child: loads and lists the catalogue at `path` and edits and saves it, timing each.
int measureSize(int entries, const std::string &path) {
    const double megabytes = static_cast<double>(stdfs::file_size(path)) / (1024.0 * 1024.0);
    bool ok = true;
    const double load = corvelan::bench::fastestMilliseconds([&] {
        auto file = CatalogueFile::load(path);
        ok = ok && file && !file->catalogue().listing().empty();
    });
    corvelan::bench::printRow("load and list " + std::to_string(entries), load, megabytes);
    auto loaded = CatalogueFile::load(path);
    const std::string version = "2.0.0";
    namespace fs = corvelan::fs;
    auto folder = fs::Folder::open(fs::folderOf(path), fs::Links::Refuse);
    ok = ok && loaded.ok() && folder.ok();
    const double edit = corvelan::bench::fastestMilliseconds([&] {
        // As the install workflow does it, within the folder it holds and following no link:
        // plan, write the file from the bytes and the splices (checking it still holds them),
        // then make the change in memory. Each round replaces the entry the round before
        // installed.
        ok = ok && loaded
                       ->change(folder.value(), fs::nameOf(path),
                                [&](const Catalogue &c) { return c.planInstall(version); })
                       .ok();
    });
    corvelan::bench::printRow("edit and save " + std::to_string(entries), edit, megabytes);
    if (!ok) std::fprintf(stderr, "a load, edit or save failed\n");
    return ok ? 0 : 1;
}

} // namespace

int main(int argc, char **argv) {
    if (argc == 4 && std::string(argv[1]) == "--size")
        return measureSize(std::atoi(argv[2]), argv[3]);
    std::vector<int> sizes;
    for (int i = 1; i < argc; ++i)
        sizes.push_back(std::atoi(argv[i]));
    if (sizes.empty()) sizes = {1000, 10000, 100000, 200000};
    int failed = 0;
    for (const int entries : sizes) {
        const stdfs::path file =
            stdfs::temp_directory_path() / ("corvelan-bench-" + std::to_string(entries) + ".xml");
        std::ofstream(file, std::ios::binary) << corvelan::bench::generatedCatalogue(entries);
        const auto run =
            corvelan::test::runSelf({"--size", std::to_string(entries), file.string()});
        std::fputs(run.output.c_str(), stdout);
        std::fflush(stdout);
        stdfs::remove(file);
        if (run.exitCode != 0) failed = 1;
    }
    return failed;
}
