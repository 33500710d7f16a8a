// Memory for large documents.
#pragma once

#include <cstdlib>
#include <memory>

namespace corvelan::memory {

// A block of memory whose pages are only touched as they are written.
struct BlockDeleter {
    void operator()(char *block) const noexcept { std::free(block); }
};
using Block = std::unique_ptr<char[], BlockDeleter>;

// A block of `size` bytes; a large one on the system's large pages where it offers them, so that
// filling it costs fewer page faults. Throws std::bad_alloc when there is no memory for it.
[[nodiscard]] Block allocateBlock(std::size_t size);

// What each platform supplies: a block of `size` bytes on the system's large pages, to be freed
// with std::free; null where the system does not offer them for a block of that size.
[[nodiscard]] void *allocateOnLargePages(std::size_t size);

} // namespace corvelan::memory
