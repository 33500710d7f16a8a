// The standard streams of the tool's console programs, and their command line.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace corvelan {

enum class Stream { Output, Error };

// Writes UTF-8 text to standard output or standard error as it is, byte for byte (no line end
// translation); to a Windows console as the characters it stands for. False when it could not
// be written.
bool writeStream(Stream stream, std::string_view utf8);

// The words of the command line after the program's name, as UTF-8 (on Windows from the wide
// command line, whatever the code page).
[[nodiscard]] std::vector<std::string> commandLineArguments(int argc, char **argv);

} // namespace corvelan
