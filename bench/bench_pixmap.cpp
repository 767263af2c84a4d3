// Pixmap loading, conversion and scaling on 1920x1080 images, side by side with their anchors:
// decoding the same PNG and JPEG files with plain libpng and libjpeg into one buffer, the same
// TGA and BMP files with SDL2_image, copying the converted image's source bytes with memcpy, and
// scaling with SDL's bilinear stretch. Each figure is the best of several alternating runs, timed
// in CPU time of this thread: on a shared, busy machine the wall clock mostly measures the other
// programs.
#include <png.h>

#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <vector>
//
#include <SDL.h>
#include <SDL_image.h>
#include <jpeglib.h>

#include "bench_util.h"
#include "pixmap/loaders/bmp_loader.h"
#include "pixmap/loaders/jpeg_loader.h"
#include "pixmap/loaders/png_loader.h"
#include "pixmap/loaders/tga_loader.h"
#include "pixmap/pixmap_ops.h"

namespace vxl {
namespace {

constexpr int32_t kWidth = 1920, kHeight = 1080, kRounds = 21;

// Runs a and b alternately and returns the best time of each in milliseconds.
template <class A, class B>
std::pair<double, double> BestPairMs(int rounds, A&& a, B&& b) {
  double ta = 1e300, tb = 1e300;
  for (int i = 0; i < rounds; ++i) {
    ta = std::min(ta, bench::CpuMs(a));
    tb = std::min(tb, bench::CpuMs(b));
  }
  return {ta, tb};
}

// A photograph-like picture: smooth gradients with a little noise.
Ref<TPixmap> Picture() {
  Ref<TPixmap> p = NewPixmap(kWidth, kHeight, FORMAT_RGB24, 4);
  uint32_t seed = 1;
  for (int32_t y = 0; y < kHeight; ++y) {
    uint8_t* row = p->PixelPtr(0, y);
    for (int32_t x = 0; x < kWidth; ++x) {
      seed = seed * 1664525 + 1013904223;
      int noise = int(seed >> 29);
      row[3 * x] = uint8_t(x * 255 / kWidth + noise);
      row[3 * x + 1] = uint8_t(y * 255 / kHeight + noise);
      row[3 * x + 2] = uint8_t((x + y) / 12 + noise);
    }
  }
  return p;
}

size_t PlainPng(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "rb");
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) std::abort();
  png_init_io(png, f);
  png_read_info(png, info);
  png_set_strip_16(png);
  png_set_expand(png);
  png_read_update_info(png, info);
  size_t rowBytes = png_get_rowbytes(png, info);
  png_uint_32 height = png_get_image_height(png, info);
  std::unique_ptr<uint8_t[]> pixels(new uint8_t[rowBytes * height]);
  std::vector<png_bytep> rows(height);
  for (png_uint_32 y = 0; y < height; ++y)
    rows[y] = &pixels[y * rowBytes];
  png_read_image(png, rows.data());
  png_read_end(png, info);
  png_destroy_read_struct(&png, &info, nullptr);
  std::fclose(f);
  return rowBytes * height;
}

size_t PlainJpeg(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "rb");
  jpeg_decompress_struct cinfo;
  jpeg_error_mgr err;
  cinfo.err = jpeg_std_error(&err);
  jpeg_create_decompress(&cinfo);
  jpeg_stdio_src(&cinfo, f);
  jpeg_read_header(&cinfo, TRUE);
  jpeg_start_decompress(&cinfo);
  size_t rowBytes = size_t(cinfo.output_width) * cinfo.output_components;
  auto* pixels = static_cast<uint8_t*>(std::malloc(rowBytes * cinfo.output_height));
  std::vector<JSAMPROW> rows(cinfo.output_height);
  for (JDIMENSION y = 0; y < cinfo.output_height; ++y)
    rows[y] = pixels + y * rowBytes;
  while (cinfo.output_scanline < cinfo.output_height) {
    jpeg_read_scanlines(&cinfo, &rows[cinfo.output_scanline],
                        cinfo.output_height - cinfo.output_scanline);
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  std::fclose(f);
  std::free(pixels);
  return rowBytes;
}

// A 24-bit uncompressed TGA of the picture, bottom row first, as most tools write it.
bool WriteTga(const Ref<TPixmap>& picture, const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  uint8_t head[18] = {0, 0, 2};
  head[12] = uint8_t(kWidth), head[13] = uint8_t(kWidth >> 8);
  head[14] = uint8_t(kHeight), head[15] = uint8_t(kHeight >> 8);
  head[16] = 24;
  std::fwrite(head, 1, sizeof head, f);
  std::vector<uint8_t> row(size_t(kWidth) * 3);
  for (int32_t y = kHeight - 1; y >= 0; --y) {
    TranslatePixels(picture->PixelPtr(0, y), FORMAT_RGB24, row.data(), FORMAT_BGR24, kWidth);
    std::fwrite(row.data(), 1, row.size(), f);
  }
  return std::fclose(f) == 0;
}

