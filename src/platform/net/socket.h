// Native IPv4 sockets: stream and datagram sockets, name resolution. Handles are the system's
// small non-negative integers; -1 stands for "no socket". Addresses are IPv4 in host byte order
// (a.b.c.d = a*2^24 + b*2^16 + c*2^8 + d), ports are plain numbers. Every call blocks the way
// the system call under it does; none raises a signal (a peer that resets a connection makes
// the next send fail instead of stopping the program).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vxl::platform {

// Starts and stops the system's socket library. Sockets need no start-up on POSIX, so these do
// nothing here; a system that does need one (version 1.1 is asked for) starts it here.
void StartSocketLibrary();
void StopSocketLibrary();

// A new IPv4 stream (TCP) or datagram (UDP) socket; -1 on failure.
int32_t OpenStreamSocket();
int32_t OpenDatagramSocket();
// Releases the handle.
void CloseSocket(int32_t handle);

// send / recv of up to `count` bytes with the usual flag bits (1 out-of-band, 2 peek, 4 do not
// route). The number of bytes transferred, or a negative value on error; recv gives 0 when the
// peer has closed.
int32_t SendBytes(int32_t handle, const uint8_t* buf, int32_t count, int32_t flags);
int32_t RecvBytes(int32_t handle, uint8_t* buf, int32_t count, int32_t flags);

// Binds to every local address on `port` (0: the system chooses one). False on failure, and for
// a port outside 0 to 65535.
bool BindAnyAddress(int32_t handle, int32_t port);
// Connects to ip:port, giving up after `timeoutMs` milliseconds (0 or negative: waits as long as
// the system does, which is minutes for a peer that never answers). False on failure (refused,
// unreachable, timed out, a port outside 0 to 65535, ...); after a timeout the socket is unusable.
bool ConnectTo(int32_t handle, uint32_t ip, int32_t port, int32_t timeoutMs = 0);
bool StartListening(int32_t handle, int32_t backlog);
// Waits up to `timeoutMs` milliseconds (negative: without limit) for the socket to become
// readable: 1 readable (for a listening socket: a client is waiting), 0 timed out, -1 error.
int32_t WaitReadable(int32_t handle, int32_t timeoutMs);
// True for a connection-type socket (TCP) that is not listening and has been connected: the only
// kind whose peer can close it, so the only kind for which readable with no bytes means the peer
// has gone.
bool HasClosablePeer(int32_t handle);
// Accepts a waiting client; its handle, or -1.
int32_t AcceptClient(int32_t handle);
// Bytes that can be read without blocking; 0 on error.
int32_t BytesAvailable(int32_t handle);
// Switches the Nagle algorithm off (enable non-zero) or on for a stream socket.
void SetNoDelay(int32_t handle, int32_t enable);

// The socket's own and its peer's address. False on failure (not bound, not connected).
bool LocalAddress(int32_t handle, uint32_t& ip, int32_t& port);
bool PeerAddress(int32_t handle, uint32_t& ip, int32_t& port);

// Every IPv4 address of a host name (or dotted address) in the order the resolver gives them,
// without repeats; empty when the name does not resolve. Thread-safe.
std::vector<uint32_t> ResolveIPv4(const std::string& name);
// The host name of an address; "" when unknown. Thread-safe.
std::string HostNameOf(uint32_t ip);

}  // namespace vxl::platform
