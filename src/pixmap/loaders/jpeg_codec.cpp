#include "pixmap/loaders/jpeg_codec.h"

#include "pixmap/loaders/loader_io.h"
#include "platform/jpeg/jpeg_codec.h"

namespace vxl {

namespace {

constexpr int32_t kBufferBytes = 4096;
// Decoded bytes per byte of data a file may claim before its size counts as damaged.
constexpr int64_t kExpansionRatio = 1024;

// Feeds the decoder from a stream and decodes into a new pixmap.
class StreamToPixmap : public platform::jpeg::DecodeTarget {
 public:
  explicit StreamToPixmap(const Ref<TStream>& stream) : stream_(stream) {}

  // The bytes the stream holds in its buffered view where it has some (they stay in place until
  // the next call reads from the stream), else up to 4096 bytes read into our own buffer.
  std::span<const uint8_t> Fill() override {
    std::span<const uint8_t> held = stream_->PeekBuffered();
    if (!held.empty()) {
      stream_->ConsumeBuffered(held.size());
      return held;
    }
    int32_t n = stream_->Read(buffer_, kBufferBytes);
    return {buffer_, size_t(n > 0 ? n : 0)};
  }

  bool Plausible(uint32_t width, uint32_t height, int components) override {
    const int64_t bytes = int64_t(width) * height * components;
    return bytes <= INT32_MAX / 2 && PlausibleForStream(*stream_, bytes / kExpansionRatio, 1);
  }

  bool Accept(uint32_t width, uint32_t height, int components) override {
    pixmap_ = TPixmap::Create(int32_t(width), int32_t(height),
                              components == 1 ? FORMAT_GREY8 : FORMAT_RGB24, 4);
    return true;
  }

  uint8_t* Row(uint32_t y) override { return pixmap_->PixelPtr(0, int32_t(y)); }

  Ref<TPixmap> Pixmap() const { return pixmap_; }

 private:
  Ref<TStream> stream_;
  Ref<TPixmap> pixmap_;
  uint8_t buffer_[kBufferBytes];
};

// Hands an RGB24 pixmap's rows to the encoder and writes what it makes to a stream.
class PixmapToStream : public platform::jpeg::EncodeSource {
 public:
  PixmapToStream(const Ref<TPixmap>& rgb, const Ref<TStream>& stream)
      : rgb_(rgb), stream_(stream) {}
  uint32_t Width() override { return uint32_t(rgb_->width); }
  uint32_t Height() override { return uint32_t(rgb_->height); }
  const uint8_t* Row(uint32_t y) override { return rgb_->PixelPtr(0, int32_t(y)); }
  bool Write(const uint8_t* bytes, size_t count) override {
    return stream_->Write(bytes, int32_t(count)) == int32_t(count);
  }

 private:
  Ref<TPixmap> rgb_;
  Ref<TStream> stream_;
};

}  // namespace

Ref<TPixmap> JpegDecode(const Ref<TStream>& stream) {
  StreamToPixmap target(stream);
  return platform::jpeg::Decode(target) ? target.Pixmap() : nullptr;
}

bool JpegEncode(const Ref<TPixmap>& rgb, const Ref<TStream>& stream, int32_t quality) {
  PixmapToStream source(rgb, stream);
  return platform::jpeg::Encode(source, quality);
}

int InitJpegCodecModule() {
  static ModuleGuard guard("libjpeg binding");
  return guard.Run({InitCoreModule}, [] {});
}

}  // namespace vxl
