#include "synk/synk_wire.h"

#include <bit>

namespace vxl {

int32_t SynkPayloadSize(int32_t type) {
  switch (type) {
    case SYNK_SLOT_INT:
    case SYNK_SLOT_FLOAT:
      return 4;
    case SYNK_SLOT_HALF:
    case SYNK_SLOT_STRING:
    case SYNK_SLOT_SHORT:
      return 2;
    case SYNK_SLOT_BYTE:
      return 1;
    default:
      return -1;
  }
}

const char* SynkSlotDataError(const uint8_t* data, size_t size) {
  size_t at = 0;
  while (at < size) {
    int32_t type = data[at++] >> 5;
    int32_t payload = SynkPayloadSize(type);
    if (payload < 0) return "Invalid Synk data type";
    if (size - at < static_cast<size_t>(payload)) return "Corrupt Synk message";
    if (type == SYNK_SLOT_STRING) {
      size_t length = (size_t{data[at]} << 8) | data[at + 1];
      at += 2;
      if (size - at < length) return "Corrupt Synk message";
      at += length;
    } else {
      at += static_cast<size_t>(payload);
    }
  }
  return nullptr;
}

float HalfToFloat(uint16_t half) {
  uint32_t sign = uint32_t{half & 0x8000u} << 16;
  uint32_t exponent = (half >> 10) & 31u;
  uint32_t mantissa = half & 0x3FFu;
  if (exponent == 31) return std::bit_cast<float>(sign | 0x7F800000u | (mantissa << 13));
  if (exponent != 0)
    return std::bit_cast<float>(sign | ((exponent + 112) << 23) | (mantissa << 13));
  // Subnormal: mantissa * 2^-24, exact in single precision.
  float magnitude = static_cast<float>(mantissa) * 0x1p-24f;
  return std::bit_cast<float>(sign | std::bit_cast<uint32_t>(magnitude));
}

}  // namespace vxl
