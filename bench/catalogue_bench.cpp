// Load plus listing, and remove plus append plus save, on generated catalogues.
// Run one size per process for a clean peak-memory figure, e.g.
//   catalogue_bench --benchmark_filter='/100000'
#include "catalogue/catalogue.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <sys/resource.h>

namespace {

using corvelan::catalogue::Catalogue;

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

double peakMegabytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

std::filesystem::path writeCatalogue(int entries) {
    const auto path = std::filesystem::temp_directory_path() /
                      ("corvelan-bench-" + std::to_string(entries) + ".xml");
    std::ofstream(path, std::ios::binary) << makeCatalogue(entries);
    return path;
}

void loadAndList(benchmark::State &state) {
    const auto path = writeCatalogue(static_cast<int>(state.range(0)));
    const auto size = std::filesystem::file_size(path);
    for (auto _ : state) {
        auto catalogue = Catalogue::load(path.string());
        if (!catalogue) state.SkipWithError(catalogue.error().message().c_str());
        auto lines = catalogue->listing();
        benchmark::DoNotOptimize(lines.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
    state.counters["peak_MB"] = peakMegabytes();
    std::filesystem::remove(path);
}

void removeAppendSave(benchmark::State &state) {
    const auto path = writeCatalogue(static_cast<int>(state.range(0)));
    const auto size = std::filesystem::file_size(path);
    auto catalogue = Catalogue::load(path.string());
    const std::string version = "2.0.0";
    for (auto _ : state) {
        // Each round starts from the loaded catalogue, as an install does.
        auto edited = catalogue->withDeviceEntries(&version);
        if (!edited || !edited->saveTo(path.string()).ok())
            state.SkipWithError("edit or save failed");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
    state.counters["peak_MB"] = peakMegabytes();
    std::filesystem::remove(path);
}

} // namespace

BENCHMARK(loadAndList)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(removeAppendSave)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
