#include "platform/memory.h"

namespace corvelan::memory {

void *allocateOnLargePages(std::size_t) {
    return nullptr; // large pages need a privilege users do not have
}

} // namespace corvelan::memory
