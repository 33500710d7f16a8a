// SHA-256 (FIPS 180-4) of a byte stream, for naming a file in the system's log the way IT tools
// name it (Get-FileHash, sha256sum).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace corvelan {

class Sha256 {
public:
    // Adds the next bytes of the stream; the pieces may be cut anywhere.
    void add(std::string_view bytes);
    // How many bytes were added.
    [[nodiscard]] std::uint64_t length() const { return m_length; }
    // The digest of everything added so far, as 64 lower-case hexadecimal digits; more may be
    // added after.
    [[nodiscard]] std::string hex() const;

private:
    void compress(const std::uint8_t *block);

    std::array<std::uint32_t, 8> m_state{0x6A09E667, 0xBB67AE85, 0x3C6EF372, 0xA54FF53A,
                                         0x510E527F, 0x9B05688C, 0x1F83D9AB, 0x5BE0CD19};
    std::array<std::uint8_t, 64> m_block{};
    std::uint64_t m_length = 0;
};

} // namespace corvelan
