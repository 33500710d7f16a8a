// Byte spans and splices over a document's bytes.
//
//   bytes:   ... <File a="1"/>\r\n<File b="2">..</File> </Root>
//                ^offset       ^offset+length
//   Span{offset, length} covers [offset, offset + length): for an element, from its '<' to just
//   past the '>' of its end tag (or of "/>" when it is empty). Offsets count input bytes, so a
//   BOM, CR LF and UTF-16 code units count in bytes.
//
// An edit is a list of splices; applySplices() is the one place that makes the new bytes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace corvelan::xml {

struct Span {
    std::int64_t offset = 0;
    std::int64_t length = 0;

    [[nodiscard]] std::int64_t end() const { return offset + length; }
    [[nodiscard]] bool contains(const Span &other) const {
        return other.offset >= offset && other.end() <= end();
    }
    friend bool operator==(const Span &, const Span &) = default;
};

// Replace `length` bytes at `offset` with `bytes` (length 0: insert; empty bytes: cut).
struct Splice {
    std::int64_t offset = 0;
    std::int64_t length = 0;
    std::string bytes;

    friend bool operator==(const Splice &, const Splice &) = default;
};

// The document with the splices applied. Splices must lie inside the document and must not
// overlap; they may come in any order. Two inserts at one offset apply in the given order.
[[nodiscard]] std::string applySplices(std::string_view document, std::vector<Splice> splices);

} // namespace corvelan::xml
