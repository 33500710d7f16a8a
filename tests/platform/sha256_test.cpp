#include "base/sha256.h"

#include <gtest/gtest.h>

#include <string>

namespace corvelan {
namespace {

// Bytes 1, 8, 15, ... (mod 256): every value, at every place in a block.
std::string pattern(std::size_t size) {
    std::string out;
    for (std::size_t i = 0; i < size; ++i)
        out += static_cast<char>((i * 7 + 1) % 256);
    return out;
}

std::string sha256(std::string_view bytes) {
    Sha256 digest;
    digest.add(bytes);
    return digest.hex();
}

TEST(Sha256, GivesTheStandardsDigests) {
    const struct {
        std::string bytes;
        const char *hex;
    } cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(1'000'000, 'a'),
         "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
        // Each side of the edges of padding: the length in the last block or in one more.
        {pattern(55), "16fa57a0a3423a715d594516339f36189d6b5f93754a9714fef202616a9fabfe"},
        {pattern(56), "c37b44e5f1b18554b36966f4f8e08bfbf3164c4b6c10374d12d89850892073c5"},
        {pattern(63), "bbba992d2c85af960fb2987a1fd05e0aa82a3db3c740dd8982a9e273b75e36a3"},
        {pattern(64), "66bd4633ed6f71c4ecfa4763bf7ba1c8ec7612de9aa6c0578a7b675207c71e0b"},
        {pattern(65), "9f7dc47107b750a1f3d35db5d9547f24ef40da5b731b9540d4f43710a154f6c9"},
        {pattern(119), "a3ed307b730fa77c07531300c6e4a282330011d4d4caf6bb7b63ae05950f4b66"},
        {pattern(120), "8e3b15d9fea7472655aa069620b7f8c2e55ee1499f763200a7515fe826e99d20"},
    };
    for (const auto &tc : cases)
        EXPECT_EQ(sha256(tc.bytes), tc.hex) << tc.bytes.size() << " bytes";
}

TEST(Sha256, PiecesCutAnywhereGiveTheDigestOfTheWhole) {
    const std::string bytes = pattern(200);
    const std::string whole = sha256(bytes);
    for (std::size_t first = 0; first <= bytes.size(); ++first) {
        Sha256 digest;
        digest.add(std::string_view(bytes).substr(0, first));
        EXPECT_EQ(digest.length(), first);
        // What is asked for in between does not change what follows.
        (void)digest.hex();
        for (std::size_t at = first; at < bytes.size(); at += 3)
            digest.add(std::string_view(bytes).substr(at, 3));
        ASSERT_EQ(digest.hex(), whole) << "cut at " << first;
    }
}

} // namespace
} // namespace corvelan
