// Any bytes as a catalogue: load (whole, and read in two parts), listing, Remove's edit and
// Install's edit. Every edit the tool accepts must parse again whole, hold the device entries it
// should, keep the bytes before the first splice and after the last, and carry the index a full
// parse of its bytes gives. An edit the fast path refuses must be one a full parse refuses too.
#include "catalogue/catalogue.h"
#include "xml/splice.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

using corvelan::catalogue::Catalogue;

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

// The catalogue an edit produced must be the one a full parse of its bytes gives.
void requireIndexOfAFullParse(const Catalogue &edited) {
    auto parsed = Catalogue::parse(edited.bytes());
    require(parsed.ok());
    require(parsed->entries().size() == edited.entries().size());
    require(parsed->shape().rootEndTag == edited.shape().rootEndTag);
    require(parsed->shape().rootStartTag == edited.shape().rootStartTag);
    for (size_t i = 0; i < edited.entries().size(); ++i) {
        const auto &a = edited.entries()[i];
        const auto &b = parsed->entries()[i];
        require(a.span() == b.span() && a.attributeCount == b.attributeCount &&
                edited.productId(a) == parsed->productId(b) &&
                edited.fileVersion(a) == parsed->fileVersion(b));
    }
}

// Checks one edit: `version` null for Remove, else Install of that version.
void checkEdit(const Catalogue &catalogue, const std::string *version) {
    auto edit = version ? catalogue.planInstall(*version) : catalogue.planRemoval();
    if (!edit) return; // refused: nothing to make
    std::vector<corvelan::xml::Splice> splices = edit->splices;
    // The edit as made in memory and a full parse of its bytes agree: an edit is planned only
    // when its result is well-formed.
    auto full = Catalogue::parse(corvelan::xml::applySplices(catalogue.bytes(), splices));
    require(full.ok());
    Catalogue fast = catalogue;
    fast.apply(std::move(edit).value());
    requireIndexOfAFullParse(fast);
    require(fast.bytes() == full->bytes());
    const auto &entries = fast.entries();
    const auto devices = std::count_if(entries.begin(), entries.end(),
                                       [&](const auto &e) { return fast.isDevice(e); });
    require(devices == (version ? 1 : 0));

    if (splices.empty()) {
        require(fast.bytes() == catalogue.bytes());
        return;
    }
    std::sort(splices.begin(), splices.end(),
              [](const auto &a, const auto &b) { return a.offset < b.offset; });
    const std::string_view before = catalogue.bytes();
    const std::string_view after = fast.bytes();
    const auto head = static_cast<std::size_t>(splices.front().offset);
    const auto tail =
        before.size() - static_cast<std::size_t>(splices.back().offset + splices.back().length);
    require(after.compare(0, head, before, 0, head) == 0);
    require(after.compare(after.size() - tail, tail, before, before.size() - tail, tail) == 0);
}

} // namespace

// The same document read as a file is, a few bytes at a time and in two parts from a small size
// on, must give what the parse of the whole gave.
void checkReadInParts(std::string_view bytes, const corvelan::Result<Catalogue> &whole) {
    const corvelan::xml::ReadAt read = [bytes](char *into, std::size_t want, std::uint64_t at) {
        const std::size_t got = at < bytes.size() ? std::min(want, bytes.size() - at) : 0;
        if (got > 0) std::memcpy(into, bytes.data() + at, got);
        return corvelan::Result<std::size_t>(got);
    };
    auto parts = Catalogue::read(read, bytes.size(), {3, 16});
    // Refused alike (expat may name another fault when it is given the bytes in pieces).
    require(parts.ok() == whole.ok());
    if (!whole) return;
    require(parts->bytes() == bytes);
    requireIndexOfAFullParse(parts.value());
    require(parts->entries().size() == whole->entries().size());
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char *>(data), size);
    auto catalogue = Catalogue::parse(bytes);
    checkReadInParts(bytes, catalogue);
    if (!catalogue) return 0;
    (void)catalogue->listing();
    checkEdit(catalogue.value(), nullptr);
    const std::string version = "1.0 <&\"\t\xC3\xA9\xE2\x82\xAC";
    checkEdit(catalogue.value(), &version);
    return 0;
}
