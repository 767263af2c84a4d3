// The application's start-up globals, set once at start-up and read-only afterwards (never
// destroyed, like every module global).
#pragma once

#include "runtime/array.h"
#include "runtime/string.h"

namespace vxl {

// The current directory at process start.
extern String& StartupDir;
// The directory of the executable.
extern String& ApplicationDir;
// The full path of the executable.
extern String& ApplicationPath;
// "Quillon Application".
extern String& ApplicationTitle;
// One element per command-line argument, argv[0] included.
extern Array<String>& ApplicationArgs;

// The directory part of an executable path: cut at the last "/", keeping it when the text before
// is a root ("C:/app.exe" gives "C:/", "/app" gives "/").
String ExecutableDirectory(const String& path);

// Records the start-up globals and changes the current directory to `appDir`.
void StartFramework(int argc, char** argv, const String& appDir, const String& appPath);

}  // namespace vxl
