#include "xml/document_buffer.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

namespace corvelan::xml {

DocumentBuffer::DocumentBuffer(std::string_view bytes) {
    resize(bytes.size());
    if (!bytes.empty()) std::memcpy(m_data.get(), bytes.data(), bytes.size());
}

DocumentBuffer::DocumentBuffer(const DocumentBuffer &other) : DocumentBuffer(other.view()) {}

DocumentBuffer &DocumentBuffer::operator=(const DocumentBuffer &other) {
    if (this != &other) *this = DocumentBuffer(other.view());
    return *this;
}

void DocumentBuffer::reserve(std::size_t capacity) {
    if (capacity <= m_capacity) return;
    memory::Block grown = memory::allocateBlock(capacity);
    if (m_size > 0) std::memcpy(grown.get(), m_data.get(), m_size);
    m_data = std::move(grown);
    m_capacity = capacity;
}

void DocumentBuffer::resize(std::size_t size) {
    if (size > m_capacity) reserve(std::max(size, m_capacity + m_capacity / 2));
    m_size = size;
}

void DocumentBuffer::splice(std::span<const Splice> splices) {
    std::int64_t grows = 0;
    for (const Splice &s : splices)
        grows += static_cast<std::int64_t>(s.bytes.size()) - s.length;
    const auto oldSize = static_cast<std::int64_t>(m_size);
    if (grows > 0) resize(static_cast<std::size_t>(oldSize + grows));
    char *bytes = m_data.get();
    // The stretch after splice k (k = -1: before the first) moves by what the splices before it
    // add up to. A stretch that moves left can only land on bytes of stretches to its left or of
    // splices, and one that moves right on those to its right: so the first are moved from left
    // to right, the second from right to left, and the splices' bytes written last.
    const auto count = static_cast<std::int64_t>(splices.size());
    std::vector<std::int64_t> shift(static_cast<std::size_t>(count) + 1, 0);
    for (std::int64_t k = 0; k < count; ++k)
        shift[k + 1] =
            shift[k] + static_cast<std::int64_t>(splices[k].bytes.size()) - splices[k].length;
    auto move = [&](std::int64_t k) {
        const std::int64_t from = k < 0 ? 0 : splices[k].offset + splices[k].length;
        const std::int64_t to = k + 1 < count ? splices[k + 1].offset : oldSize;
        const std::int64_t by = shift[k + 1];
        if (by != 0 && to > from)
            std::memmove(bytes + from + by, bytes + from, static_cast<std::size_t>(to - from));
    };
    for (std::int64_t k = -1; k < count; ++k)
        if (shift[k + 1] < 0) move(k);
    for (std::int64_t k = count - 1; k >= -1; --k)
        if (shift[k + 1] > 0) move(k);
    for (std::int64_t k = 0; k < count; ++k)
        if (!splices[k].bytes.empty())
            std::memcpy(bytes + splices[k].offset + shift[k], splices[k].bytes.data(),
                        splices[k].bytes.size());
    if (grows < 0) m_size = static_cast<std::size_t>(oldSize + grows);
}

} // namespace corvelan::xml
