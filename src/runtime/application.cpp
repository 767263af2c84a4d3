#include "runtime/application.h"

#include "platform/process/process_image.h"
#include "runtime/never_destroyed.h"

namespace vxl {

String& StartupDir = *NeverDestroyed<String>::Leak();
String& ApplicationDir = *NeverDestroyed<String>::Leak();
String& ApplicationPath = *NeverDestroyed<String>::Leak();
String& ApplicationTitle = *NeverDestroyed<String>::Leak();
Array<String>& ApplicationArgs = *NeverDestroyed<Array<String>>::Leak();

String ExecutableDirectory(const String& path) {
  int32_t slash = path.FindLast("/");
  if (slash < 0) return path;
  // On this platform a path starting with "/" has the root "/" (the drive root's counterpart).
  if (slash == 0 || path[slash - 1] == u':') return path.Slice(0, slash + 1);
  return path.Slice(0, slash);
}

void StartFramework(int argc, char** argv, const String& appDir, const String& appPath) {
  // Paths from the system keep their backslashes: on POSIX a backslash is part of a file name.
  StartupDir = String(std::string_view(platform::CurrentDirectory()));
  ApplicationDir = appDir;
  ApplicationPath = appPath;
  ApplicationTitle = "Quillon Application";
  ApplicationArgs = Array<String>::New(argc);
  for (int i = 0; i < argc; ++i)
    ApplicationArgs[i] = String(argv[i]);
  platform::ChangeDirectory(ApplicationDir.ToCString());
}

}  // namespace vxl
