#include "base/sha256.h"

#include <cstring>

namespace corvelan {
namespace {

constexpr std::array<std::uint32_t, 64> kRounds{
    0x428A2F98, 0x71374491, 0xB5C0FBCF, 0xE9B5DBA5, 0x3956C25B, 0x59F111F1, 0x923F82A4, 0xAB1C5ED5,
    0xD807AA98, 0x12835B01, 0x243185BE, 0x550C7DC3, 0x72BE5D74, 0x80DEB1FE, 0x9BDC06A7, 0xC19BF174,
    0xE49B69C1, 0xEFBE4786, 0x0FC19DC6, 0x240CA1CC, 0x2DE92C6F, 0x4A7484AA, 0x5CB0A9DC, 0x76F988DA,
    0x983E5152, 0xA831C66D, 0xB00327C8, 0xBF597FC7, 0xC6E00BF3, 0xD5A79147, 0x06CA6351, 0x14292967,
    0x27B70A85, 0x2E1B2138, 0x4D2C6DFC, 0x53380D13, 0x650A7354, 0x766A0ABB, 0x81C2C92E, 0x92722C85,
    0xA2BFE8A1, 0xA81A664B, 0xC24B8B70, 0xC76C51A3, 0xD192E819, 0xD6990624, 0xF40E3585, 0x106AA070,
    0x19A4C116, 0x1E376C08, 0x2748774C, 0x34B0BCB5, 0x391C0CB3, 0x4ED8AA4A, 0x5B9CCA4F, 0x682E6FF3,
    0x748F82EE, 0x78A5636F, 0x84C87814, 0x8CC70208, 0x90BEFFFA, 0xA4506CEB, 0xBEF9A3F7, 0xC67178F2};

constexpr std::uint32_t rotr(std::uint32_t x, int n) {
    return (x >> n) | (x << (32 - n));
}

} // namespace

void Sha256::compress(const std::uint8_t *block) {
    std::array<std::uint32_t, 64> w{};
    for (int i = 0; i < 16; ++i)
        w[i] = std::uint32_t{block[4 * i]} << 24 | std::uint32_t{block[4 * i + 1]} << 16 |
               std::uint32_t{block[4 * i + 2]} << 8 | std::uint32_t{block[4 * i + 3]};
    for (int i = 16; i < 64; ++i) {
        const std::uint32_t s0 = rotr(w[i - 15], 7) ^ rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
        const std::uint32_t s1 = rotr(w[i - 2], 17) ^ rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
        w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    auto [a, b, c, d, e, f, g, h] = m_state;
    for (int i = 0; i < 64; ++i) {
        const std::uint32_t t1 =
            h + (rotr(e, 6) ^ rotr(e, 11) ^ rotr(e, 25)) + ((e & f) ^ (~e & g)) + kRounds[i] + w[i];
        const std::uint32_t t2 =
            (rotr(a, 2) ^ rotr(a, 13) ^ rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
        h = g;
        g = f;
        f = e;
        e = d + t1;
        d = c;
        c = b;
        b = a;
        a = t1 + t2;
    }
    const std::array<std::uint32_t, 8> add{a, b, c, d, e, f, g, h};
    for (std::size_t i = 0; i < 8; ++i)
        m_state[i] += add[i];
}

void Sha256::add(std::string_view bytes) {
    const auto *in = reinterpret_cast<const std::uint8_t *>(bytes.data());
    std::size_t size = bytes.size();
    std::size_t used = static_cast<std::size_t>(m_length % 64);
    m_length += size;
    if (used > 0) {
        const std::size_t take = std::min(size, 64 - used);
        std::memcpy(m_block.data() + used, in, take);
        in += take;
        size -= take;
        if (used + take < 64) return;
        compress(m_block.data());
    }
    for (; size >= 64; in += 64, size -= 64)
        compress(in);
    if (size > 0) std::memcpy(m_block.data(), in, size);
}

std::string Sha256::hex() const {
    Sha256 last = *this;
    const std::uint64_t bits = m_length * 8;
    const std::size_t used = static_cast<std::size_t>(m_length % 64);
    // 0x80, zeros up to 56 bytes into a block, then the length in bits, big-endian.
    std::array<char, 72> tail{};
    tail[0] = static_cast<char>(0x80);
    const std::size_t zeros = (used < 56 ? 56 - used : 120 - used) - 1;
    for (int i = 0; i < 8; ++i)
        tail[1 + zeros + static_cast<std::size_t>(i)] = static_cast<char>(bits >> (56 - 8 * i));
    last.add(std::string_view(tail.data(), 1 + zeros + 8));
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    for (const std::uint32_t word : last.m_state)
        for (int shift = 28; shift >= 0; shift -= 4)
            out += kDigits[(word >> shift) & 0xF];
    return out;
}

} // namespace corvelan
