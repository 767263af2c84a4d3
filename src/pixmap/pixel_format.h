// Pixel formats, their size and alpha tables, and runs of pixels converted between formats.
//
//   uint8_t rgb[3 * 640], bgra[4 * 640];
//   TranslatePixels(rgb, FORMAT_RGB24, bgra, FORMAT_BGRA32, 640);   // alpha becomes 255
//   int32_t bytes = FormatBytes[FORMAT_RGB24];                        // 3
//
// Every format stores whole bytes per pixel; multi-byte pixels keep their channels as separate
// bytes in the order of the name. Conversions between two formats go through FORMAT_RGBA32, the
// standard format, and give exactly the bytes of that two-step conversion, however they are
// computed. Formats without alpha (RED8, GREEN8, BLUE8 and LUMINANCE8 included) convert to the
// standard format with alpha 255: fully opaque.
//
// The run functions check nothing: the caller passes valid formats and buffers of `count` pixels.
#pragma once

#include <cstdint>

namespace vxl {

constexpr int32_t FORMAT_NONE = 0;
constexpr int32_t FORMAT_GREY8 = 1;
constexpr int32_t FORMAT_ALPHA8 = 2;  // alpha, colour white
constexpr int32_t FORMAT_BGR24 = 3;
constexpr int32_t FORMAT_RGB24 = 4;
constexpr int32_t FORMAT_BGRA32 = 5;
constexpr int32_t FORMAT_RGBA32 = 6;
constexpr int32_t FORMAT_STANDARD = FORMAT_RGBA32;
constexpr int32_t FORMAT_RED8 = 7;
constexpr int32_t FORMAT_GREEN8 = 8;
constexpr int32_t FORMAT_BLUE8 = 9;
constexpr int32_t FORMAT_SHADOW8 = 10;     // alpha, colour black
constexpr int32_t FORMAT_INTENSITY8 = 11;  // one value for all four channels
constexpr int32_t FORMAT_LUMINANCE8 = 12;  // one value for red, green and blue
constexpr int32_t FORMAT_COUNT = 13;       // codes 0 .. FORMAT_COUNT - 1

// Bytes per pixel and bits of alpha, indexed by format code (0 for FORMAT_NONE). Filled by the
// pixel format module's initialiser.
extern int32_t FormatBytes[FORMAT_COUNT];
extern int32_t FormatAlphaBits[FORMAT_COUNT];

// True for the codes 1 to 12.
constexpr bool IsPixelFormat(int32_t format) {
  return format > FORMAT_NONE && format < FORMAT_COUNT;
}

// Copies count pixels of `format` unchanged.
void CopyPixelRun(const uint8_t* src, uint8_t* dst, int32_t format, int32_t count);
// Converts count pixels of `format` to FORMAT_RGBA32.
void PixelsToStandard(const uint8_t* src, uint8_t* dst, int32_t format, int32_t count);
// Converts count FORMAT_RGBA32 pixels to `format`.
void PixelsFromStandard(const uint8_t* src, uint8_t* dst, int32_t format, int32_t count);
// Converts count pixels from one format to another (a copy when they are equal). The buffers
// must not overlap, except that src == dst converts in place between two formats of the same
// number of bytes per pixel.
void TranslatePixels(const uint8_t* src, int32_t srcFormat, uint8_t* dst, int32_t dstFormat,
                     int32_t count);

// Converts a rectangle of width x height pixels row by row, each row as TranslatePixels does.
// Large rectangles are written the way a bulk copy writes them, past the caches.
void TranslatePixelRows(const uint8_t* src, int32_t srcPitch, int32_t srcFormat, uint8_t* dst,
                        int32_t dstPitch, int32_t dstFormat, int32_t width, int32_t height);

// Builds the format tables.
int InitPixelFormatModule();

}  // namespace vxl
