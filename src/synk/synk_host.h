// Synk hosts and peers: replication of objects between programs over reliable UDP.
//
//   Ref<TSynkHost> hub = NewSynkHost();
//   hub->Listen(7777);                                   // or ConnectSynkHost(host, "server", ...)
//   for (;;) {
//     hub->Sync();                                       // send local changes, take in the peers'
//     for (Ref<Object> o : hub->ObjectsCreated()) ...    // remote objects that appeared
//   }
//   hub->Close();                                        // a closed host is not used again
//
// A host relays what one peer sends to all its other peers, so a listening host is the hub of a
// star. Every host numbers objects with its own ids 1 to 4095; peers translate ids both ways.
// Nothing a remote peer sends can make Sync throw: malformed or misaddressed packets are dropped.
#pragma once

#include <cstdint>
#include <vector>

#include "collections/list/list.h"
#include "platform/enet/enet.h"
#include "synk/enet_event.h"
#include "synk/synk_object.h"

namespace vxl {

class TSynkPeer : public Object {
 public:
  VXL_CLASS(TSynkPeer, Object)
  platform::EnetPeer* _enetPeer = nullptr;  // null once closed
  Array<int32_t> _localToRemote;            // 0: unmapped
  Array<int32_t> _remoteToLocal;

  static Ref<TSynkPeer> Create(platform::EnetPeer* enetPeer);

  // Disconnects and forgets the transport peer.
  void Close();
  void MapLocalId(int32_t localId, int32_t remoteId);
  // Clears the mapping of localId in both directions.
  void UnmapLocalId(int32_t localId);
  // The message in a packet: state and id from the head (a mapped id of a state other than 5
  // becomes the local id), the rest as data. Raises "Corrupt Synk message" below 2 bytes.
  Ref<TSynkMsg> RecvMsg(const uint8_t* packet, int32_t size);
  // Sends the message reliably on channel 0; a message (state 5) is addressed in the peer's own
  // numbering. Raises "ENet errror" when the transport refuses it.
  void SendMsg(const Ref<TSynkMsg>& msg);
  // SendMsg reporting a refusal as false.
  bool _Transmit(const Ref<TSynkMsg>& msg);

  static void Bind(ClassBinder<TSynkPeer>& b);
};

class TSynkHost : public Object {
 public:
  VXL_CLASS(TSynkHost, Object)
  // Made whole by construction, so a host made by reflection works as one from Create does.
  platform::EnetHost* _enetHost = nullptr;
  Ref<TList> _enetEvents = NewList();
  Ref<TList> _peers = NewList();
  Ref<TList> _objects = NewList();
  Ref<TList> _created = NewList();
  Ref<TList> _modified = NewList();
  Ref<TList> _closed = NewList();
  Ref<TList> _messages = NewList();
  Array<Ref<TSynkObject>> _idMap = Array<Ref<TSynkObject>>::New(kSynkIdCount);

  static Ref<TSynkHost> Create();
  ~TSynkHost() override;

  // Appends every event the transport has ready; stops at the first failure.
  void UpdateENetEvents();
  // Sends local changes to every peer, then takes in connects, disconnects and messages from the
  // peers. Does nothing on a host that is not attached.
  void Sync();
  // Disconnects every peer and ends the transport host. The host lets go of its objects and
  // lists, and cannot listen or connect again.
  void Close();
  // Sends msg to every peer but exceptPeer.
  void BroadCast(const Ref<TSynkMsg>& msg, const Ref<TSynkPeer>& exceptPeer);
  // A new peer, told about every object announced so far.
  Ref<TSynkPeer> AddPeer(platform::EnetPeer* enetPeer);
  Ref<TList> Objects() const { return _objects; }
  Ref<TList> Peers() const { return _peers; }
  Ref<TList> ObjectsCreated() const { return _created; }
  Ref<TList> ObjectsModified() const { return _modified; }
  Ref<TList> ObjectsClosed() const { return _closed; }
  // A new local object with a free id (state 1).
  Ref<TSynkObject> CreateObject();
  // A message object (id 0, state 5): neither mapped nor listed.
  Ref<TSynkObject> CreateMessage();
  // Sends msg's slots to the owner of target; nothing is sent for a local target.
  void SendSynkMessage(const Ref<TSynkObject>& msg, const Ref<TSynkObject>& target);
  // The lowest free id; raises "Out of Synk object IDs" when none is left.
  int32_t AllocId() const;
  // Set or clear the id map entry of object (change the map only through these two, which keep
  // the search for free ids short).
  void MapObject(const Ref<TSynkObject>& object);
  void UnmapObject(const Ref<TSynkObject>& object);
  // Listens on `port` for up to 32 peers. False when already attached or the port is not free.
  bool Listen(int32_t port);
  // Connects to ip:port (host byte order), waiting up to timeout ms for the connection. False
  // when already attached, or on failure or timeout.
  bool Connect(int32_t ip, int32_t port, int32_t timeout);

