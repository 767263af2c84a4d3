// The libpng library, opened on first use.
//
// libpng's static archive needs the math library's archive, which cannot be linked into an
// executable that uses the shared C library, and the launcher's start-up loads no library but
// the C library. So the PNG codec calls libpng through this table of entry points, filled from
// libpng16 by the lazy-library helper (platform/library, name "libpng") the first time an image is read or written:
//
//   const platform::png::Library* png = platform::png::Open();
//   if (!png) return nullptr;                    // no libpng16 on this machine
//   png_structp p = png->create_read_struct(PNG_LIBPNG_VER_STRING, ...);
//
// Include this header only from .cpp files. To call another libpng function, add its name to
// VXL_PNG_ENTRY_POINTS.
#pragma once

#include <png.h>

#include <string>

namespace vxl::platform::png {

// Every libpng function the codec calls, without the "png_" prefix.
// clang-format off
#define VXL_PNG_ENTRY_POINTS(X) \
  X(create_read_struct) \
  X(create_write_struct) \
  X(create_info_struct) \
  X(destroy_read_struct) \
  X(destroy_write_struct) \
  X(set_longjmp_fn) \
  X(longjmp) \
  X(error) \
  X(get_io_ptr) \
  X(set_read_fn) \
  X(set_write_fn) \
  X(set_sig_bytes) \
  X(read_info) \
  X(get_IHDR) \
  X(get_channels) \
  X(get_valid) \
  X(get_bit_depth) \
  X(get_rowbytes) \
  X(set_strip_16) \
  X(set_expand) \
  X(set_gray_to_rgb) \
  X(set_interlace_handling) \
  X(read_update_info) \
  X(read_image) \
  X(read_end) \
  X(set_compression_level) \
  X(set_IHDR) \
  X(set_rows) \
  X(write_png)
// clang-format on

// The entry points, typed as libpng declares them: png->read_info(p, info).
struct Library {
#define VXL_PNG_FIELD(name) decltype(&::png_##name) name;
  VXL_PNG_ENTRY_POINTS(VXL_PNG_FIELD)
#undef VXL_PNG_FIELD
};

// Opens libpng16 and resolves every entry point, once per process (thread-safe). Null when the
// library is missing or lacks an entry point; OpenError() then says why. The library stays
// loaded until the process ends.
const Library* Open();
// Why Open() gave Null ("" while it has not failed).
std::string OpenError();

}  // namespace vxl::platform::png
