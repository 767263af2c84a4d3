// Why a library the framework opens on first use did not open.
//
//   Ref<TPixmap> image = PixmapFromUrl(String("photo.png"));
//   if (!image && !LastLibraryFailure().IsEmpty())
//     std::fprintf(stderr, "%s\n", LastLibraryFailure().ToCString().c_str());
//
// SDL2, libpng, vorbisfile, ENet and the other libraries are loaded the first time a feature
// needs them; a missing one makes that feature report failure (Null, 0, the "Null" driver) and
// leaves its reason here: "libpng: libpng16.so.16: cannot open shared object file: No such file
// or directory", or "libenet: missing symbol enet_host_create in libenet.so.7".
#pragma once

#include "runtime/string.h"

namespace vxl {

// The most recent failed library load of this process, or "" when none failed. Main thread.
String LastLibraryFailure();

}  // namespace vxl
