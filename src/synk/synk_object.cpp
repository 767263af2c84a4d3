#include "synk/synk_object.h"

#include <bit>

#include "runtime/class_binder.h"
#include "synk/synk_host.h"

namespace vxl {

VXL_DEFINE_CLASS(TSynkMsg)
VXL_DEFINE_CLASS(TSynkSlot)
VXL_DEFINE_CLASS(TSynkObject)

Ref<TSynkMsg> TSynkMsg::Create(int32_t id, int32_t state, const Array<uint8_t>& data) {
  auto msg = New<TSynkMsg>();
  msg->id = id;
  msg->state = state;
  msg->data = data;
  return msg;
}

void TSynkMsg::Bind(ClassBinder<TSynkMsg>& b) {
  b.ReadOnlyField<&TSynkMsg::id>("id");
  b.ReadOnlyField<&TSynkMsg::state>("state");
  b.Field<&TSynkMsg::data>("data");
}

void TSynkSlot::SetInt(int32_t v) {
  _int = v;
  _type = v < 0 || v > 65535 ? SYNK_SLOT_INT : v <= 255 ? SYNK_SLOT_BYTE : SYNK_SLOT_SHORT;
}

void TSynkSlot::SetFloat(float f) {
  _float = f;
  _type = SYNK_SLOT_FLOAT;
}

void TSynkSlot::SetString(const String& s) {
  _string = s;
  _type = SYNK_SLOT_STRING;
}

void TSynkSlot::Bind(ClassBinder<TSynkSlot>& b) {
  b.ReadOnlyField<&TSynkSlot::_type>("_type");
  b.Field<&TSynkSlot::_int>("_int");
  b.Field<&TSynkSlot::_float>("_float");
  b.Field<&TSynkSlot::_string>("_string");
  b.Method<&TSynkSlot::SetInt>("SetInt");
  b.Method<&TSynkSlot::SetFloat>("SetFloat");
  b.Method<&TSynkSlot::SetString>("SetString");
  b.Method<&TSynkSlot::GetInt>("GetInt");
  b.Method<&TSynkSlot::GetFloat>("GetFloat");
  b.Method<&TSynkSlot::GetString>("GetString");
}

Ref<TSynkObject> TSynkObject::Create(int32_t id, int32_t state, const Ref<TSynkHost>& host,
                                     const Ref<TSynkPeer>& peer) {
  auto object = New<TSynkObject>();
  object->_id = id;
  object->_state = state;
  object->_host = host;
  object->_peer = peer;
  object->_slots = Array<Ref<TSynkSlot>>::New(kSynkSlotCount);
  for (Ref<TSynkSlot>& slot : object->_slots)
    slot = New<TSynkSlot>();
  object->_slotItems = object->_slots.Data();
  return object;
}

void TSynkObject::Close() {
  switch (_state) {
    case SYNK_STATE_CREATED:
      _SetState(SYNK_STATE_DEAD);
      break;
    case SYNK_STATE_CLOSING:
      break;
    case SYNK_STATE_MODIFIED:
    case SYNK_STATE_SYNCED:
      _SetState(SYNK_STATE_CLOSING);
      break;
    default:
      Throw("Illegal object state");
  }
}

Ref<TSynkSlot> TSynkObject::WriteSlot(int32_t index) {
  return Written(index);
}

const Ref<TSynkSlot>& TSynkObject::Written(int32_t index) {
  const Ref<TSynkSlot>& slot = Slot(index);
  _modified |= static_cast<int32_t>(1u << index);
  if (_state == SYNK_STATE_SYNCED) _SetState(SYNK_STATE_MODIFIED);
  return slot;
}

void TSynkObject::SetInt(int32_t index, int32_t v) {
  Written(index)->SetInt(v);
}
void TSynkObject::SetFloat(int32_t index, float f) {
  Written(index)->SetFloat(f);
}
void TSynkObject::SetString(int32_t index, const String& s) {
  Written(index)->SetString(s);
}
int32_t TSynkObject::GetInt(int32_t index) const {
  return Slot(index)->GetInt();
}
float TSynkObject::GetFloat(int32_t index) const {
  return Slot(index)->GetFloat();
}
String TSynkObject::GetString(int32_t index) const {
  return Slot(index)->GetString();
}

Ref<TSynkMsg> TSynkObject::Sync() {
  Ref<TSynkMsg> msg;
  if (_state != SYNK_STATE_SYNCED && _state != SYNK_STATE_DEAD && !_peer)
    msg = TSynkMsg::Create(_id, _state, PackSlots(_modified));
  _Advance();
  return msg;
}

void TSynkObject::_Advance() {
  if (_state == SYNK_STATE_SYNCED || _state == SYNK_STATE_DEAD) return;
  _modified = 0;
  if (_state == SYNK_STATE_CREATED || _state == SYNK_STATE_MODIFIED) {
    _SetState(SYNK_STATE_SYNCED);
  } else if (_state == SYNK_STATE_CLOSING) {
    _SetState(SYNK_STATE_DEAD);
    _target = nullptr;
  }
}

void TSynkObject::Update(const Ref<TSynkMsg>& msg) {
  UnpackSlots(msg->data);
  _SetState(msg->state);
}

void TSynkObject::_Apply(int32_t state, const uint8_t* data, size_t size) {
  _Unpack(data, size);
  _SetState(state);
}

void TSynkObject::_SetState(int32_t state) {
  _state = state;
  if (state != SYNK_STATE_SYNCED && !_queued && _listLink && _host) _host->_Queue(*this);
}

Ref<TSynkMsg> TSynkObject::CreatedMsg() const {
  return TSynkMsg::Create(_id, SYNK_STATE_CREATED, PackSlots(-1));
}

Ref<TSynkMsg> TSynkObject::ClosedMsg() const {
  return TSynkMsg::Create(_id, SYNK_STATE_CLOSING, Array<uint8_t>());
}

Ref<TSynkMsg> TSynkObject::MessageMsg(int32_t targetId) const {
  return TSynkMsg::Create(targetId, SYNK_STATE_MESSAGE, PackSlots(-1));
}

namespace {

void PutBigEndian(uint8_t*& out, uint32_t v, int bytes) {
  for (int shift = 8 * (bytes - 1); shift >= 0; shift -= 8)
    *out++ = static_cast<uint8_t>(v >> shift);
}

uint32_t GetBigEndian(const uint8_t*& in, int bytes) {
  uint32_t v = 0;
  for (int i = 0; i < bytes; ++i)
    v = (v << 8) | *in++;
  return v;
}

}  // namespace

int64_t TSynkObject::PackedSize(int32_t mask) const {
  int64_t size = 0;
  for (uint32_t left = static_cast<uint32_t>(mask); left; left &= left - 1) {
    const TSynkSlot& slot = *Slot(std::countr_zero(left));
    if (slot._type == SYNK_SLOT_STRING) {
      size += slot._string.Length() + 3;
    } else if (slot._type != SYNK_SLOT_NONE) {
      int32_t payload = SynkPayloadSize(slot._type);
      if (payload < 0) Throw("Invalid Synk data type");
      size += payload + 1;
    }
  }
  return size;
}

Array<uint8_t> TSynkObject::PackSlots(int32_t mask) const {
  int64_t size = PackedSize(mask);
  if (size > kSynkMaxSlotData) Throw("Synk message data too large");
  auto data = Array<uint8_t>::New(static_cast<int32_t>(size));
  _PackInto(mask, data.Data());
  return data;
}

void TSynkObject::_PackInto(int32_t mask, uint8_t* out) const {
  for (uint32_t left = static_cast<uint32_t>(mask); left; left &= left - 1) {
    const int32_t i = std::countr_zero(left);
    const TSynkSlot& slot = *Slot(i);
    if (slot._type == SYNK_SLOT_NONE) continue;
    *out++ = static_cast<uint8_t>(slot._type << 5 | i);
    switch (slot._type) {
      case SYNK_SLOT_INT:
        PutBigEndian(out, static_cast<uint32_t>(slot._int), 4);
        break;
      case SYNK_SLOT_BYTE:
        PutBigEndian(out, static_cast<uint32_t>(slot._int), 1);
        break;
      case SYNK_SLOT_SHORT:
        PutBigEndian(out, static_cast<uint32_t>(slot._int), 2);
        break;
      case SYNK_SLOT_FLOAT:
        PutBigEndian(out, std::bit_cast<uint32_t>(slot._float), 4);
        break;
      case SYNK_SLOT_STRING: {
        std::string bytes = slot._string.ToCString();
        PutBigEndian(out, static_cast<uint32_t>(bytes.size()), 2);
        for (char c : bytes)
          *out++ = static_cast<uint8_t>(c);
        break;
      }
      default:  // half floats are only ever received
        Throw("Invalid Synk data type");
    }
  }
}

void TSynkObject::UnpackSlots(const Array<uint8_t>& data) {
  const size_t size = static_cast<size_t>(data.Length());
  if (const char* error = SynkSlotDataError(data.Data(), size)) Throw(error);
  _Unpack(data.Data(), size);
}

void TSynkObject::_Unpack(const uint8_t* data, size_t size) {
  const uint8_t* in = data;
  const uint8_t* end = in + size;
  while (in < end) {
    int32_t type = *in >> 5;
    int32_t index = *in++ & 31;
    switch (type) {
      case SYNK_SLOT_INT:
        SetInt(index, static_cast<int32_t>(GetBigEndian(in, 4)));
        break;
      case SYNK_SLOT_BYTE:
        SetInt(index, static_cast<int32_t>(GetBigEndian(in, 1)));
        break;
      case SYNK_SLOT_SHORT:
        SetInt(index, static_cast<int32_t>(GetBigEndian(in, 2)));
        break;
      case SYNK_SLOT_HALF:
        SetFloat(index, HalfToFloat(static_cast<uint16_t>(GetBigEndian(in, 2))));
        break;
      case SYNK_SLOT_FLOAT:
        SetFloat(index, std::bit_cast<float>(GetBigEndian(in, 4)));
        break;
      case SYNK_SLOT_STRING: {
        int32_t length = static_cast<int32_t>(GetBigEndian(in, 2));
        SetString(index, String::FromBytes(in, length));
        in += length;
        break;
      }
    }
  }
}

void TSynkObject::Bind(ClassBinder<TSynkObject>& b) {
  b.ReadOnlyField<&TSynkObject::_id>("_id");
  b.ReadOnlyField<&TSynkObject::_state>("_state");
  b.ReadOnlyField<&TSynkObject::_host>("_host");
  b.ReadOnlyField<&TSynkObject::_peer>("_peer");
  b.Field<&TSynkObject::_target>("_target");
  b.ReadOnlyField<&TSynkObject::_slots>("_slots");
  b.ReadOnlyField<&TSynkObject::_modified>("_modified");
  b.Method<&TSynkObject::State>("State");
  b.Method<&TSynkObject::Close>("Close");
  b.Method<&TSynkObject::SetInt>("SetInt");
  b.Method<&TSynkObject::SetFloat>("SetFloat");
  b.Method<&TSynkObject::SetString>("SetString");
  b.Method<&TSynkObject::GetInt>("GetInt");
  b.Method<&TSynkObject::GetFloat>("GetFloat");
  b.Method<&TSynkObject::GetString>("GetString");
  b.Method<&TSynkObject::WriteSlot>("WriteSlot");
  b.Method<&TSynkObject::Sync>("Sync");
  b.Method<&TSynkObject::Update>("Update");
  b.Method<&TSynkObject::CreatedMsg>("CreatedMsg");
  b.Method<&TSynkObject::ClosedMsg>("ClosedMsg");
  b.Method<&TSynkObject::MessageMsg>("MessageMsg");
  b.Method<&TSynkObject::PackSlots>("PackSlots");
  b.Method<&TSynkObject::UnpackSlots>("UnpackSlots");
}

}  // namespace vxl