// The picture as a 24-bit BMP written by SDL.
bool WriteBmp(const Ref<TPixmap>& picture, const std::string& path) {
  SDL_Surface* s = SDL_CreateRGBSurfaceWithFormatFrom(picture->pixels, kWidth, kHeight, 24,
                                                      picture->pitch, SDL_PIXELFORMAT_RGB24);
  bool ok = s && SDL_SaveBMP(s, path.c_str()) == 0;
  SDL_FreeSurface(s);
  return ok;
}

void SdlImageLoad(const std::string& path) {
  SDL_Surface* s = IMG_Load(path.c_str());
  if (!s) std::abort();
  SDL_FreeSurface(s);
}

}  // namespace
}  // namespace vxl

int main() {
  using namespace vxl;
  InitTgaLoaderModule();  // the whole chain, as the launcher sets it up: TGA, PNG, JPEG
  InitPngLoaderModule();
  InitJpegLoaderModule();
  InitBmpLoaderModule();
  char dir[] = "/tmp/vxl_bench_pixmap_XXXXXX";
  if (!mkdtemp(dir)) return 1;
  const std::string png = std::string(dir) + "/picture.png",
                    jpeg = std::string(dir) + "/picture.jpg";
  Ref<TPixmap> picture = Picture();
  if (!SaveAsPng(picture, String(png.c_str()), 6) || !SaveAsJpeg(picture, String(jpeg.c_str()), 90))
    return 1;

  auto [ourPng, plainPng] = BestPairMs(
      kRounds, [&] { PixmapFromUrl(String(png.c_str())); }, [&] { PlainPng(png); });
  bench::Print("png_load_ms", ourPng, "ms");
  bench::Print("png_load_vs_libpng_ratio", ourPng / plainPng);

  auto [ourJpeg, plainJpeg] = BestPairMs(
      kRounds, [&] { PixmapFromUrl(String(jpeg.c_str())); }, [&] { PlainJpeg(jpeg); });
  bench::Print("jpeg_load_ms", ourJpeg, "ms");
  bench::Print("jpeg_load_vs_libjpeg_ratio", ourJpeg / plainJpeg);

  // Conversion into an existing pixmap against copying the source's bytes.
  Ref<TPixmap> bgra = NewPixmap(kWidth, kHeight, FORMAT_BGRA32, 4);
  std::vector<uint8_t> copy(size_t(picture->capacity));
  auto [convert, memcpyMs] = BestPairMs(
      kRounds * 4, [&] { bgra->Paste(picture, 0, 0); },
      [&] { std::memcpy(copy.data(), picture->pixels, copy.size()); });
  bench::Print("convert_rgb24_to_bgra32_ms", convert, "ms");
  bench::Print("convert_rgb24_to_bgra32_vs_memcpy_ratio", convert / memcpyMs);

  Ref<TPixmap> rgba = PixmapToFormat(picture, FORMAT_RGBA32);
  double scale = 1e300;
  for (int i = 0; i < kRounds; ++i)
    scale = std::min(scale, bench::CpuMs([&] { ScalePixmap(rgba, 1280, 720); }));
  bench::Print("scale_1080p_to_720p_ms", scale, "ms");
  bench::Print("scale_1080p_to_720p_mpix_s", 1280.0 * 720.0 / 1000.0 / scale, "Mpix/s");

  const std::string tga = std::string(dir) + "/picture.tga",
                    bmp = std::string(dir) + "/picture.bmp";
  if (!WriteTga(picture, tga) || !WriteBmp(picture, bmp)) return 1;
  auto [ourTga, sdlTga] = BestPairMs(
      kRounds, [&] { PixmapFromUrl(String(tga.c_str())); }, [&] { SdlImageLoad(tga); });
  bench::Print("tga_load_ms", ourTga, "ms");
  bench::Print("tga_load_vs_sdl_image_ratio", ourTga / sdlTga);
  auto [ourBmp, sdlBmp] = BestPairMs(
      kRounds, [&] { PixmapFromUrl(String(bmp.c_str())); }, [&] { SdlImageLoad(bmp); });
  bench::Print("bmp_load_ms", ourBmp, "ms");
  bench::Print("bmp_load_vs_sdl_image_ratio", ourBmp / sdlBmp);

  // SDL's bilinear stretch between two RGBA surfaces of the same sizes.
  SDL_Surface* from = SDL_CreateRGBSurfaceWithFormatFrom(rgba->pixels, kWidth, kHeight, 32,
                                                         rgba->pitch, SDL_PIXELFORMAT_RGBA32);
  SDL_Surface* to = SDL_CreateRGBSurfaceWithFormat(0, 1280, 720, 32, SDL_PIXELFORMAT_RGBA32);
  auto [ourScale, sdlScale] = BestPairMs(
      kRounds, [&] { ScalePixmap(rgba, 1280, 720); },
      [&] {
        if (SDL_SoftStretchLinear(from, nullptr, to, nullptr) != 0) std::abort();
      });
  bench::Print("scale_vs_sdl_stretch_ratio", ourScale / sdlScale);
  SDL_FreeSurface(from);
  SDL_FreeSurface(to);

  for (const std::string* file : {&png, &jpeg, &tga, &bmp})
    std::remove(file->c_str());
  rmdir(dir);
  return 0;
}
