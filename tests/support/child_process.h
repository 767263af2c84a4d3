// Runs a program to completion and captures what it printed.
#pragma once

#include <string>
#include <vector>

namespace vxl::test {

struct ChildResult {
  int exitCode = -1;  // 0..255, or 128 + signal number when killed by a signal
  std::string out;    // standard output
  std::string err;    // standard error
};

// Runs argv[0] (a path) with the arguments, in `workingDir` ("" for the current one), with
// `input` on its standard input, and waits for it.
ChildResult RunChild(const std::vector<std::string>& argv, const std::string& workingDir = "",
                     const std::string& input = "");

// The directory holding the running test executable (the build's bin directory).
std::string TestBinaryDir();

}  // namespace vxl::test
