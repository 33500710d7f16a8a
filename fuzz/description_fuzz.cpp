// Any bytes as a description file: the streamed reader must never crash or leak, and must give
// the same facts whatever the piece sizes.
#include "xml/description_reader.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char *>(data), size);
    auto facts = corvelan::xml::readDescriptionBytes(bytes);
    if (facts && facts->rootIsProfile && facts->productName &&
        facts->productName->size() > bytes.size() * 100)
        std::abort(); // the text cannot outgrow the bounded entity expansion
    return 0;
}
