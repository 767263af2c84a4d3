// Opening files and other URLs as streams that can always seek.
//
//   Ref<TStream> s = OpenFileForReading(String("http::example.org/level.bin"));
//   s->Seek(128);          // a network stream arrives whole in a bank, so this works
//   CloseFileStream(s);
#pragma once

#include <cstdint>

#include "stream/stream.h"

namespace vxl {

// OpenStreamUrl; a stream opened for reading only that cannot seek (Pos() is -1) is read whole
// into a bank and replaced by a bank stream over it. Null when the URL does not open or reading it
// fails.
Ref<TStream> OpenFileUrl(const Url& url, int32_t readable, int32_t writeable);
Ref<TStream> OpenFileForReading(const Url& url);
Ref<TStream> OpenFileForWriting(const Url& url);
// stream.Close().
int32_t CloseFileStream(const Ref<TStream>& stream);

// The file system module: nothing of its own; it imports the streams and banks it uses.
int InitFileSystemModule();

}  // namespace vxl
