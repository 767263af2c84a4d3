// The bound of every line and load the stream readers gather: what a string or an array can hold.
// Private to the stream module.
#pragma once

#include <cstddef>
#include <cstdint>

#include "runtime/checked_length.h"

namespace vxl::stream_detail {

// Checked before gathering grows to `length` units, so a line or load that cannot be held fails
// once it passes the bound instead of filling memory first.
inline void CheckLength(size_t length) {
  if (length > static_cast<size_t>(INT32_MAX))
    runtime_detail::ThrowLengthTooLong(static_cast<int64_t>(length));
}

}  // namespace vxl::stream_detail
