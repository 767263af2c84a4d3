// Classic 1-based string functions: substrings by position, search, padding, and fixed-width
// hexadecimal and binary text of ints and longs.
#pragma once

#include <cstdint>

#include "runtime/string.h"

namespace vxl {

// count characters from 1-based pos; a negative count takes the rest of the string.
String MidText(const String& s, int32_t pos, int32_t count);
// The 1-based position of the first sub at or after 1-based start, or 0.
int32_t FindTextFrom(const String& s, const String& sub, int32_t start);
String LeftText(const String& s, int32_t n);
String RightText(const String& s, int32_t n);
// s cut or filled with spaces on the right to exactly n characters.
String PadRightTo(const String& s, int32_t n);
// The last n characters, or s filled with spaces on the left to exactly n characters.
String PadLeftTo(const String& s, int32_t n);
String ReplaceText(const String& s, const String& find, const String& with);
String TrimText(const String& s);
String LowerText(const String& s);
String UpperText(const String& s);
// Exactly 8 upper-case hexadecimal digits (two's complement).
String HexText(int32_t n);
// Exactly 32 binary digits, most significant first.
String BinaryText(int32_t n);
String LongHexText(int64_t n);
String LongBinaryText(int64_t n);

// The classic string functions' module initialiser (nothing to set up).
int InitClassicTextModule();

}  // namespace vxl
