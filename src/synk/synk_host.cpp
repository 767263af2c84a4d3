#include "synk/synk_host.h"

#include <algorithm>
#include <typeinfo>
#include <vector>

#include "runtime/class_binder.h"

namespace vxl {

VXL_DEFINE_CLASS(TSynkPeer)
VXL_DEFINE_CLASS(TSynkHost)

Ref<TSynkPeer> TSynkPeer::Create(platform::EnetPeer* enetPeer) {
  auto peer = New<TSynkPeer>();
  peer->_enetPeer = enetPeer;
  peer->_localToRemote = Array<int32_t>::New(kSynkIdCount);
  peer->_remoteToLocal = Array<int32_t>::New(kSynkIdCount);
  return peer;
}

void TSynkPeer::Close() {
  platform::EnetPeerDisconnect(_enetPeer);
  _enetPeer = nullptr;
}

void TSynkPeer::MapLocalId(int32_t localId, int32_t remoteId) {
  _localToRemote[localId] = remoteId;
  _remoteToLocal[remoteId] = localId;
}

void TSynkPeer::UnmapLocalId(int32_t localId) {
  int32_t remoteId = _localToRemote[localId];
  _localToRemote[localId] = 0;
  // Only the entry that still points back here: a remote id may already serve another object.
  if (_remoteToLocal[remoteId] == localId) _remoteToLocal[remoteId] = 0;
}

Ref<TSynkMsg> TSynkPeer::RecvMsg(const uint8_t* packet, int32_t size) {
  if (size < 2) Throw("Corrupt Synk message");
  int32_t state = SynkHeadState(packet);
  int32_t id = SynkHeadId(packet);
  if (state != SYNK_STATE_MESSAGE && _remoteToLocal[id] != 0) id = _remoteToLocal[id];
  Array<uint8_t> data = Array<uint8_t>::New(size - 2);
  std::copy(packet + 2, packet + size, data.begin());
  return TSynkMsg::Create(id, state, data);
}

bool TSynkPeer::_Transmit(const Ref<TSynkMsg>& msg) {
  int32_t id = msg->state == SYNK_STATE_MESSAGE ? _localToRemote[msg->id] : msg->id;
  std::vector<uint8_t> packet(2 + static_cast<size_t>(msg->data.Length()));
  WriteSynkHead(packet.data(), msg->state, id);
  std::copy(msg->data.begin(), msg->data.end(), packet.begin() + 2);
  return platform::EnetSendReliable(_enetPeer, 0, packet.data(), packet.size()) >= 0;
}

void TSynkPeer::SendMsg(const Ref<TSynkMsg>& msg) {
  if (!_Transmit(msg)) Throw("ENet errror");
}

void TSynkPeer::Bind(ClassBinder<TSynkPeer>& b) {
  b.ReadOnlyField<&TSynkPeer::_localToRemote>("_localToRemote");
  b.ReadOnlyField<&TSynkPeer::_remoteToLocal>("_remoteToLocal");
  b.Method<&TSynkPeer::Close>("Close");
  b.Method<&TSynkPeer::MapLocalId>("MapLocalId");
  b.Method<&TSynkPeer::UnmapLocalId>("UnmapLocalId");
  b.Method<&TSynkPeer::SendMsg>("SendMsg");
}

namespace {

constexpr size_t kMaxPeers = 32;

// The object as a T, or null. The lists hold objects of exactly that class unless a program put
// something else there, so the exact class is checked first and the full test only for others.
template <class T>
T* AsExactly(Object* o) {
  if (o && typeid(*o) == typeid(T)) return static_cast<T*>(o);
  return dynamic_cast<T*>(o);
}

// Walks a list's values; the next link is taken before the value is handed out, so the visitor
// may remove the current one. A Null list (a field set so through reflection) has none.
template <class T, class F>
void ForEach(const Ref<TList>& list, F&& visit) {
  if (!list) return;
  for (Ref<TLink> link = list->FirstLink(); link;) {
    Ref<TLink> next = link->NextLink();
    if (T* value = AsExactly<T>(link->Value().Get())) visit(Ref<T>(value), link);
    link = next;
  }
}

}  // namespace

Ref<TSynkHost> TSynkHost::Create() {
  return New<TSynkHost>();
}

TSynkHost::~TSynkHost() {
  // Peers the application still holds must not reach the transport's records once they are
  // freed; the disconnects leave with the final flush.
  ForEach<TSynkPeer>(_peers, [](const Ref<TSynkPeer>& peer, const Ref<TLink>&) { peer->Close(); });
  if (_enetHost) {
    _DropEvents();
    platform::EnetHostDestroy(_enetHost);
  }
}

void TSynkHost::_CollectEvents(uint32_t firstWaitMs) {
  if (!_enetHost) return;
  platform::EnetEventRecord record;
  auto keep = [&] {
    auto event = New<ENetEvent>();
    event->event = record.type;
    event->peer = record.peer;
    event->channel = static_cast<int32_t>(record.channel);
    event->packet = record.packet;
    _enetEvents->AddLast(event);
  };
  // Each service call sends and reads; the events it has already taken in are drained without
  // that, so a busy host does not rescan its queues once per event. A failure ends the
  // collection as surely as "no event" does.
  for (uint32_t wait = firstWaitMs; platform::EnetHostService(_enetHost, record, wait) > 0;
       wait = 0) {
    keep();
    while (platform::EnetHostCheckEvents(_enetHost, record) > 0)
      keep();
  }
}

void TSynkHost::UpdateENetEvents() {
  _CollectEvents(0);
}

void TSynkHost::_DropEvents() {
  while (auto event = _enetEvents ? _enetEvents->RemoveFirst().As<ENetEvent>() : nullptr) {
    platform::EnetPacketDestroy(event->packet);
    event->packet = nullptr;
  }
}

void TSynkHost::_TakePeerList() {
  _peerList.clear();
  ForEach<TSynkPeer>(
      _peers, [this](const Ref<TSynkPeer>& peer, const Ref<TLink>&) { _peerList.push_back(peer); });
}

Ref<TSynkPeer> TSynkHost::_FindPeer(platform::EnetPeer* enetPeer) const {
  for (const Ref<TSynkPeer>& peer : _peerList) {
    if (peer->_enetPeer == enetPeer) return peer;
  }
  return nullptr;
}

void TSynkHost::Sync() {
  if (!_enetHost) return;
  _SyncObjects();

  // Events an UpdateENetEvents call left waiting come first; the rest are handled as the
  // transport hands them over. Each service call sends and reads; the events it has already
  // taken in are drained without that, so a busy host does not rescan its queues per event.
  while (auto event = _enetEvents ? _enetEvents->RemoveFirst().As<ENetEvent>() : nullptr) {
    platform::EnetEventRecord record{event->event, event->peer,
                                     static_cast<uint32_t>(event->channel), event->packet};
    event->packet = nullptr;
    _HandleEvent(record);
  }
  // They are taken in batches, so that the records of the objects they address can be fetched
  // ahead of their handling.
  constexpr int kBatch = 16;
  platform::EnetEventRecord batch[kBatch];
  while (platform::EnetHostService(_enetHost, batch[0], 0) > 0) {
    for (int n = 1;; n = 0) {
      while (n < kBatch && platform::EnetHostCheckEvents(_enetHost, batch[n]) > 0)
        ++n;
      _HandleEvents(batch, n);
      if (n < kBatch) break;  // none left waiting
    }
  }
  // What this sync queued (relays included) leaves now rather than at the next one.
  platform::EnetHostFlush(_enetHost);
}

TSynkObject* TSynkHost::_Addressee(const platform::EnetEventRecord& event) const {
  if (event.type != platform::kEnetEventReceive || !event.packet ||
      platform::EnetPacketSize(event.packet) < 2) {
    return nullptr;
  }
  const uint8_t* data = platform::EnetPacketBytes(event.packet);
  if (SynkHeadState(data) != SYNK_STATE_MODIFIED || _idMap.Length() != kSynkIdCount) return nullptr;
  for (const Ref<TSynkPeer>& peer : _peerList) {
    if (peer->_enetPeer != event.peer) continue;
    if (peer->_remoteToLocal.Length() != kSynkIdCount) return nullptr;
    int32_t id = peer->_remoteToLocal.Data()[SynkHeadId(data)];
    return id > 0 && id < kSynkIdCount ? _idMap.Data()[id].Get() : nullptr;
  }
  return nullptr;
}

void TSynkHost::_HandleEvents(platform::EnetEventRecord* batch, int32_t count) {
  // The object records four events ahead, and the slot array two ahead (its object's record
  // has arrived by then), are fetched while the current event is handled.
  constexpr int32_t kAhead = 4, kSlotsAhead = 2;
  for (int32_t i = 0; i < kAhead && i < count; ++i)
    __builtin_prefetch(_Addressee(batch[i]));
  int32_t next = 0;
  // Should a handler throw, the packets of the events after it are still given back.
  struct Rest {
    platform::EnetEventRecord* batch;
    int32_t& next;
    int32_t count;
    ~Rest() {
      for (int32_t i = next; i < count; ++i)
        platform::EnetPacketRelease(batch[i].packet);
    }
  } rest{batch, next, count};
  while (next < count) {
    if (next + kAhead < count) __builtin_prefetch(_Addressee(batch[next + kAhead]));
    if (next + kSlotsAhead < count) {
      TSynkObject* soon = _Addressee(batch[next + kSlotsAhead]);
      if (soon && soon->_slotItems) __builtin_prefetch(soon->_slotItems);
    }
    const platform::EnetEventRecord event = batch[next++];
    _HandleEvent(event);
  }
}

void TSynkHost::_HandleEvent(const platform::EnetEventRecord& event) {
  Ref<TSynkPeer> peer = _FindPeer(event.peer);
  switch (event.type) {
    case platform::kEnetEventConnect:
      if (!peer) AddPeer(event.peer);
      break;
    case platform::kEnetEventDisconnect:
      if (peer) _Disconnected(peer);
      break;
    case platform::kEnetEventReceive:
      if (peer && event.packet) {
        size_t size = platform::EnetPacketSize(event.packet);
        if (size <= INT32_MAX) {
          _Receive(peer, platform::EnetPacketBytes(event.packet), static_cast<int32_t>(size),
                   event.packet);
        }
      }
      break;
    default:  // an event type this host does not know is ignored
      break;
  }
  platform::EnetPacketRelease(event.packet);  // peers it was relayed to still hold it
}

void TSynkHost::_List(const Ref<TSynkObject>& object) {
  object->_listLink = _objects->AddLast(object);
  object->_listOrder = _listed++;
  if (object->_state != SYNK_STATE_SYNCED && !object->_queued) _Queue(*object);
}

void TSynkHost::_Queue(TSynkObject& object) {
  if (_ended) return;
  object._queued = true;
  (object._peer ? _remoteQueue : _localQueue).emplace_back(&object);
}

void TSynkHost::_SyncObjects() {
  _TakePeerList();  // the program may have changed the list since the last sync
  _created->Clear();
  _modified->Clear();
  _closed->Clear();
  _messages->Clear();
  if (!_objects) return;  // a Null list (set so through reflection) has nothing to sync
  _SyncQueue(_remoteQueue, false);
  _SyncQueue(_localQueue, true);
}

void TSynkHost::_SyncQueue(std::vector<Ref<TSynkObject>>& queue, bool local) {
  std::vector<Ref<TSynkObject>> visit;
  visit.swap(queue);
  if (local) {
    // In list order, as a walk of the whole list would meet them: the packets leave in that
    // order.
    auto byOrder = [](const Ref<TSynkObject>& a, const Ref<TSynkObject>& b) {
      return a->_listOrder < b->_listOrder;
    };
    if (!std::is_sorted(visit.begin(), visit.end(), byOrder))
      std::sort(visit.begin(), visit.end(), byOrder);
  }
  size_t next = 0;
  // When a send throws, the objects not yet visited stay queued, ahead of any queued since.
  struct Requeue {
    std::vector<Ref<TSynkObject>>& visit;
    size_t& next;
    std::vector<Ref<TSynkObject>>& queue;
    ~Requeue() {
      if (next < visit.size()) {
        queue.insert(queue.begin(), visit.begin() + ptrdiff_t(next), visit.end());
      } else if (queue.empty()) {  // the storage serves the next sync
        visit.clear();
        visit.swap(queue);
      }
    }
  } requeue{visit, next, queue};
  constexpr size_t kAhead = 8;  // objects whose records are fetched ahead of their visit
  for (size_t k = 0; k < kAhead && k < visit.size(); ++k)
    __builtin_prefetch(visit[k].Get());
  for (; next < visit.size(); ++next) {
    if (next + kAhead < visit.size()) __builtin_prefetch(visit[next + kAhead].Get());
    TSynkObject& object = *visit[next];
    // An object the program took out of the list is not synced by it, as before (a link taken
    // out of its list lets go of its value).
    const bool listed = object._listLink && object._listLink->Value().Get() == &object;
    if (listed && object._state != SYNK_STATE_SYNCED) {
      if (!object._peer) {
        _SendChanges(object);
      } else {
        object._Advance();
      }
      if (object._state == SYNK_STATE_DEAD) {
        // A remote object closed here rather than by its owner lets go of its id as well: the
        // owner's later changes to it are dropped instead of bringing it back.
        const Ref<TSynkObject>& held = visit[next];
        if (object._peer && _idMap[object._id] == held) object._peer->UnmapLocalId(object._id);
        UnmapObject(held);
        object._listLink->Remove();
        object._listLink = nullptr;
      }
    }
    object._queued = false;
  }
}

void TSynkHost::_SendChanges(TSynkObject& object) {
  // What Sync would send, packed straight into one transport packet for every peer.
  const int32_t state = object._state;
  if (state != SYNK_STATE_SYNCED && state != SYNK_STATE_DEAD) {
    int64_t size = object.PackedSize(object._modified);
    if (size > kSynkMaxSlotData) Throw("Synk message data too large");
    platform::EnetPacket* packet =
        _peerList.empty() ? nullptr : platform::EnetPacketCreate(nullptr, size_t(2 + size));
    if (packet) {
      uint8_t* bytes = platform::EnetPacketBytes(packet);
      WriteSynkHead(bytes, state, object._id);
      object._PackInto(object._modified, bytes + 2);
      _Relay(bytes, int32_t(2 + size), packet, nullptr);
      platform::EnetPacketRelease(packet);
    }
  }
  object._Advance();
}

void TSynkHost::_Disconnected(const Ref<TSynkPeer>& peer) {
  ForEach<TSynkObject>(_objects, [&](const Ref<TSynkObject>& object, const Ref<TLink>&) {
    // Objects the peer already closed by message are no longer mapped; their ids may be reused.
    if (object->_peer != peer || _idMap[object->_id] != object) return;
    _BroadCastQuietly(object->ClosedMsg(), peer);
    peer->UnmapLocalId(object->_id);
    UnmapObject(object);
    _closed->AddLast(object);
    object->Close();
  });
  _peers->Remove(peer);
  std::erase(_peerList, peer);
  peer->_enetPeer = nullptr;  // the transport may hand the same peer record to a newcomer
}

void TSynkHost::_ReceivePacket(const Ref<TSynkPeer>& peer, const uint8_t* data, int32_t size) {
  if (!peer || size < 2) return;
  _TakePeerList();
  std::vector<uint8_t> copy(data, data + size);  // the relay rewrites the head
  _Receive(peer, copy.data(), size, nullptr);
}

void TSynkHost::_Receive(const Ref<TSynkPeer>& peer, uint8_t* data, int32_t size,
                         platform::EnetPacket* packet) {
  if (!peer || size < 2) return;
  int32_t state = SynkHeadState(data);
  int32_t wireId = SynkHeadId(data);
  if (state != SYNK_STATE_CREATED && state != SYNK_STATE_MODIFIED && state != SYNK_STATE_CLOSING &&
      state != SYNK_STATE_MESSAGE) {
    return;
  }
  const uint8_t* slots = data + 2;
  const size_t slotBytes = static_cast<size_t>(size - 2);
  if (SynkSlotDataError(slots, slotBytes)) return;

  if (state == SYNK_STATE_MESSAGE) {
    Ref<TSynkMsg> msg = peer->RecvMsg(data, size);
    Ref<TSynkObject> target = _idMap[msg->id];
    if (!target) return;
    if (target->_peer) {
      _SendQuietly(target->_peer, msg);
    } else {
      auto message =
          TSynkObject::Create(msg->id, SYNK_STATE_MESSAGE, Ref<TSynkHost>(this), nullptr);
      _messages->AddLast(message);
      message->Update(msg);
    }
    return;
  }

  // The slots are read where they arrived, and the same bytes go on to the other peers under this
  // host's id for the object.
  Ref<TSynkObject> object;
  int32_t id;
  if (state == SYNK_STATE_CREATED) {
    // A create for an id this peer already uses, or beyond the free ids, is dropped.
    id = wireId ? _FreeId() : 0;
    if (id == 0 || peer->_remoteToLocal[wireId] != 0) return;
    object = TSynkObject::Create(id, SYNK_STATE_CREATED, Ref<TSynkHost>(this), peer);
    MapObject(object);
    peer->MapLocalId(id, wireId);
    _List(object);
    _created->AddLast(object);
  } else {
    // Only objects this peer owns can be changed or closed by it.
    id = peer->_remoteToLocal[wireId];
    if (wireId == 0 || id == 0) return;
    const Ref<TSynkObject>& owned = _idMap[id];
    if (!owned || owned->_peer != peer) return;
    object = owned;
    if (state == SYNK_STATE_MODIFIED) {
      _modified->AddLast(object);
    } else {
      peer->UnmapLocalId(id);
      UnmapObject(object);
      _closed->AddLast(object);
    }
  }
  // The slot array is fetched while the bytes are relayed.
  if (slotBytes && object->_slotItems) __builtin_prefetch(object->_slotItems + (slots[0] & 31));
  WriteSynkHead(data, state, id);
  _Relay(data, size, packet, peer);
  object->_Apply(state, slots, slotBytes);
}

void TSynkHost::Close() {
  ForEach<TSynkPeer>(_peers, [](const Ref<TSynkPeer>& peer, const Ref<TLink>&) { peer->Close(); });
  _peers->Clear();
  _peerList.clear();
  if (_enetHost) {
    _DropEvents();
    platform::EnetHostDestroy(_enetHost);  // flushes first, so the disconnects go out
    _enetHost = nullptr;
  }
  _ended = true;
  // Objects refer to their host: letting go of them here is what frees both.
  for (auto* queue : {&_localQueue, &_remoteQueue}) {
    for (const Ref<TSynkObject>& object : *queue)
      object->_queued = false;
    queue->clear();
  }
  _objects->Clear();
  _created->Clear();
  _modified->Clear();
  _closed->Clear();
  _messages->Clear();
  for (Ref<TSynkObject>& entry : _idMap)
    entry = nullptr;
}

void TSynkHost::_SendQuietly(const Ref<TSynkPeer>& peer, const Ref<TSynkMsg>& msg) {
  peer->_Transmit(msg);
}

void TSynkHost::_BroadCastQuietly(const Ref<TSynkMsg>& msg, const Ref<TSynkPeer>& exceptPeer) {
  if (msg->state == SYNK_STATE_MESSAGE) {  // addressed in each peer's own numbering
    for (const Ref<TSynkPeer>& peer : _peerList) {
      if (peer != exceptPeer) _SendQuietly(peer, msg);
    }
    return;
  }
  std::vector<uint8_t> bytes(2 + static_cast<size_t>(msg->data.Length()));
  WriteSynkHead(bytes.data(), msg->state, msg->id);
  std::copy(msg->data.begin(), msg->data.end(), bytes.begin() + 2);
  _Relay(bytes.data(), static_cast<int32_t>(bytes.size()), nullptr, exceptPeer);
}

void TSynkHost::_Relay(const uint8_t* bytes, int32_t size, platform::EnetPacket* packet,
                       const Ref<TSynkPeer>& exceptPeer) {
  // One packet for every peer: the transport keeps it until the last of them has sent it.
  platform::EnetPacket* made = nullptr;
  for (const Ref<TSynkPeer>& peer : _peerList) {
    if (peer == exceptPeer || !peer->_enetPeer) continue;
    if (!packet) packet = made = platform::EnetPacketCreate(bytes, static_cast<size_t>(size));
    if (!packet) return;
    platform::EnetPeerSend(peer->_enetPeer, 0, packet);
  }
  platform::EnetPacketRelease(made);
}

void TSynkHost::BroadCast(const Ref<TSynkMsg>& msg, const Ref<TSynkPeer>& exceptPeer) {
  ForEach<TSynkPeer>(_peers, [&](const Ref<TSynkPeer>& peer, const Ref<TLink>&) {
    if (peer != exceptPeer) peer->SendMsg(msg);
  });
}

Ref<TSynkPeer> TSynkHost::AddPeer(platform::EnetPeer* enetPeer) {
  auto peer = TSynkPeer::Create(enetPeer);
  _peers->AddLast(peer);
  _peerList.push_back(peer);
  ForEach<TSynkObject>(_objects, [&](const Ref<TSynkObject>& object, const Ref<TLink>&) {
    // Remote objects created in this sync were announced by their owner already; local ones
    // go to every peer, this one included, at the next sync.
    bool announced = object->_state == SYNK_STATE_SYNCED || object->_state == SYNK_STATE_MODIFIED ||
                     (object->_state == SYNK_STATE_CREATED && object->_peer);
    if (!announced) return;
    // An object whose slots together no longer fit one message cannot be announced whole.
    if (object->PackedSize(-1) > kSynkMaxSlotData) return;
    _SendQuietly(peer, object->CreatedMsg());
  });
  return peer;
}

Ref<TSynkObject> TSynkHost::CreateObject() {
  auto object = TSynkObject::Create(AllocId(), SYNK_STATE_CREATED, Ref<TSynkHost>(this), nullptr);
  MapObject(object);
  _List(object);
  return object;
}

Ref<TSynkObject> TSynkHost::CreateMessage() {
  return TSynkObject::Create(0, SYNK_STATE_MESSAGE, Ref<TSynkHost>(this), nullptr);
}

void TSynkHost::SendSynkMessage(const Ref<TSynkObject>& msg, const Ref<TSynkObject>& target) {
  if (target->_peer) target->_peer->SendMsg(msg->MessageMsg(target->_id));
}

int32_t TSynkHost::_FreeId() const {
  for (int32_t id = _lowestFree; id < kSynkIdCount; ++id) {
    if (!_idMap[id]) return id;
  }
  return 0;
}

int32_t TSynkHost::AllocId() const {
  int32_t id = _FreeId();
  if (id == 0) Throw("Out of Synk object IDs");
  return id;
}

void TSynkHost::MapObject(const Ref<TSynkObject>& object) {
  _idMap[object->_id] = object;
  while (_lowestFree < kSynkIdCount && _idMap[_lowestFree])
    ++_lowestFree;
}

void TSynkHost::UnmapObject(const Ref<TSynkObject>& object) {
  int32_t id = object->_id;
  if (_idMap[id] != object) return;
  _idMap[id] = nullptr;
  _lowestFree = std::max(1, std::min(_lowestFree, id));  // id 0 (a message's) is never handed out
}

bool TSynkHost::Listen(int32_t port) {
  if (_enetHost || _ended) return false;
  _enetHost = platform::EnetHostCreate(true, port, kMaxPeers);
  return _enetHost != nullptr;
}

bool TSynkHost::Connect(int32_t ip, int32_t port, int32_t timeout) {
  if (_enetHost || _ended) return false;
  _enetHost = platform::EnetHostCreate(false, 0, kMaxPeers);
  if (!_enetHost) return false;
  platform::EnetPeer* server =
      platform::EnetHostConnect(_enetHost, static_cast<uint32_t>(ip), port, 1);
  uint32_t start = MillisecondTimer();
  while (server) {
    uint32_t elapsed = MillisecondTimer() - start;
    int64_t left = int64_t{timeout} - elapsed;
    // Wait a little for each round, so the poll does not spin the processor.
    _CollectEvents(static_cast<uint32_t>(std::clamp<int64_t>(left, 0, 10)));
    for (Ref<TLink> link = _enetEvents->FirstLink(); link; link = link->NextLink()) {
      auto event = link->Value().As<ENetEvent>();
      if (event && event->event == platform::kEnetEventConnect && event->peer == server) {
        link->Remove();
        AddPeer(server);
        return true;
      }
    }
    if (left <= 0) break;
  }
  _DropEvents();
  platform::EnetHostDestroy(_enetHost);
  _enetHost = nullptr;
  return false;
}

void TSynkHost::Bind(ClassBinder<TSynkHost>& b) {
  b.ReadOnlyField<&TSynkHost::_enetEvents>("_enetEvents");
  b.ReadOnlyField<&TSynkHost::_peers>("_peers");
  b.ReadOnlyField<&TSynkHost::_objects>("_objects");
  b.ReadOnlyField<&TSynkHost::_created>("_created");
  b.ReadOnlyField<&TSynkHost::_modified>("_modified");
  b.ReadOnlyField<&TSynkHost::_closed>("_closed");
  b.ReadOnlyField<&TSynkHost::_messages>("_messages");
  b.ReadOnlyField<&TSynkHost::_idMap>("_idMap");
  b.Method<&TSynkHost::UpdateENetEvents>("UpdateENetEvents");
  b.Method<&TSynkHost::Sync>("Sync");
  b.Method<&TSynkHost::Close>("Close");
  b.Method<&TSynkHost::BroadCast>("BroadCast");
  b.Method<&TSynkHost::Objects>("Objects");
  b.Method<&TSynkHost::Peers>("Peers");
  b.Method<&TSynkHost::ObjectsCreated>("ObjectsCreated");
  b.Method<&TSynkHost::ObjectsModified>("ObjectsModified");
  b.Method<&TSynkHost::ObjectsClosed>("ObjectsClosed");
  b.Method<&TSynkHost::CreateObject>("CreateObject");
  b.Method<&TSynkHost::CreateMessage>("CreateMessage");
  b.Method<&TSynkHost::SendSynkMessage>("SendSynkMessage");
  b.Method<&TSynkHost::AllocId>("AllocId");
  b.Method<&TSynkHost::MapObject>("MapObject");
  b.Method<&TSynkHost::UnmapObject>("UnmapObject");
}

}  // namespace vxl
