// Native command launch: starts a program from a Windows-style command line, detached.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vxl::platform {

// Starts the command line's program with its arguments, detached from this process (its own
// session, started by a short-lived intermediate child so that init adopts and reaps it, and free
// to outlive this process); returns without waiting for the program to be loaded. `showState` is
// accepted for the window state of systems that have one. Returns false when no program was
// found or no process could be made; a program that fails to load is not reported.
bool LaunchCommand(std::string_view commandLine, int showState);

// Helpers of this layer and of the process layers beside it.
namespace launch_detail {

// Splits a command line, which ends at its first NUL as a C string does, by the Windows rules:
// the program name ends at the closing quote when it starts with one, else at white space; in the
// arguments, 2n backslashes before a quote give n backslashes and the quote opens or closes a
// quoted part, 2n+1 give n and a literal quote, "" in a quoted part gives a literal quote, and
// other backslashes are literal.
std::vector<std::string> SplitCommandLine(std::string_view commandLine);

// Where `program` would be started from: a name containing "/" is taken as a path; a bare name is
// searched in the executable's directory, the current directory, then each PATH entry. A name
// ending in ".exe" that is not found is searched again without the suffix. "" when not found.
std::string FindProgram(const std::string& program, const std::string& executableDir);

}  // namespace launch_detail

// Starts the program at `path` with args (args[0] included), detached as LaunchCommand does.
// Returns false when nothing could be started.
bool LaunchDetached(const std::string& path, std::vector<std::string> args);

}  // namespace vxl::platform
