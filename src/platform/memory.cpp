#include "platform/memory.h"

#include <new>

namespace corvelan::memory {

Block allocateBlock(std::size_t size) {
    void *block = allocateOnLargePages(size);
    if (!block) block = std::malloc(size == 0 ? 1 : size);
    if (!block) throw std::bad_alloc();
    return Block(static_cast<char *>(block));
}

} // namespace corvelan::memory
