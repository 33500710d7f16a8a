#include "xml/splice.h"

#include <algorithm>
#include <cassert>

namespace corvelan::xml {

std::string applySplices(std::string_view document, std::vector<Splice> splices) {
    std::stable_sort(splices.begin(), splices.end(),
                     [](const Splice &a, const Splice &b) { return a.offset < b.offset; });
    std::string out;
    for (std::string_view piece : splicedPieces(document, splices))
        out.append(piece);
    return out;
}

std::vector<std::string_view> splicedPieces(std::string_view document,
                                            std::span<const Splice> splices) {
    std::vector<std::string_view> pieces;
    pieces.reserve(splices.size() * 2 + 1);
    std::int64_t at = 0;
    for (const Splice &s : splices) {
        assert(s.offset >= at && "splices overlap");
        assert(s.offset + s.length <= static_cast<std::int64_t>(document.size()));
        pieces.push_back(
            document.substr(static_cast<std::size_t>(at), static_cast<std::size_t>(s.offset - at)));
        pieces.emplace_back(s.bytes);
        at = s.offset + s.length;
    }
    pieces.push_back(document.substr(static_cast<std::size_t>(at)));
    return pieces;
}

SpliceShift::SpliceShift(std::span<const Splice> splices) : m_splices(splices) {
    m_ends.reserve(splices.size());
    m_deltas.reserve(splices.size() + 1);
    m_deltas.push_back(0);
    for (const Splice &s : splices) {
        assert(m_ends.empty() || s.offset >= m_ends.back());
        m_ends.push_back(s.offset + s.length);
        m_deltas.push_back(m_deltas.back() + static_cast<std::int64_t>(s.bytes.size()) - s.length);
    }
}

std::int64_t SpliceShift::start(std::int64_t at) const {
    const auto k = std::upper_bound(m_ends.begin(), m_ends.end(), at) - m_ends.begin();
    return at + m_deltas[static_cast<std::size_t>(k)];
}

std::int64_t SpliceShift::end(std::int64_t at) const {
    auto k = static_cast<std::size_t>(std::upper_bound(m_ends.begin(), m_ends.end(), at) -
                                      m_ends.begin());
    while (k > 0 && m_splices[k - 1].offset >= at)
        --k;
    return at + m_deltas[k];
}

} // namespace corvelan::xml
