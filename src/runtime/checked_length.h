// The one check every string and array allocation goes through.
#pragma once

#include <cstdint>

namespace vxl::runtime_detail {

// `length` as the length of a new string or array. A length below 0 or above INT32_MAX cannot
// be held: it raises the runtime error "Length <n> does not fit a string or array" instead of
// allocating a wrapped size.
int32_t CheckedLength(int64_t length);

// Raises that same error for a length already known not to fit (a line or load still growing).
[[noreturn]] void ThrowLengthTooLong(int64_t length);

}  // namespace vxl::runtime_detail
