#include "platform/code_pages.h"

#include <cerrno>
#include <string>

#include <iconv.h>

namespace corvelan {

std::optional<std::array<std::int32_t, 256>> singleByteEncoding(std::string_view name) {
    const iconv_t cd = ::iconv_open("UTF-32LE", std::string(name).c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
    std::array<std::int32_t, 256> table{};
    bool singleByte = true;
    for (int b = 0; b < 256 && singleByte; ++b) {
        char in = static_cast<char>(b);
        unsigned char out[16];
        char *inPtr = &in;
        auto *outPtr = reinterpret_cast<char *>(out);
        size_t inLeft = 1;
        size_t outLeft = sizeof out;
        ::iconv(cd, nullptr, nullptr, nullptr, nullptr); // back to the initial state
        if (::iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1)) {
            // EILSEQ: a byte the encoding does not define. EINVAL: the first byte of a longer
            // sequence, so not a single-byte encoding.
            if (errno == EILSEQ) {
                table[b] = -1;
                continue;
            }
            singleByte = false;
            break;
        }
        // One byte must give exactly one character; none means a shift into another state.
        if (sizeof out - outLeft != 4) {
            singleByte = false;
            break;
        }
        table[b] = static_cast<std::int32_t>(out[0] | out[1] << 8 | out[2] << 16 | out[3] << 24);
    }
    ::iconv_close(cd);
    if (!singleByte) return std::nullopt;
    return table;
}

} // namespace corvelan
