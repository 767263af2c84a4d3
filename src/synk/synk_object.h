// Synk objects: replicated objects of 32 typed value slots, and the messages that carry them.
//
//   Ref<TSynkObject> ship = host->CreateObject();    // local, state 1 (created)
//   ship->SetInt(0, 300);                            // slot 0 becomes a short
//   ship->SetString(1, "Enterprise");
//   host->Sync();                                    // announced to every peer; state 4 (synced)
//   ship->SetFloat(2, 0.5f);                         // state 2 (modified) until the next Sync
//   ship->Close();                                   // state 3; the next Sync sends the close
//
// Errors are thrown as the message string itself.
#pragma once

#include <cstdint>

#include "runtime/runtime.h"
#include "synk/synk_wire.h"

namespace vxl {

class TLink;
class TSynkHost;
class TSynkPeer;

// One message on the wire: object id, state, packed slots.
class TSynkMsg : public Object {
 public:
  VXL_CLASS(TSynkMsg, Object)
  int32_t id = 0;
  int32_t state = 0;
  Array<uint8_t> data;  // empty when there are no slots

  static Ref<TSynkMsg> Create(int32_t id, int32_t state, const Array<uint8_t>& data);
  static void Bind(ClassBinder<TSynkMsg>& b);
};

class TSynkSlot : public Object {
 public:
  VXL_CLASS(TSynkSlot, Object)
  int32_t _type = SYNK_SLOT_NONE;
  int32_t _int = 0;
  float _float = 0;
  String _string;

  // The type follows the value: below 0 int, 0-255 byte, 256-65535 short, above int.
  void SetInt(int32_t v);
  void SetFloat(float f);
  void SetString(const String& s);
  // The fields as they are, whatever the type.
  int32_t GetInt() const { return _int; }
  float GetFloat() const { return _float; }
  String GetString() const { return _string; }

  static void Bind(ClassBinder<TSynkSlot>& b);
};

class TSynkObject : public Object {
 public:
  VXL_CLASS(TSynkObject, Object)
  int32_t _id = 0;
  int32_t _state = 0;
  Ref<TSynkHost> _host;
  Ref<TSynkPeer> _peer;  // Null for a local object
  Ref<Object> _target;
  Array<Ref<TSynkSlot>> _slots;
  int32_t _modified = 0;  // bit i: slot i changed since the last sync
  // The object's link in its host's object list (Null while it is in none), its place in that
  // list's order, and whether the host's next sync visits it.
  Ref<TLink> _listLink;
  int64_t _listOrder = 0;
  bool _queued = false;
  // Where _slots keeps its elements (its length fixed at kSynkSlotCount), or null.
  Ref<TSynkSlot>* _slotItems = nullptr;

  static Ref<TSynkObject> Create(int32_t id, int32_t state, const Ref<TSynkHost>& host,
                                 const Ref<TSynkPeer>& peer);

  int32_t State() const { return _state; }
  // 1 becomes -1 (never announced), 2 and 4 become 3, 3 stays; other states raise "Illegal
  // object state".
  void Close();
  void SetInt(int32_t index, int32_t v);
  void SetFloat(int32_t index, float f);
  void SetString(int32_t index, const String& s);
  int32_t GetInt(int32_t index) const;
  float GetFloat(int32_t index) const;
  String GetString(int32_t index) const;
  // Marks slot `index` modified (a synced object becomes modified) and returns it.
  Ref<TSynkSlot> WriteSlot(int32_t index);
  // What this object sends at a sync (Null for states 4 and -1, and for remote objects), then
  // moves on: 1 and 2 become 4, 3 becomes -1 and lets go of the target.
  Ref<TSynkMsg> Sync();
  // Applies a received message: its slots, then its state.
  void Update(const Ref<TSynkMsg>& msg);
  Ref<TSynkMsg> CreatedMsg() const;                  // (id, 1, every slot)
  Ref<TSynkMsg> ClosedMsg() const;                   // (id, 3, no slots)
  Ref<TSynkMsg> MessageMsg(int32_t targetId) const;  // (targetId, 5, every slot)
  // The slots whose bit is set in mask, in index order. Raises "Synk message data too large"
  // above 65520 bytes.
  Array<uint8_t> PackSlots(int32_t mask) const;
  // The bytes PackSlots(mask) takes.
  int64_t PackedSize(int32_t mask) const;
  // Sets the slots the data name through the setters (so they count as modified). Raises
  // "Invalid Synk data type" or "Corrupt Synk message" and changes nothing when the data are
  // not well formed.
  void UnpackSlots(const Array<uint8_t>& data);
  // Update from packed slots where they lie, which SynkSlotDataError found well formed: the
  // slots as UnpackSlots sets them, then the state.
  void _Apply(int32_t state, const uint8_t* data, size_t size);
  // Sync's move to the next state, without the message.
  void _Advance();
  // Every change of state goes through here: a listed object that is not synced is queued for
  // its host's next sync.
  void _SetState(int32_t state);
  // Writes PackSlots(mask)'s bytes to out, which holds PackedSize(mask) bytes.
  void _PackInto(int32_t mask, uint8_t* out) const;

  static void Bind(ClassBinder<TSynkObject>& b);

 private:
  // The slot at index; the 32 of an object made by Create are read where the array keeps them.
  const Ref<TSynkSlot>& Slot(int32_t index) const {
    if (_slotItems && static_cast<uint32_t>(index) < static_cast<uint32_t>(kSynkSlotCount))
      return _slotItems[index];
    return _slots[index];
  }
  // Sets the slots of well-formed data.
  void _Unpack(const uint8_t* data, size_t size);
  // WriteSlot without a reference of its own to the slot.
  const Ref<TSynkSlot>& Written(int32_t index);
};

}  // namespace vxl
