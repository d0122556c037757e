#pragma once
// --help and --version of the window programs, answered before any window system is
// touched, so that they work on a terminal without a display.

#include <iosfwd>
#include <optional>

namespace appinfo {

struct ProgramInfo
{
    const char *name;
    const char *summary;
};

// The exit code when the command line asks for help or the version (its answer written
// to `out`), nothing when the program should start as usual.
std::optional<int> answerInfoOption(int argc, const char *const *argv, const ProgramInfo &info,
                                    std::ostream &out);

} // namespace appinfo
