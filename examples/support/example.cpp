#include "support/example.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>

#include "runtime/exceptions.h"
#include "runtime/library_failure.h"

namespace example {
namespace {

const char* g_program = "example";

}  // namespace

int Run(int (*body)(int, char**), int argc, char** argv, const char* usage) {
  g_program = argc > 0 ? argv[0] : g_program;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::printf(usage, g_program);
      return 0;
    }
  }
  try {
    return body(argc, argv);
  } catch (const std::exception& e) {  // a framework exception's text, or the library's
    std::fflush(stdout);
    std::fprintf(stderr, "%s: %s\n", g_program, e.what());
    ReportLibraryFailure();
    return 1;
  }
}

void ReportLibraryFailure() {
  vxl::String why = vxl::LastLibraryFailure();
  if (!why.IsEmpty()) std::fprintf(stderr, "%s: %s\n", g_program, why.ToCString().c_str());
}

void UsageError(const char* usage) {
  std::fprintf(stderr, usage, g_program);
  std::exit(2);
}

int32_t ParseNumber(const char* text, int32_t low, int32_t high, const char* what) {
  char* end = nullptr;
  errno = 0;
  long value = std::strtol(text, &end, 10);
  bool digitsOnly = *text >= '0' && *text <= '9';
  if (!digitsOnly || *end != '\0' || errno == ERANGE || value < low || value > high) {
    std::fprintf(stderr, "%s: %s must be a whole number from %d to %d, not \"%s\"\n", g_program,
                 what, low, high, text);
    std::exit(2);
  }
  return static_cast<int32_t>(value);
}

}  // namespace example
