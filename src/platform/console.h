// The process's standard output, for the tool's console programs.
#pragma once

#include <string_view>

namespace corvelan {

// Writes UTF-8 text to standard output as it is, byte for byte (no line end translation); to a
// Windows console as the characters it stands for. False when it could not be written.
bool writeStandardOutput(std::string_view utf8);

} // namespace corvelan
