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

    // The edit that moves the index along must agree with the parse of its result.
    const std::string version = "2.0";
    auto moved = catalogue->withDeviceEntries(&version);
    if (!moved) std::abort();
    auto reparsed = Catalogue::parse(moved->bytes());
    if (!reparsed || reparsed->entries().size() != moved->entries().size() ||
        reparsed->shape().rootEndTag != moved->shape().rootEndTag)
        std::abort();
    for (size_t i = 0; i < moved->entries().size(); ++i) {
        const auto &a = moved->entries()[i];
        const auto &b = reparsed->entries()[i];
        if (a.span != b.span || a.attributeCount != b.attributeCount ||
            a.productId != b.productId || a.fileVersion != b.fileVersion)
            std::abort();
    }
    return 0;
}
