// The bytes of a document held once: grown without writing what is not read yet (a large file's
// pages are only touched as they are filled), and edited where they are.
#pragma once

#include "platform/memory.h"
#include "xml/splice.h"

#include <cstddef>
#include <memory>
#include <span>
#include <string_view>

namespace corvelan::xml {

class DocumentBuffer {
public:
    DocumentBuffer() = default;
    explicit DocumentBuffer(std::string_view bytes);
    DocumentBuffer(DocumentBuffer &&) noexcept = default;
    DocumentBuffer &operator=(DocumentBuffer &&) noexcept = default;
    DocumentBuffer(const DocumentBuffer &other);
    DocumentBuffer &operator=(const DocumentBuffer &other);

    [[nodiscard]] std::string_view view() const { return {m_data.get(), m_size}; }
    [[nodiscard]] char *data() { return m_data.get(); }
    [[nodiscard]] std::size_t size() const { return m_size; }

    // Makes room for `capacity` bytes; what it holds stays.
    void reserve(std::size_t capacity);
    // Sets the size; bytes beyond the old size are not written (the caller fills them).
    void resize(std::size_t size);

    // Applies `splices` (in document order, not overlapping) where the bytes are: no second copy
    // of the document is made, but when it must grow beyond its room.
    void splice(std::span<const Splice> splices);

private:
    memory::Block m_data;
    std::size_t m_size = 0;
    std::size_t m_capacity = 0;
};

} // namespace corvelan::xml
