#pragma once
// The answers to --help and --version, where the user who asked sees them. A
// Windows program of the GUI subsystem has no console of its own.

#include <string_view>

namespace platform {

// --help, and on Windows its own /? as well (on Linux that is a path).
bool asksForHelp(std::string_view arg);

// Writes `text` (UTF-8, lines ending in \n) to the standard output; on
// Windows, without one, to the console the program was started from, or
// else in a message box titled `title`. False when it could not be written.
bool writeAnswer(std::string_view text, const char *title);

} // namespace platform
