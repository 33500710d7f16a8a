// The description check on large description files: time and peak memory, which must not grow
// with the file. Run one size per process for a clean peak, e.g.
//   description_bench --benchmark_filter='/200'
#include "xml/description_reader.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <string>

#include <sys/resource.h>

namespace {

// A profile of about `megabytes` MB: the identity first, then filler parameters.
std::filesystem::path writeProfile(int megabytes) {
    const auto path = std::filesystem::temp_directory_path() /
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

void checkDescription(benchmark::State &state) {
    const auto path = writeProfile(static_cast<int>(state.range(0)));
    const auto size = std::filesystem::file_size(path);
    for (auto _ : state) {
        auto facts = corvelan::xml::readDescription(path.string());
        if (!facts || facts->productName != "QVXTSR7700")
            state.SkipWithError("the profile was not read");
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
    state.counters["peak_MB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
    std::filesystem::remove(path);
}

} // namespace

BENCHMARK(checkDescription)->Arg(1)->Arg(200)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