  // The parts of Sync, for tests and fuzzing without a transport: clearing the per-sync lists and
  // sending local changes; taking in one packet from `peer` as a receive event does; a peer's
  // disconnect event. The first two take the peers list afresh.
  void _SyncObjects();
  void _ReceivePacket(const Ref<TSynkPeer>& peer, const uint8_t* data, int32_t size);
  void _Disconnected(const Ref<TSynkPeer>& peer);
  // Takes the peers list as the relays walk it (after the program may have changed it).
  void _TakePeerList();
  // Puts a listed object that is not synced among those the next sync visits (objects call it
  // as their state changes).
  void _Queue(TSynkObject& object);

  static void Bind(ClassBinder<TSynkHost>& b);

 private:
  // The lowest free id, or 0.
  int32_t _FreeId() const;
  void _CollectEvents(uint32_t firstWaitMs);
  void _DropEvents();
  Ref<TSynkPeer> _FindPeer(platform::EnetPeer* enetPeer) const;
  // Appends the object to the object list, queued for the next sync.
  void _List(const Ref<TSynkObject>& object);
  // Visits the objects of one queue (the local ones in list order): local objects send their
  // changes, every one moves on, the dead leave the list.
  void _SyncQueue(std::vector<Ref<TSynkObject>>& queue, bool local);
  void _HandleEvent(const platform::EnetEventRecord& event);
  // Handles count events in order.
  void _HandleEvents(platform::EnetEventRecord* batch, int32_t count);
  // The object a received packet would change, found without checking the packet (a guess for
  // fetching ahead), or null.
  TSynkObject* _Addressee(const platform::EnetEventRecord& event) const;
  // Sends a local object's changes to every peer as its Sync would, and moves its state on.
  void _SendChanges(TSynkObject& object);
  // Takes in one packet from `peer`: the slots are read where they lie, and the head is
  // rewritten for relaying. `packet` is the transport's packet holding the bytes, or null.
  void _Receive(const Ref<TSynkPeer>& peer, uint8_t* data, int32_t size,
                platform::EnetPacket* packet);
  // Sends the packet bytes (in `packet` when given, else copied into one packet) to every peer
  // but exceptPeer, ignoring refusals.
  void _Relay(const uint8_t* bytes, int32_t size, platform::EnetPacket* packet,
              const Ref<TSynkPeer>& exceptPeer);
  // Sends, ignoring a refusal: used for traffic a peer caused or that a departing peer misses.
  static void _SendQuietly(const Ref<TSynkPeer>& peer, const Ref<TSynkMsg>& msg);
  void _BroadCastQuietly(const Ref<TSynkMsg>& msg, const Ref<TSynkPeer>& exceptPeer);

  std::vector<Ref<TSynkPeer>> _peerList;  // the peers in _peers, for the relays
  // The listed objects whose state changed since the last sync: a sync visits these instead of
  // the whole list. Local objects send, so they are visited in list order; remote ones only move
  // on, in any order.
  std::vector<Ref<TSynkObject>> _localQueue;
  std::vector<Ref<TSynkObject>> _remoteQueue;
  int64_t _listed = 0;      // objects listed so far: the order of the next one
  bool _ended = false;      // closed: never attached again
  int32_t _lowestFree = 1;  // every id below this one is in use
};

}  // namespace vxl
