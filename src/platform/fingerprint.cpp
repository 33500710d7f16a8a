#include "platform/fingerprint.h"

namespace corvelan::fs {
namespace {

constexpr std::uint64_t kPrime1 = 0x9E3779B185EBCA87ULL;
constexpr std::uint64_t kPrime2 = 0xC2B2AE3D27D4EB4FULL;

std::uint64_t rotate(std::uint64_t x, int bits) {
    return (x << bits) | (x >> (64 - bits));
}

} // namespace

void Fingerprint::mix(std::uint64_t word) {
    m_state ^= rotate(word * kPrime2, 31) * kPrime1;
    m_state = rotate(m_state, 27) * kPrime1 + 0x85EBCA77C2B2AE63ULL;
}

void Fingerprint::add(std::string_view bytes) {
    const char *p = bytes.data();
    size_t left = bytes.size();
    auto used = static_cast<unsigned>(m_length % 8);
    m_length += left;
    // Complete the word a previous piece began.
    while (used != 0 && left > 0) {
        m_pending |= std::uint64_t{static_cast<unsigned char>(*p++)} << (8 * used);
        --left;
        if (++used == 8) {
            mix(m_pending);
            m_pending = 0;
            used = 0;
        }
    }
    for (; left >= 8; p += 8, left -= 8) {
        std::uint64_t word = 0;
        for (int k = 7; k >= 0; --k)
            word = (word << 8) | static_cast<unsigned char>(p[k]);
        mix(word);
    }
    for (size_t k = 0; k < left; ++k)
        m_pending |= std::uint64_t{static_cast<unsigned char>(p[k])} << (8 * k);
}

std::uint64_t Fingerprint::value() const {
    std::uint64_t h = m_state ^ (m_pending * kPrime1) ^ (m_length * kPrime2);
    h ^= h >> 33;
    h *= kPrime2;
    h ^= h >> 29;
    h *= 0x165667B19E3779F9ULL;
    h ^= h >> 32;
    return h;
}

} // namespace corvelan::fs
