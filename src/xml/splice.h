// Byte spans and splices over a document's bytes.
//
//   bytes:   ... <File a="1"/>\r\n<File b="2">..</File> </Root>
//                ^offset       ^offset+length
//   Span{offset, length} covers [offset, offset + length): for an element, from its '<' to just
//   past the '>' of its end tag (or of "/>" when it is empty). Offsets count input bytes, so a
//   BOM, CR LF and UTF-16 code units count in bytes.
//
// An edit is a list of splices; splicedPieces() says what the new bytes are made of, whether they
// are joined (applySplices), written out, or made where the old ones stand (DocumentBuffer).
#pragma once

#include <cstdint>
#include <span>
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

// The pieces the document with the splices applied is made of, in order: stretches of
// `document` and the splices' bytes, to be written one after the other. Splices in document
// order, not overlapping; the views point into `document` and `splices`.
[[nodiscard]] std::vector<std::string_view> splicedPieces(std::string_view document,
                                                          std::span<const Splice> splices);

// Where positions of a document go when splices in document order, not overlapping, are
// applied. A position inside a cut has nowhere to go; it is the caller's to skip.
//
//   before:  <R><A/><B/></R>        splices: cut <A/> (4 bytes at 3), insert <C/> at 11
//   after:   <R><B/><C/></R>        <B/>: start(7) = 3, end(11) = 7, the insert coming after it;
//                                    </R>: start(11) = 11
class SpliceShift {
public:
    // `splices` must outlive the shift.
    explicit SpliceShift(std::span<const Splice> splices);

    // The new position of a token that starts at `at`: moved by every splice that ends at or
    // before it, inserts at `at` included (they come before the token).
    [[nodiscard]] std::int64_t start(std::int64_t at) const;

    // The new position of the end of a token that ends at `at` (just past its last byte): moved
    // by every splice that ends at or before it and starts before it, so that an insert at `at`
    // comes after the token.
    [[nodiscard]] std::int64_t end(std::int64_t at) const;

private:
    std::span<const Splice> m_splices;
    std::vector<std::int64_t> m_ends;   // where each splice ends, in order
    std::vector<std::int64_t> m_deltas; // m_deltas[k]: what the first k splices add up to
};

} // namespace corvelan::xml
