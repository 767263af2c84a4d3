#include "platform/enet/enet.h"

#include <arpa/inet.h>
#include <enet/enet.h>

#include "platform/library/lazy_library.h"

namespace vxl::platform {

static_assert(ENET_EVENT_TYPE_NONE == kEnetEventNone &&
              ENET_EVENT_TYPE_CONNECT == kEnetEventConnect &&
              ENET_EVENT_TYPE_DISCONNECT == kEnetEventDisconnect &&
              ENET_EVENT_TYPE_RECEIVE == kEnetEventReceive);

namespace {

// The library's entry points, filled when it is first needed: function pointers only, so
// nothing runs at exit.
struct EnetLibrary {
  decltype(&enet_initialize) initialize;
  decltype(&enet_deinitialize) deinitialize;
  decltype(&enet_host_create) host_create;
  decltype(&enet_host_destroy) host_destroy;
  decltype(&enet_host_flush) host_flush;
  decltype(&enet_host_connect) host_connect;
  decltype(&enet_host_service) host_service;
  decltype(&enet_host_check_events) host_check_events;
  decltype(&enet_packet_create) packet_create;
  decltype(&enet_packet_destroy) packet_destroy;
  decltype(&enet_peer_send) peer_send;
  decltype(&enet_peer_disconnect) peer_disconnect;
  // Whether enet_initialize has run since the last enet_deinitialize (main thread only).
  bool ready;
};

EnetLibrary& Library() {
  return EntryPoints<EnetLibrary>();
}

LazyLibrary& EnetLazyLibrary() {
  EnetLibrary& lib = Library();
  static LazyLibrary& library = LazyLibrary::Define(
      "libenet", {"libenet.so.7"},
      {Required("enet_initialize", lib.initialize),
       Required("enet_deinitialize", lib.deinitialize),
       Required("enet_host_create", lib.host_create),
       Required("enet_host_destroy", lib.host_destroy),
       Required("enet_host_flush", lib.host_flush),
       Required("enet_host_connect", lib.host_connect),
       Required("enet_host_service", lib.host_service),
       Required("enet_host_check_events", lib.host_check_events),
       Required("enet_packet_create", lib.packet_create),
       Required("enet_packet_destroy", lib.packet_destroy),
       Required("enet_peer_send", lib.peer_send),
       Required("enet_peer_disconnect", lib.peer_disconnect)});
  return library;
}

ENetHost* Native(EnetHost* host) {
  return reinterpret_cast<ENetHost*>(host);
}
ENetPeer* Native(EnetPeer* peer) {
  return reinterpret_cast<ENetPeer*>(peer);
}
const ENetPacket* Native(const EnetPacket* packet) {
  return reinterpret_cast<const ENetPacket*>(packet);
}

// Ports are 16 bits: a number outside them names no port, rather than wrapping onto another.
bool ValidPort(int32_t port) {
  return port >= 0 && port <= 65535;
}

}  // namespace

bool EnetReady() {
  EnetLibrary& lib = Library();
  // The library loads once; after EnetShutdown it is initialised again, never reloaded.
  if (!lib.ready && EnetLazyLibrary().Load()) lib.ready = lib.initialize() == 0;
  return lib.ready;
}

std::string EnetOpenError() {
  return EnetLazyLibrary().Error();
}

void EnetShutdown() {
  EnetLibrary& lib = Library();
  if (lib.ready) lib.deinitialize();
  lib.ready = false;
}

EnetHost* EnetHostCreate(bool bind, int32_t port, size_t peers) {
  if ((bind && !ValidPort(port)) || !EnetReady()) return nullptr;
  ENetAddress address{};
  address.host = ENET_HOST_ANY;
  address.port = static_cast<enet_uint16>(port);
  return reinterpret_cast<EnetHost*>(
      Library().host_create(bind ? &address : nullptr, peers, 1, 0, 0));
}

void EnetHostDestroy(EnetHost* host) {
  if (!host || !Library().ready) return;
  Library().host_flush(Native(host));
  Library().host_destroy(Native(host));
}

void EnetHostFlush(EnetHost* host) {
  if (host && Library().ready) Library().host_flush(Native(host));
}

uint32_t EnetHostSentBytes(const EnetHost* host) {
  return host ? reinterpret_cast<const ENetHost*>(host)->totalSentData : 0;
}

EnetPeer* EnetHostConnect(EnetHost* host, uint32_t ip, int32_t port, size_t channels) {
  if (!host || !ValidPort(port) || !Library().ready) return nullptr;
  ENetAddress address{};
  address.host = htonl(ip);
  address.port = static_cast<enet_uint16>(port);
  return reinterpret_cast<EnetPeer*>(Library().host_connect(Native(host), &address, channels, 0));
}

namespace {

int32_t Store(int r, const ENetEvent& native, EnetEventRecord& event) {
  if (r <= 0) return r;
  event.type = static_cast<int32_t>(native.type);
  event.peer = reinterpret_cast<EnetPeer*>(native.peer);
  event.channel = native.channelID;
  event.packet = reinterpret_cast<EnetPacket*>(native.packet);
  return 1;
}

}  // namespace

int32_t EnetHostService(EnetHost* host, EnetEventRecord& event, uint32_t timeoutMs) {
  if (!host || !Library().ready) return -1;
  ENetEvent native{};
  return Store(Library().host_service(Native(host), &native, timeoutMs), native, event);
}

int32_t EnetHostCheckEvents(EnetHost* host, EnetEventRecord& event) {
  if (!host || !Library().ready) return -1;
  ENetEvent native{};
  return Store(Library().host_check_events(Native(host), &native), native, event);
}

int32_t EnetSendReliable(EnetPeer* peer, uint8_t channel, const uint8_t* data, size_t size) {
  if (!peer || !Library().ready) return -1;
  ENetPacket* packet = Library().packet_create(data, size, ENET_PACKET_FLAG_RELIABLE);
  if (!packet) return -1;
  int r = Library().peer_send(Native(peer), channel, packet);
  // A refused packet is not queued anywhere, so it is still ours to release.
  if (r < 0 && packet->referenceCount == 0) Library().packet_destroy(packet);
  return r;
}

void EnetPeerDisconnect(EnetPeer* peer) {
  if (peer && Library().ready) Library().peer_disconnect(Native(peer), 0);
}

EnetPacket* EnetPacketCreate(const uint8_t* data, size_t size) {
  if (!Library().ready) return nullptr;
  return reinterpret_cast<EnetPacket*>(
      Library().packet_create(data, size, ENET_PACKET_FLAG_RELIABLE));
}

int32_t EnetPeerSend(EnetPeer* peer, uint8_t channel, EnetPacket* packet) {
  if (!peer || !packet || !Library().ready) return -1;
  ENetPacket* native = reinterpret_cast<ENetPacket*>(packet);
  native->flags |= ENET_PACKET_FLAG_RELIABLE;  // a received packet may have come unreliably
  return Library().peer_send(Native(peer), channel, native);
}

void EnetPacketRelease(EnetPacket* packet) {
  // The library counts the peers that have the packet queued and frees it after the last send.
  if (packet && Library().ready && reinterpret_cast<ENetPacket*>(packet)->referenceCount == 0)
    Library().packet_destroy(reinterpret_cast<ENetPacket*>(packet));
}

uint8_t* EnetPacketBytes(EnetPacket* packet) {
  return reinterpret_cast<ENetPacket*>(packet)->data;
}

const uint8_t* EnetPacketData(const EnetPacket* packet) {
  return Native(packet)->data;
}

size_t EnetPacketSize(const EnetPacket* packet) {
  return Native(packet)->dataLength;
}

void EnetPacketDestroy(EnetPacket* packet) {
  if (packet && Library().ready) Library().packet_destroy(reinterpret_cast<ENetPacket*>(packet));
}

}  // namespace vxl::platform
