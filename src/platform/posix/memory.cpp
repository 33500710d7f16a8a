#include "platform/memory.h"

#include <cstdlib>

#include <sys/mman.h>

namespace corvelan::memory {

void *allocateOnLargePages(std::size_t size) {
    // Transparent huge pages are given to aligned blocks that ask for them: a 50 MB document
    // then fills with a few dozen faults instead of twelve thousand.
    constexpr std::size_t kLargePage = std::size_t{2} << 20;
    if (size < 2 * kLargePage) return nullptr;
    const std::size_t rounded = (size + kLargePage - 1) & ~(kLargePage - 1);
    void *block = std::aligned_alloc(kLargePage, rounded);
    if (block) ::madvise(block, rounded, MADV_HUGEPAGE); // advice: a refusal changes nothing
    return block;
}

} // namespace corvelan::memory
