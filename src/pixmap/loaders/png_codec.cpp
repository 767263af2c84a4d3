#include "pixmap/loaders/png_codec.h"

#include <algorithm>
#include <csetjmp>
#include <cstring>
#include <exception>
#include <vector>

#include "pixmap/loaders/loader_io.h"
#include "platform/png/png_library.h"

namespace vxl {

namespace {

// zlib's best case: 1032 decoded bytes from one byte of data.
constexpr int64_t kDeflateRatio = 1032;

// Everything a decode or encode keeps across libpng's jumps lives here, outside the frame that
// calls setjmp.
struct PngJob {
  Ref<TStream> stream;
  std::exception_ptr thrown;  // from the stream, rethrown after libpng is released
  Ref<TPixmap> pixmap;
  std::vector<png_bytep> rows;
};

// The library once opened; every function below runs only after Open() succeeded.
const platform::png::Library* lib = nullptr;

void OnError(png_structp png, png_const_charp) {
  lib->longjmp(png, 1);
}
void OnWarning(png_structp, png_const_charp) {}

void ReadData(png_structp png, png_bytep data, size_t length) {
  auto* job = static_cast<PngJob*>(lib->get_io_ptr(png));
  bool complete = false;
  try {
    complete = ReadOrZero(*job->stream, data, int32_t(length)) == int32_t(length);
  } catch (...) {
    job->thrown = std::current_exception();
  }
  if (!complete) lib->error(png, "read");  // never returns
}

void WriteData(png_structp png, png_bytep data, size_t length) {
  auto* job = static_cast<PngJob*>(lib->get_io_ptr(png));
  try {
    job->stream->WriteBytes(data, int32_t(length));
    return;
  } catch (...) {
    job->thrown = std::current_exception();
  }
  lib->error(png, "write");
}

void FlushData(png_structp png) {
  auto* job = static_cast<PngJob*>(lib->get_io_ptr(png));
  try {
    job->stream->Flush();
    return;
  } catch (...) {
    job->thrown = std::current_exception();
  }
  lib->error(png, "flush");
}

// The decode proper; false when libpng gave up.
bool RunDecode(png_structp png, png_infop info, PngJob& job) {
  if (setjmp(*lib->set_longjmp_fn(png, std::longjmp, sizeof(std::jmp_buf)))) return false;
  lib->set_sig_bytes(png, 8);
  lib->read_info(png, info);

  png_uint_32 width, height;
  int depth, colour, interlace;
  lib->get_IHDR(png, info, &width, &height, &depth, &colour, &interlace, nullptr, nullptr);
  // The data must be able to inflate to the stored rows (a filter byte each).
  int channels = lib->get_channels(png, info);
  int64_t stored = int64_t(height) * ((int64_t(width) * channels * depth + 7) / 8 + 1);
  if (!PlausibleForStream(*job.stream, stored, kDeflateRatio)) return false;

  // Expanded to 8-bit grey, grey-alpha, RGB or RGBA; grey-alpha then becomes RGBA.
  lib->set_strip_16(png);
  lib->set_expand(png);
  bool alpha = (colour & PNG_COLOR_MASK_ALPHA) || lib->get_valid(png, info, PNG_INFO_tRNS);
  bool grey = !(colour & PNG_COLOR_MASK_COLOR) && colour != PNG_COLOR_TYPE_PALETTE;
  if (grey && alpha) lib->set_gray_to_rgb(png);
  lib->set_interlace_handling(png);
  lib->read_update_info(png, info);

  int32_t format = alpha ? FORMAT_RGBA32 : grey ? FORMAT_GREY8 : FORMAT_RGB24;
  if (lib->get_bit_depth(png, info) != 8 ||
      lib->get_rowbytes(png, info) != size_t(width) * FormatBytes[format] ||
      int64_t(width) * FormatBytes[format] * height > INT32_MAX - 3 * int64_t(height))
    return false;
  job.pixmap = TPixmap::Create(int32_t(width), int32_t(height), format, 4);
  job.rows.resize(height);
  for (png_uint_32 y = 0; y < height; ++y)
    job.rows[y] = job.pixmap->PixelPtr(0, int32_t(y));
  lib->read_image(png, job.rows.data());
  lib->read_end(png, info);
  return true;
}

bool RunEncode(png_structp png, png_infop info, PngJob& job, int32_t level) {
  if (setjmp(*lib->set_longjmp_fn(png, std::longjmp, sizeof(std::jmp_buf)))) return false;
  const TPixmap& p = *job.pixmap;
  int colour = PNG_COLOR_TYPE_RGB_ALPHA, transforms = PNG_TRANSFORM_IDENTITY;
  switch (p.format) {
    case FORMAT_GREY8:
      colour = PNG_COLOR_TYPE_GRAY;
      break;
    case FORMAT_RGB24:
      colour = PNG_COLOR_TYPE_RGB;
      break;
    case FORMAT_BGR24:
      colour = PNG_COLOR_TYPE_RGB, transforms = PNG_TRANSFORM_BGR;
      break;
    case FORMAT_BGRA32:
      transforms = PNG_TRANSFORM_BGR;
      break;
    default:
      break;
  }
  lib->set_compression_level(png, level);
  lib->set_IHDR(png, info, uint32_t(p.width), uint32_t(p.height), 8, colour, PNG_INTERLACE_NONE,
                PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  job.rows.resize(size_t(p.height));
  for (int32_t y = 0; y < p.height; ++y)
    job.rows[y] = p.PixelPtr(0, y);
  lib->set_rows(png, info, job.rows.data());
  lib->write_png(png, info, transforms, nullptr);
  return true;
}

// libpng's read or write structures, released when the decode or encode is left by any path, an
// exception from the pixmap or the stream included.
template <bool kWrite>
struct PngStructs {
  png_structp png = nullptr;
  png_infop info = nullptr;
  PngStructs() = default;
  PngStructs(const PngStructs&) = delete;
  PngStructs& operator=(const PngStructs&) = delete;
  ~PngStructs() {
    if (!png) return;
    if constexpr (kWrite)
      lib->destroy_write_struct(&png, info ? &info : nullptr);
    else
      lib->destroy_read_struct(&png, info ? &info : nullptr, nullptr);
  }
};

}  // namespace

bool IsPngSignature(const uint8_t bytes[8]) {
  static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  return std::memcmp(bytes, kSignature, 8) == 0;
}

Ref<TPixmap> DecodePng(const Ref<TStream>& stream) {
  if (!(lib = platform::png::Open())) return nullptr;
  PngJob job;
  job.stream = stream;
  bool ok = false;
  {
    PngStructs<false> structs;
    structs.png = lib->create_read_struct(PNG_LIBPNG_VER_STRING, &job, OnError, OnWarning);
    if (!structs.png) return nullptr;
    structs.info = lib->create_info_struct(structs.png);
    lib->set_read_fn(structs.png, &job, ReadData);
    ok = structs.info && RunDecode(structs.png, structs.info, job);
  }
  if (job.thrown) std::rethrow_exception(job.thrown);
  return ok ? job.pixmap : nullptr;
}

bool EncodePng(const Ref<TPixmap>& pixmap, const Ref<TStream>& stream, int32_t level) {
  if (!(lib = platform::png::Open())) return false;
  PngJob job;
  job.stream = stream;
  int32_t f = pixmap->format;
  bool direct = f == FORMAT_GREY8 || (f >= FORMAT_BGR24 && f <= FORMAT_RGBA32);
  job.pixmap = direct ? pixmap : pixmap->Convert(FORMAT_RGBA32);
  bool ok = false;
  {
    PngStructs<true> structs;
    structs.png = lib->create_write_struct(PNG_LIBPNG_VER_STRING, &job, OnError, OnWarning);
    if (!structs.png) return false;
    structs.info = lib->create_info_struct(structs.png);
    lib->set_write_fn(structs.png, &job, WriteData, FlushData);
    ok = structs.info && RunEncode(structs.png, structs.info, job, std::clamp(level, 0, 9));
  }
  if (job.thrown) std::rethrow_exception(job.thrown);
  return ok;
}

int InitPngCodecModule() {
  static ModuleGuard guard("libpng binding");
  return guard.Run({InitCoreModule}, [] {});
}

}  // namespace vxl
