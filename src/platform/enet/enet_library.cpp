#include "platform/enet/enet.h"

#include <arpa/inet.h>
#include <dlfcn.h>
#include <enet/enet.h>

#include <new>

namespace vxl::platform {

static_assert(ENET_EVENT_TYPE_NONE == kEnetEventNone &&
              ENET_EVENT_TYPE_CONNECT == kEnetEventConnect &&
              ENET_EVENT_TYPE_DISCONNECT == kEnetEventDisconnect &&
              ENET_EVENT_TYPE_RECEIVE == kEnetEventReceive);

namespace {

// The library's entry points, bound by name when it is first needed.
struct EnetLibrary {
  bool tried = false;
  bool ready = false;
  decltype(&enet_initialize) initialize = nullptr;
  decltype(&enet_deinitialize) deinitialize = nullptr;
  decltype(&enet_host_create) host_create = nullptr;
  decltype(&enet_host_destroy) host_destroy = nullptr;
  decltype(&enet_host_flush) host_flush = nullptr;
  decltype(&enet_host_connect) host_connect = nullptr;
  decltype(&enet_host_service) host_service = nullptr;
  decltype(&enet_host_check_events) host_check_events = nullptr;
  decltype(&enet_packet_create) packet_create = nullptr;
  decltype(&enet_packet_destroy) packet_destroy = nullptr;
  decltype(&enet_peer_send) peer_send = nullptr;
  decltype(&enet_peer_disconnect) peer_disconnect = nullptr;
};

// Never destroyed: exit functions and late destructors may still reach it.
EnetLibrary& Library() {
  alignas(EnetLibrary) static unsigned char storage[sizeof(EnetLibrary)];
  static EnetLibrary* library = new (storage) EnetLibrary();
  return *library;
}

template <class F>
bool Bind(void* handle, const char* name, F& entry) {
  entry = reinterpret_cast<F>(dlsym(handle, name));
  return entry != nullptr;
}

bool Load(EnetLibrary& lib) {
  void* handle = dlopen("libenet.so.7", RTLD_NOW | RTLD_LOCAL);
  if (!handle) return false;
  bool ok = Bind(handle, "enet_initialize", lib.initialize) &&
            Bind(handle, "enet_deinitialize", lib.deinitialize) &&
            Bind(handle, "enet_host_create", lib.host_create) &&
            Bind(handle, "enet_host_destroy", lib.host_destroy) &&
            Bind(handle, "enet_host_flush", lib.host_flush) &&
            Bind(handle, "enet_host_connect", lib.host_connect) &&
            Bind(handle, "enet_host_service", lib.host_service) &&
            Bind(handle, "enet_host_check_events", lib.host_check_events) &&
            Bind(handle, "enet_packet_create", lib.packet_create) &&
            Bind(handle, "enet_packet_destroy", lib.packet_destroy) &&
            Bind(handle, "enet_peer_send", lib.peer_send) &&
            Bind(handle, "enet_peer_disconnect", lib.peer_disconnect);
  return ok && lib.initialize() == 0;
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
  if (!lib.tried) {
    lib.tried = true;
    lib.ready = Load(lib);
  }
  return lib.ready;
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
