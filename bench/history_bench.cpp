// What the way back costs on generated catalogues of 1,000 and 100,000 entries (sizes may be
// given, e.g. `history_bench 200000`): an install as the tool makes it, which keeps a generation
// first; a restore, which checks a generation, keeps one and puts the device's part back; the
// listing of the history; and how big a generation and the whole history are. Each size is
// measured in a process of its own, so that the peak printed is that size's alone.
#include "generated_catalogue.h"
#include "support/child.h"
#include "support/recording_view.h"
#include "support/repository.h"
#include "support/scripted_boxes.h"
#include "timing.h"
#include "workflows/history.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using namespace corvelan;
using workflows::Outcome;
namespace stdfs = std::filesystem;

std::uintmax_t bytesUnder(const stdfs::path &folder, int &files) {
    std::uintmax_t bytes = 0;
    for (const auto &entry : stdfs::recursive_directory_iterator(folder))
        if (entry.is_regular_file()) {
            bytes += entry.file_size();
            ++files;
        }
    return bytes;
}

int measureSize(int entries) {
    test::Repository repo(bench::generatedCatalogue(entries));
    const double megabytes =
        static_cast<double>(stdfs::file_size(repo.prefix.catalogueFile())) / (1024.0 * 1024.0);
    workflows::UpdateSession session = repo.session();
    test::RecordingView view;
    test::ScriptedBoxes boxes;
    session.startUp(view);
    for (const char *version : {"2.0", "3.0"})
        test::writeFile(repo.prefix / ("drive_c/" + std::string(version) + ".xml"),
                        test::description(version));
    bool ok = session.installDtm("C:\\2.0.xml", view, boxes) == Outcome::Done; // the original
    int round = 0;
    const double install = bench::fastestMilliseconds([&] {
        // Each round installs the other version, so that each changes the catalogue.
        const std::string file = ++round % 2 ? "C:\\3.0.xml" : "C:\\2.0.xml";
        ok = ok && session.installDtm(file, view, boxes) == Outcome::Done;
    });
    bench::printRow("install, history kept " + std::to_string(entries), install, megabytes);
    const double restore = bench::fastestMilliseconds([&] {
        // The newest generation: each restore undoes the one before, so each changes something.
        ok = ok && session.restore(std::nullopt, view, boxes) == Outcome::Done;
    });
    bench::printRow("restore " + std::to_string(entries), restore, megabytes);
    std::size_t generations = 0;
    const double listing =
        bench::fastestMilliseconds([&] { generations = session.history().size(); });
    bench::printRow("list the history " + std::to_string(entries), listing, 0);

    const std::vector<workflows::Generation> kept = session.history();
    ok = ok && !kept.empty();
    const std::string history = repo.prefix.drives().hostPath(workflows::kHistoryDir).value();
    int files = 0;
    const std::uintmax_t newest =
        ok ? bytesUnder(stdfs::path(history) / std::to_string(kept.front().number), files) : 0;
    int allFiles = 0;
    const std::uintmax_t all = bytesUnder(history, allFiles);
    std::printf("%-32s %10ju bytes in %d files (the catalogue: %.1f MB)\n",
                ("a generation " + std::to_string(entries)).c_str(), newest, files, megabytes);
    std::printf("%-32s %10ju bytes in %zu generations\n",
                ("the history " + std::to_string(entries)).c_str(), all, generations);
    if (!ok) std::fprintf(stderr, "an install or a restore failed\n");
    return ok ? 0 : 1;
}

} // namespace

int main(int argc, char **argv) {
    if (argc == 3 && std::string(argv[1]) == "--size") return measureSize(std::atoi(argv[2]));
    std::vector<int> sizes;
    for (int i = 1; i < argc; ++i)
        sizes.push_back(std::atoi(argv[i]));
    if (sizes.empty()) sizes = {1000, 100000};
    int failed = 0;
    for (const int entries : sizes) {
        const auto run = corvelan::test::runSelf({"--size", std::to_string(entries)});
        std::fputs(run.output.c_str(), stdout);
        std::fflush(stdout);
        if (run.exitCode != 0) failed = 1;
    }
    return failed;
}
