// What every example program shares: help text, checked numbers from the command line, and one
// way a failure ends the program.
//
//   int Main(int argc, char** argv) { ... return 0; }
//   int main(int argc, char** argv) { return example::Run(Main, argc, argv, kUsage); }
#pragma once

#include <cstdint>

namespace example {

// Runs `body` unless an argument is "--help" or "-h", which prints `usage` (with "%s" standing for
// the program's name) on standard output and returns 0. A framework exception, or any other
// exception, that escapes `body` prints "<program>: <message>" on standard error and gives 1.
int Run(int (*body)(int argc, char** argv), int argc, char** argv, const char* usage);

// When a library opened on first use did not open (libpng, SDL2, vorbisfile, ENet, ...), prints
// "<program>: <why>" on standard error, so a feature that is missing says why. Run does it
// after an exception too.
void ReportLibraryFailure();

// Prints `usage` on standard error and ends the program with exit code 2 (a wrong command line).
[[noreturn]] void UsageError(const char* usage);

// The whole decimal number `text`, from `low` to `high`. Anything else (letters, a sign or spaces
// around it, a number out of range) prints "<what> must be a whole number from <low> to <high>,
// not "<text>"" on standard error and ends the program with exit code 2.
int32_t ParseNumber(const char* text, int32_t low, int32_t high, const char* what);

}  // namespace example
