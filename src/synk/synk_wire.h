// The Synk wire format: packet heads and packed slot fields.
//
// A packet is one byte of state (high 4 bits) and object-id bits 8-11 (low 4 bits), one byte of
// id bits 0-7, then the packed slots. Each slot field is a header byte, slot type in the high 3
// bits and slot index in the low 5, followed by the type's payload, big-endian:
//
//   type 1 int 4 bytes | 2 half float 2 | 3 string 2-byte length n + n bytes | 4 byte 1
//   type 5 short 2     | 6 float 4
//
// An int slot 0 holding 300 packs as A0 01 2C; the string "ab" in slot 0 as 60 00 02 61 62.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vxl {

constexpr int32_t SYNK_SLOT_NONE = 0;
constexpr int32_t SYNK_SLOT_INT = 1;
constexpr int32_t SYNK_SLOT_HALF = 2;
constexpr int32_t SYNK_SLOT_STRING = 3;
constexpr int32_t SYNK_SLOT_BYTE = 4;
constexpr int32_t SYNK_SLOT_SHORT = 5;
constexpr int32_t SYNK_SLOT_FLOAT = 6;

constexpr int32_t SYNK_STATE_CREATED = 1;
constexpr int32_t SYNK_STATE_MODIFIED = 2;
constexpr int32_t SYNK_STATE_CLOSING = 3;
constexpr int32_t SYNK_STATE_SYNCED = 4;
constexpr int32_t SYNK_STATE_MESSAGE = 5;
constexpr int32_t SYNK_STATE_DEAD = -1;

constexpr int32_t kSynkSlotCount = 32;
constexpr int32_t kSynkIdCount = 4096;  // ids 1 to 4095; 0 means none
constexpr int32_t kSynkMaxSlotData = 65520;

// Payload bytes of a slot type (strings: of the length field only); -1 for types 0 and 7.
int32_t SynkPayloadSize(int32_t type);

// Why packed slot data cannot be read: nullptr when every field is whole and they end exactly at
// the end; otherwise the error text, "Invalid Synk data type" (type 0 or 7) or "Corrupt Synk
// message" (a field runs past the end), for the first fault met reading from the front.
const char* SynkSlotDataError(const uint8_t* data, size_t size);

// IEEE 754 half precision bits as a single-precision float (subnormals, infinities and NaN
// included).
float HalfToFloat(uint16_t half);

// A packet head: state and 12-bit id. The id's bits above 11 are not sent.
inline void WriteSynkHead(uint8_t* out, int32_t state, int32_t id) {
  out[0] = static_cast<uint8_t>(((state & 15) << 4) | ((id >> 8) & 15));
  out[1] = static_cast<uint8_t>(id & 255);
}
inline int32_t SynkHeadState(const uint8_t* head) {
  return head[0] >> 4;
}
inline int32_t SynkHeadId(const uint8_t* head) {
  return ((head[0] & 15) << 8) | head[1];
}

}  // namespace vxl
