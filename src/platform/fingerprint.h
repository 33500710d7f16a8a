// A 64-bit fingerprint of a byte stream, to tell whether two reads of a file gave the same bytes.
// It catches accidental change (another program writing the file), not a forger: it is no
// cryptographic hash.
#pragma once

#include <cstdint>
#include <string_view>

namespace corvelan::fs {

class Fingerprint {
public:
    // Adds the next bytes of the stream; the pieces may be cut anywhere.
    void add(std::string_view bytes);
    // The fingerprint of everything added so far.
    [[nodiscard]] std::uint64_t value() const;

private:
    void mix(std::uint64_t word);

    std::uint64_t m_state = 0x6A09E667F3BCC908ULL;
    std::uint64_t m_length = 0;
    std::uint64_t m_pending = 0; // the last length % 8 bytes, not yet mixed
};

} // namespace corvelan::fs
