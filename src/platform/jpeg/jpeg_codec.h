// JPEG decoding and encoding through libjpeg (interface version 62), linked from its static archive.
//
// The library's types, its error jumps and its messages stay in jpeg_codec.cpp: the caller speaks
// to it through two small interfaces, one that supplies bytes and receives rows, one that supplies
// rows and receives bytes. Nothing is ever printed.
//
//   class FromStream : public platform::jpeg::DecodeTarget {
//     std::span<const uint8_t> Fill() override { ... }               // next bytes, empty at end
//     bool Accept(uint32_t w, uint32_t h, int components) override;  // allocate the image
//     uint8_t* Row(uint32_t y) override { return pixels + y * pitch; }
//   };
//   FromStream target(...);
//   bool ok = platform::jpeg::Decode(target);
//
// Exceptions: a method of the target or source may throw; the library's state is released and the
// exception leaves Decode or Encode unchanged. Nothing is leaked on any path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace vxl::platform::jpeg {

class DecodeTarget {
 public:
  virtual ~DecodeTarget() = default;
  // The next compressed bytes; they must stay valid until the next call. An empty span is the end
  // of the data: before any byte the decode fails, later the image is completed with an
  // end-of-image marker so a file cut short still decodes.
  virtual std::span<const uint8_t> Fill() = 0;
  // The header's size and component count, before any pixel is decoded: false refuses the image
  // (implausible for the data, or too large).
  virtual bool Plausible(uint32_t /*width*/, uint32_t /*height*/, int /*components*/) {
    return true;
  }
  // The decoded size and output components (1 grey, 3 RGB; any other count is refused before this
  // call): prepare rows of width * components bytes, or return false to refuse.
  virtual bool Accept(uint32_t width, uint32_t height, int components) = 0;
  // Where decoded row y (0 at the top) goes; called after Accept, rows in increasing order (a row
  // may be asked for more than once).
  virtual uint8_t* Row(uint32_t y) = 0;
};

// Decodes one JPEG image; true when every row was delivered. False for damaged data, a refused
// image, more than 1000 scans, or working memory beyond 512 MiB.
bool Decode(DecodeTarget& target);

class EncodeSource {
 public:
  virtual ~EncodeSource() = default;
  virtual uint32_t Width() = 0;
  virtual uint32_t Height() = 0;
  // Row y of RGB bytes (width * 3), top first.
  virtual const uint8_t* Row(uint32_t y) = 0;
  // Writes compressed bytes; false when they were not all written.
  virtual bool Write(const uint8_t* bytes, size_t count) = 0;
};

// Encodes the rows as a baseline JPEG of the given quality (1 to 100); false when the encoder
// fails, a short write included.
bool Encode(EncodeSource& source, int quality);

}  // namespace vxl::platform::jpeg
