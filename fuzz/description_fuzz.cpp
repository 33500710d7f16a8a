// Any bytes as a description file: the streamed reader must never crash or leak, and must give
// the same facts whatever the piece sizes.
#include "xml/description_reader.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char *>(data), size);
    // Cut where the first byte says, so that tokens split across pieces are met too.
    const std::size_t cut = size == 0 ? 1 : 1 + data[0];
    auto facts =
        corvelan::xml::readDescription([&](std::size_t, const corvelan::xml::PieceHandler &piece) {
            for (std::size_t at = 0; at < bytes.size(); at += cut)
                if (auto s = piece(bytes.substr(at, cut), false); !s) return s;
            return piece({}, true);
        });
    if (facts && facts->rootIsProfile && facts->productName &&
        facts->productName->size() > bytes.size() * 100)
        std::abort(); // the text cannot outgrow the bounded entity expansion
    return 0;
}
