// The order in which the launcher's module bodies run (shared by the tests of that order).
#pragma once

#include <string>
#include <vector>

namespace vxl {

// One row per module body: its place in the start-up order and its name. Where a row of the
// launcher's table gives fewer names than numbers, the extra steps are named here: the event
// tail (28), the twelve record wrappers (34-45), the Direct3D 7 binding (46), the 2D driver
// binding (48), the OpenGL image frame (56). The Direct3D 7 rows are empty steps until those
// modules are built.
struct OrderRow {
  int place;
  std::string name;
};

inline const std::vector<OrderRow> kLauncherTable = {
    {1, "core"},
    {2, "c standard library glue"},
    {3, "stream"},
    {4, "sample format tables"},
    {5, "audio sample"},
    {6, "audio"},
    {7, "ordered map"},
    {8, "data streams"},
    {9, "bank"},
    {10, "bank stream"},
    {11, "empty"},
    {12, "random"},
    {13, "socket"},
    {14, "RAM stream"},
    {15, "endian stream"},
    {16, "socket stream"},
    {17, "HTTP stream"},
    {18, "text stream"},
    {19, "standard io"},
    {20, "linked list"},
    {21, "file system"},
    {22, "standard group"},
    {23, "pixel format tables"},
    {24, "pixmap"},
    {25, "BMP loader"},
    {26, "hook"},
    {27, "event"},
    {28, "event tail"},
    {29, "system driver base"},
    {30, "Win32 system driver"},
    {31, "system"},
    {32, "polled input"},
    {33, "graphics"},
    {34, "Win32 records"},
    {35, "GDI records"},
    {36, "DirectX records"},
    {37, "DirectDraw records"},
    {38, "Direct3D 7 records"},
    {39, "DirectSound records"},
    {40, "Direct3D 9 records"},
    {41, "D3DX 9 records"},
    {42, "Direct3D 9 look-up"},
    {43, "D3DX 9 look-up"},
    {44, "DirectDraw look-up"},
    {45, "DirectSound look-up"},
    {46, "Direct3D 7 binding"},
    {47, "Direct3D 7 graphics"},
    {48, "2D driver binding"},
    {49, "2D driver base"},
    {50, "image"},
    {51, "font"},
    {52, "image font"},
    {53, "Kor2D"},
    {54, "OpenGL"},
    {55, "OpenGL graphics"},
    {56, "OpenGL image frame"},
    {57, "OpenGL 2D driver"},
    {58, "Direct3D 7 2D driver"},
    {59, "DirectSound audio driver"},
    {60, "event queue"},
    {61, "software mixer library"},
    {62, "software mixer audio driver"},
    {63, "zlib binding"},
    {64, "FreeType records"},
    {65, "FreeType font"},
    {66, "ENet wrapper"},
    {67, "synk"},
    {68, "libjpeg binding"},
    {69, "JPEG loader"},
    {70, "toolchain path utility"},
    {71, "ogg vorbis binding"},
    {72, "ogg loader"},
    {73, "OpenAL binding"},
    {74, "OpenAL audio driver"},
    {75, "libpng binding"},
    {76, "PNG loader"},
    {77, "reflection"},
    {78, "classic text"},
    {79, "TGA loader"},
    {80, "timer"},
    {81, "wav loader"},
    {82, "joystick input"},
    {83, "process"},
    {84, "opengl import"},
    {85, "empty trailing"},
};

// The names alone, in order.
inline std::vector<std::string> LauncherOrder() {
  std::vector<std::string> names;
  for (const OrderRow& row : kLauncherTable)
    names.push_back(row.name);
  return names;
}

}  // namespace vxl
