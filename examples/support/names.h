// Readable names for the codes the examples print: pixel and sample formats, and the Windows
// virtual-key codes that key events carry.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "audio/sample.h"
#include "pixmap/pixel_format.h"

namespace example {

inline std::string PixelFormatName(int32_t format) {
  static const char* const names[FORMAT_COUNT] = {
      "none",  "grey 8",  "alpha 8",  "BGR 24",   "RGB 24",        "BGRA 32",      "RGBA 32",
      "red 8", "green 8", "blue 8",   "shadow 8", "intensity 8",   "luminance 8"};
  if (format < 0 || format >= FORMAT_COUNT) return "format " + std::to_string(format);
  return names[format];
}

inline std::string SampleFormatName(int32_t format) {
  switch (format) {
    case SAMPLE_MONO8: return "mono 8-bit";
    case SAMPLE_MONO16LE: return "mono 16-bit";
    case SAMPLE_MONO16BE: return "mono 16-bit big-endian";
    case SAMPLE_STEREO8: return "stereo 8-bit";
    case SAMPLE_STEREO16LE: return "stereo 16-bit";
    case SAMPLE_STEREO16BE: return "stereo 16-bit big-endian";
    default: return "format " + std::to_string(format);
  }
}

// The key's name, e.g. "A", "7", "F5", "Left", "Numpad 3", "Shift"; "key 0x.." for the rest.
inline std::string KeyName(int32_t vk) {
  if ((vk >= 'A' && vk <= 'Z') || (vk >= '0' && vk <= '9')) return std::string(1, char(vk));
  if (vk >= 0x70 && vk <= 0x87) return "F" + std::to_string(vk - 0x70 + 1);
  if (vk >= 0x60 && vk <= 0x69) return "Numpad " + std::to_string(vk - 0x60);
  struct Named {
    int32_t vk;
    const char* name;
  };
  static const Named named[] = {
      {0x08, "Backspace"}, {0x09, "Tab"},       {0x0D, "Enter"},      {0x10, "Shift"},
      {0x11, "Ctrl"},      {0x12, "Alt"},       {0x13, "Pause"},      {0x14, "Caps Lock"},
      {0x1B, "Escape"},    {0x20, "Space"},     {0x21, "Page Up"},    {0x22, "Page Down"},
      {0x23, "End"},       {0x24, "Home"},      {0x25, "Left"},       {0x26, "Up"},
      {0x27, "Right"},     {0x28, "Down"},      {0x2C, "Print Screen"}, {0x2D, "Insert"},
      {0x2E, "Delete"},    {0x5B, "Left Windows"}, {0x5C, "Right Windows"}, {0x5D, "Menu"},
      {0x6A, "Numpad *"},  {0x6B, "Numpad +"},  {0x6D, "Numpad -"},   {0x6E, "Numpad ."},
      {0x6F, "Numpad /"},  {0x90, "Num Lock"},  {0x91, "Scroll Lock"}, {0xBA, ";"},
      {0xBB, "="},         {0xBC, ","},         {0xBD, "-"},          {0xBE, "."},
      {0xBF, "/"},         {0xC0, "`"},         {0xDB, "["},          {0xDC, "\\"},
      {0xDD, "]"},         {0xDE, "'"},
  };
  for (const Named& n : named)
    if (n.vk == vk) return n.name;
  char hex[16];
  std::snprintf(hex, sizeof hex, "key 0x%02X", unsigned(vk));
  return hex;
}

}  // namespace example
