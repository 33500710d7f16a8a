// Any bytes as a catalogue: load, listing, remove plus append. A planned edit of a catalogue with
// a repository root must succeed, parse again, hold one device entry, and keep every byte outside
// the edited spans.
#include "catalogue/catalogue.h"
#include "xml/splice.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

using corvelan::catalogue::Catalogue;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    auto catalogue = Catalogue::parse(std::string(reinterpret_cast<const char *>(data), size));
    if (!catalogue) return 0;
    (void)catalogue->listing();
    auto removal = catalogue->planRemoveDeviceEntries();
    auto insert = catalogue->planAppendDeviceEntry("1.0 <&\"\t\xC3\xA9\xE2\x82\xAC");
    if (!removal || !insert) return 0;
    std::vector<corvelan::xml::Splice> splices = removal.value();
    splices.push_back(insert.value());
    std::sort(splices.begin(), splices.end(),
              [](const auto &a, const auto &b) { return a.offset < b.offset; });
    auto edited = catalogue->edited(splices);
    if (!edited) std::abort(); // a planned edit must leave a well-formed catalogue
    const auto &entries = edited->entries();
    if (std::count_if(entries.begin(), entries.end(), [](const auto &e) { return e.isDevice(); }) !=
        1)
        std::abort();

    // Untouched: everything before the first splice and after the last.
    const std::string &before = catalogue->bytes();
    const std::string &after = edited->bytes();
    const auto head = static_cast<std::size_t>(splices.front().offset);
    const auto tail =
        before.size() - static_cast<std::size_t>(splices.back().offset + splices.back().length);
    if (after.compare(0, head, before, 0, head) != 0 ||
        after.compare(after.size() - tail, tail, before, before.size() - tail, tail) != 0)
        std::abort();
    return 0;
}
