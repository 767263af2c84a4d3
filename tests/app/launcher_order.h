// The order in which the launcher's module bodies run (shared by the tests of that order).
#pragma once

#include <string>
#include <vector>

namespace vxl {

// Every module the launcher imports, in the order their bodies must run.
inline const std::vector<std::string> kLauncherOrder = {
    "core",
    "c standard library glue",
    "stream",
    "sample format tables",
    "audio sample",
    "audio",
    "ordered map",
    "data streams",
    "bank",
    "bank stream",
    "empty",
    "random",
    "socket",
    "RAM stream",
    "endian stream",
    "socket stream",
    "HTTP stream",
    "text stream",
    "standard io",
    "linked list",
    "file system",
    "standard group",
    "pixel format tables",
    "pixmap",
    "BMP loader",
    "hook",
    "event",
    "system driver base",
    "Win32 system driver",
    "system",
    "polled input",
    "graphics",
    "2D driver base",
    "image",
    "font",
    "image font",
    "Kor2D",
    "OpenGL",
    "OpenGL graphics",
    "OpenGL image frame",
    "OpenGL 2D driver",
    "DirectSound audio driver",
    "event queue",
    "software mixer library",
    "software mixer audio driver",
    "ENet wrapper",
    "synk",
    "libjpeg binding",
    "JPEG loader",
    "toolchain path utility",
    "ogg vorbis binding",
    "ogg loader",
    "OpenAL binding",
    "OpenAL audio driver",
    "libpng binding",
    "PNG loader",
    "reflection",
    "classic text",
    "TGA loader",
    "timer",
    "wav loader",
    "joystick input",
    "process",
    "opengl import",
    "empty trailing",
};

// The modules of the launcher alone: they group or stand in for other modules.
inline const std::vector<std::string> kLauncherOwnModules = {"empty", "standard group",
                                                             "opengl import", "empty trailing"};

}  // namespace vxl
