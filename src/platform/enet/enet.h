// Native reliable-UDP transport: the system's ENet library, loaded on first use. Hosts, peers
// and packets are the library's own objects behind opaque pointers; addresses are IPv4 in host
// byte order. Everything runs on the caller's thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vxl::platform {

struct EnetHost;
struct EnetPeer;
struct EnetPacket;

// Event types as the library numbers them.
constexpr int32_t kEnetEventNone = 0;
constexpr int32_t kEnetEventConnect = 1;
constexpr int32_t kEnetEventDisconnect = 2;
constexpr int32_t kEnetEventReceive = 3;

struct EnetEventRecord {
  int32_t type = kEnetEventNone;
  EnetPeer* peer = nullptr;
  uint32_t channel = 0;
  EnetPacket* packet = nullptr;  // receive events only; the receiver destroys it
};

// Loads the library (once per process, through the lazy-library helper: "libenet") and
// initialises it if it is not initialised. False when it cannot be loaded or initialised; every
// other operation then fails the way it does for a null host.
bool EnetReady();
// Why the library did not load ("" before a failure).
std::string EnetOpenError();
// Deinitialises the library if EnetReady started it (for the exit functions). A later EnetReady
// initialises it again.
void EnetShutdown();

// A host for at most `peers` peers with unlimited bandwidth: bound to every local address on
// `port` when `bind` is true, otherwise on a port the system chooses. Null on failure, and for a
// port outside 0 to 65535.
EnetHost* EnetHostCreate(bool bind, int32_t port, size_t peers);
// Sends what is queued, then releases the host and its peers.
void EnetHostDestroy(EnetHost* host);
// Sends everything queued now.
void EnetHostFlush(EnetHost* host);
// Bytes of UDP payload the host has sent so far, wrapping at 2^32 (for measurements).
uint32_t EnetHostSentBytes(const EnetHost* host);
// Starts connecting to ip:port with `channels` channels; the peer, or null (also for a port
// outside 0 to 65535).
EnetPeer* EnetHostConnect(EnetHost* host, uint32_t ip, int32_t port, size_t channels);
// Waits up to `timeoutMs` for one event: 1 an event was stored, 0 none, negative a failure.
// Sends what is queued and reads what has arrived on the way.
int32_t EnetHostService(EnetHost* host, EnetEventRecord& event, uint32_t timeoutMs);
// The next event already taken in by EnetHostService, without sending or reading: 1 an event
// was stored, 0 none, negative a failure.
int32_t EnetHostCheckEvents(EnetHost* host, EnetEventRecord& event);

// Queues a reliable packet holding a copy of the bytes on `channel`. Negative when it cannot be
// sent (the peer is not connected, the packet is too large, no memory); the packet is then
// already released.
int32_t EnetSendReliable(EnetPeer* peer, uint8_t channel, const uint8_t* data, size_t size);
// Asks the peer to disconnect; the disconnect event follows.
void EnetPeerDisconnect(EnetPeer* peer);

// A reliable packet holding a copy of the bytes (or room for them when data is null), to be
// queued on any number of peers with EnetPeerSend: one packet for the same bytes to many peers.
// Null when there is no memory.
EnetPacket* EnetPacketCreate(const uint8_t* data, size_t size);
// Queues `packet` reliably on the peer's `channel`; each peer holding it keeps it alive until it
// has been sent there. Received packets may be sent on as well. Negative when refused.
int32_t EnetPeerSend(EnetPeer* peer, uint8_t channel, EnetPacket* packet);
// Ends the caller's hold on a packet (made by EnetPacketCreate or received): freed now unless a
// peer still has it queued, else once the last such peer has sent it.
void EnetPacketRelease(EnetPacket* packet);
// The bytes of a packet the caller holds, writable until it is queued.
uint8_t* EnetPacketBytes(EnetPacket* packet);

const uint8_t* EnetPacketData(const EnetPacket* packet);
size_t EnetPacketSize(const EnetPacket* packet);
void EnetPacketDestroy(EnetPacket* packet);

}  // namespace vxl::platform
