// The table of files built into the executable, reached through the "incbin::" protocol.
//
//   static const uint8_t kFont[1536] = {...};
//   RegisterEmbeddedFile("vexelfont.bin", kFont, sizeof kFont);   // first thing in an initialiser
//   Ref<TStream> s = OpenStreamUrl(String("incbin::vexelfont.bin"), 1, 0);
//
// Names match exactly (case-sensitive). The data must live as long as the process.
#pragma once

#include <cstdint>

#include "runtime/string.h"

namespace vxl {

// Adds an entry; 0 (and no change) when the name is already registered, else 1.
int32_t RegisterEmbeddedFile(const String& name, const uint8_t* data, int32_t length);
// The data of the entry, or nullptr when there is none.
const uint8_t* EmbeddedFileData(const String& name);
// The length in bytes of the entry, or 0 when there is none.
int32_t EmbeddedFileLength(const String& name);

}  // namespace vxl
