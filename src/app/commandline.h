#pragma once

#include <cstdio>
#include <optional>

namespace kelvo {

// Answers --version and --help, and refuses any other argument, before anything needs a display.
// Returns the status to exit with at once, or nothing when Kelvo should start (no arguments).
std::optional<int> handleCommandLine(int argc, const char* const argv[], std::FILE* out,
                                     std::FILE* err);

} // namespace kelvo
