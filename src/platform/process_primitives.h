// What the platforms share about processes beyond platform/process.h. Only the platform layer
// includes this.
#pragma once

#include <string>
#include <vector>

namespace corvelan::process {

// The environment `current` ("NAME=value" each) with the variables `added`, which replace those
// of the same name.
[[nodiscard]] std::vector<std::string> withVariables(const std::vector<std::string> &current,
                                                     const std::vector<std::string> &added);

} // namespace corvelan::process
