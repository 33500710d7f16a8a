// Time and memory growth of refusing (or reading) each hostile input, as a catalogue and as a
// description file. Each input runs in a child process of its own, so its growth is its own.
//   hostile_bench [folder for the generated inputs]
#include "catalogue/catalogue.h"
#include "support/hostile_corpus.h"
#include "xml/description_reader.h"

#include <chrono>
#include <cstdio>
#include <filesystem>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

long peakKilobytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

struct Measure {
    double milliseconds = 0;
    double growthMegabytes = 0;
    bool accepted = false;
};

// Runs `work` in a child and reports its time and peak memory growth through a pipe.
template <typename Work> Measure measure(Work work) {
    int out[2];
    if (::pipe(out) != 0) return {};
    if (::fork() == 0) {
        ::close(out[0]);
        const long before = peakKilobytes();
        const auto start = std::chrono::steady_clock::now();
        const bool accepted = work();
        Measure m;
        m.milliseconds =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
        m.growthMegabytes = static_cast<double>(peakKilobytes() - before) / 1024.0;
        m.accepted = accepted;
        [[maybe_unused]] auto n = ::write(out[1], &m, sizeof m);
        ::_exit(0);
    }
    ::close(out[1]);
    Measure m;
    [[maybe_unused]] auto n = ::read(out[0], &m, sizeof m);
    ::close(out[0]);
    ::wait(nullptr);
    return m;
}

} // namespace

int main(int argc, char **argv) {
    namespace stdfs = std::filesystem;
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
            const Measure m = measure([&] {
                if (asCatalogue) return corvelan::catalogue::Catalogue::load(path.string()).ok();
                return corvelan::xml::readDescription(path.string()).ok();
            });
            const bool expected = asCatalogue ? c.catalogueLoads : c.descriptionPasses;
            withinBounds = withinBounds && m.milliseconds < 1000 && m.growthMegabytes < 64 &&
                           m.accepted == expected;
            std::printf("%-26s %-12s %10.1f %12.1f %s\n", c.name.c_str(),
                        asCatalogue ? "catalogue" : "description", m.milliseconds,
                        m.growthMegabytes, m.accepted ? "read" : "refused");
            stdfs::remove(path);
        }
    }
    std::printf("%s\n", withinBounds ? "every input within 1 s and 64 MiB, with the right outcome"
                                     : "SOME INPUT WAS OUT OF BOUNDS");
    return withinBounds ? 0 : 1;
}
