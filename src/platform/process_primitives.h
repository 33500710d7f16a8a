// What the platforms share about processes beyond platform/process.h. Only the platform layer
// includes this.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace corvelan::process {

// The environment `current` ("NAME=value" each) with the variables `added`, which replace those
// of the same name.
[[nodiscard]] std::vector<std::string> withVariables(const std::vector<std::string> &current,
                                                     const std::vector<std::string> &added);

// A block of `size` bytes on the system's large pages, to be freed with std::free; null where the
// system does not offer them for a block of that size.
[[nodiscard]] void *allocateOnLargePages(std::size_t size);

} // namespace corvelan::process
