// Ogg Vorbis decoding through libvorbisfile, opened on first use.
//
// The launcher must load only the C library at start-up, and libvorbis needs the shared math
// library; so nothing links vorbisfile. The first Decoder::Open loads it:
//
//   platform::vorbis::Decoder d;
//   if (d.Open(stream, callbacks)) {          // false: not Vorbis data, or no libvorbisfile
//     int link;
//     long n = d.Read(buffer, bytes, &link);  // 16-bit signed little-endian, interleaved
//   }
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vxl::platform::vorbis {

// Data source callbacks, called with the `source` given to Open (the shape of vorbisfile's own).
struct Callbacks {
  // Reads up to size x count bytes; returns the number of whole items read.
  size_t (*read)(void* buffer, size_t size, size_t count, void* source);
  // Whence 0 absolute, 1 relative, 2 from the end; -1 when the source cannot seek there.
  int (*seek)(void* source, int64_t offset, int whence);
  int (*close)(void* source);
  // The position, -1 when unknown.
  long (*tell)(void* source);
};

class Decoder {
 public:
  Decoder() = default;
  Decoder(const Decoder&) = delete;
  Decoder& operator=(const Decoder&) = delete;
  // Clears the decoder if it was opened.
  ~Decoder();

  // Opens the decoder on the source (no initial bytes). False when the library is missing or the
  // data is not a Vorbis stream.
  bool Open(void* source, const Callbacks& callbacks);
  // Channels and rate of the current logical stream; 0 when unknown.
  int Channels();
  long Rate();
  // Frames of logical stream `link`; negative when unknown (a source that cannot seek).
  int64_t TotalFrames(int link);
  // Decodes up to `bytes` bytes of 16-bit signed little-endian PCM; returns the bytes written, 0
  // at the end of the data, negative on a decoding error. `link` receives the logical stream.
  long Read(char* buffer, int bytes, int* link);

 private:
  void* file_ = nullptr;  // the decoder's state, allocated by Open
};

// Loads libvorbisfile if needed (the lazy-library helper's "libvorbisfile"); false when it is not
// installed.
bool Available();
// Why the library did not load ("" before a failure).
std::string OpenError();

}  // namespace vxl::platform::vorbis
