#include "xml/splice.h"

#include <algorithm>
#include <cassert>

namespace corvelan::xml {

std::string applySplices(std::string_view document, std::vector<Splice> splices) {
    std::stable_sort(splices.begin(), splices.end(),
                     [](const Splice &a, const Splice &b) { return a.offset < b.offset; });
    std::int64_t grows = 0;
    for (const Splice &s : splices)
        grows += static_cast<std::int64_t>(s.bytes.size()) - s.length;
    std::string out;
    out.reserve(static_cast<size_t>(static_cast<std::int64_t>(document.size()) + grows));
    std::int64_t at = 0;
    for (const Splice &s : splices) {
        assert(s.offset >= at && "splices overlap");
        assert(s.offset + s.length <= static_cast<std::int64_t>(document.size()));
        out.append(document.substr(static_cast<size_t>(at), static_cast<size_t>(s.offset - at)));
        out.append(s.bytes);
        at = s.offset + s.length;
    }
    out.append(document.substr(static_cast<size_t>(at)));
    return out;
}

} // namespace corvelan::xml
