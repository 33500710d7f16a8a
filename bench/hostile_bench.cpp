// Time and memory growth of refusing (or reading) each hostile input, as a catalogue and as a
// description file. Each input runs in a child process of its own, so its growth is its own.
//   hostile_bench [folder for the generated inputs]
#include "catalogue/catalogue_file.h"
#include "child_measure.h"
#include "support/hostile_corpus.h"
#include "support/path_files.h"
#include "xml/description_reader.h"

#include <cstdio>
#include <filesystem>

int main(int argc, char **argv) {
    namespace stdfs = std::filesystem;
    // In the child: read one input as a catalogue or as a description.
    if (auto code = corvelan::bench::measureIfAsked(argc, argv, [](const auto &words) {
            const std::string as = words.at(0);
            const std::string path = words.at(1);
            return corvelan::bench::Task{
                {}, [as, path] {
                    if (as == "catalogue")
                        return corvelan::catalogue::CatalogueFile::load(path).ok();
                    return corvelan::test::readDescription(path).ok();
                }};
        }))
        return *code;
    const stdfs::path folder =
        argc > 1 ? stdfs::path(argv[1]) : stdfs::temp_directory_path() / "corvelan-hostile-bench";
    stdfs::create_directories(folder);
    std::printf("%-26s %-12s %10s %12s %s\n", "input", "as", "ms", "growth MiB", "outcome");
    bool withinBounds = true;
    for (const auto &c : corvelan::test::hostileCases()) {
        for (const bool asCatalogue : {true, false}) {
            const stdfs::path path = folder / (c.name + ".xml");
            corvelan::test::writeHostileCase(c, asCatalogue ? "DDXMLRepository" : "ISO15745Profile",
                                             path.string());
            const auto m = corvelan::bench::measureInChild(
                {asCatalogue ? "catalogue" : "description", path.string()});
            const bool expected = asCatalogue ? c.catalogueLoads : c.descriptionPasses;
            withinBounds = withinBounds && m.milliseconds < 1000 && m.growthMegabytes < 64 &&
                           m.result == expected;
            std::printf("%-26s %-12s %10.1f %12.1f %s\n", c.name.c_str(),
                        asCatalogue ? "catalogue" : "description", m.milliseconds,
                        m.growthMegabytes, m.result ? "read" : "refused");
            stdfs::remove(path);
        }
    }
    std::printf("%s\n", withinBounds ? "every input within 1 s and 64 MiB, with the right outcome"
                                     : "SOME INPUT WAS OUT OF BOUNDS");
    return withinBounds ? 0 : 1;
}
