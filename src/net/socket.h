// Sockets: IPv4 TCP and UDP sockets as objects, and host name resolution.
//
//   Ref<TSocket> server = SocketOpenTcp();
//   server->Bind(0);                                   // the system picks a port
//   server->Listen(4);
//   Ref<TSocket> client = server->Accept(-1);          // waits for a client
//   uint8_t buf[256];
//   int32_t n = client->Recv(buf, sizeof buf, 0);      // 0 on error or when the peer closed
//   String dotted = IpToDottedText(ResolveHostAddress("localhost", 0));   // "127.0.0.1"
//
// Addresses are IPv4 in host order (a.b.c.d = a*2^24 + b*2^16 + c*2^8 + d). Nothing here throws:
// failures show as 0, Null or a transfer of 0 bytes.
#pragma once

#include <cstdint>

#include "runtime/runtime.h"

namespace vxl {

// The socket module's exception class; nothing here raises it.
class TSocketException : public Object {
 public:
  VXL_CLASS(TSocketException, Object)
  // "Internal socket error".
  String ToString() const override;
};

class TSocket : public Object {
 public:
  VXL_CLASS(TSocket, Object)
  int32_t _socket = -1;  // the native handle; -1 once closed
  int32_t _autoClose = 0;
  int32_t _localIp = -1;
  int32_t _localPort = -1;
  int32_t _remoteIp = -1;
  int32_t _remotePort = -1;

  // A socket object over `socket` (Null for a negative handle), its names already read. With
  // autoClose 1, Close also releases the handle.
  static Ref<TSocket> Create(int32_t socket, int32_t autoClose);
  static Ref<TSocket> CreateUDP();
  static Ref<TSocket> CreateTCP();

  // Releasing an open socket object closes it.
  ~TSocket() override;

  // Bytes sent / received; errors count as 0.
  int32_t Send(const uint8_t* buf, int32_t count, int32_t flags);
  int32_t Recv(uint8_t* buf, int32_t count, int32_t flags);
  // Releases the handle (when auto-closing); the handle and addresses become -1. Returns 0.
  int32_t Close();
  // 0 when closed; closes the socket and gives 0 when the peer has gone.
  int32_t Connected();
  // Bound to every local address on `port` (0: any free port): 1, else 0.
  int32_t Bind(int32_t port);
  int32_t Connect(int32_t ip, int32_t port);
  // Connect that gives up after `timeoutMs` milliseconds (0 or less: as long as the system
  // waits); the socket is of no further use after a timeout.
  int32_t ConnectWithin(int32_t ip, int32_t port, int32_t timeoutMs);
  int32_t Listen(int32_t backlog);
  // Waits up to `timeout` ms (negative: without limit) for a client; the accepted socket or Null.
  Ref<TSocket> Accept(int32_t timeout);
  int32_t ReadAvail();
  int32_t SetTCPNoDelay(int32_t enable);
  int32_t Socket() const { return _socket; }
  int32_t LocalIp() const { return _localIp; }
  int32_t LocalPort() const { return _localPort; }
  int32_t RemoteIp() const { return _remoteIp; }
  int32_t RemotePort() const { return _remotePort; }
  // Re-read the addresses from the system; both fields 0 when that fails.
  int32_t UpdateLocalName();
  int32_t UpdateRemoteName();

  static void Bind(ClassBinder<TSocket>& b);
};

// Module functions.
Ref<TSocket> SocketOpenUdp();
Ref<TSocket> SocketOpenTcp();
int32_t SocketClose(const Ref<TSocket>& s);
int32_t SocketBind(const Ref<TSocket>& s, int32_t port);
int32_t SocketConnect(const Ref<TSocket>& s, int32_t ip, int32_t port);
int32_t SocketStartListening(const Ref<TSocket>& s, int32_t backlog);
Ref<TSocket> SocketAcceptClient(const Ref<TSocket>& s, int32_t timeout);
int32_t SocketIsConnected(const Ref<TSocket>& s);
int32_t SocketBytesAvailable(const Ref<TSocket>& s);
int32_t SocketLocalAddress(const Ref<TSocket>& s);
int32_t SocketLocalPortNumber(const Ref<TSocket>& s);
int32_t SocketPeerAddress(const Ref<TSocket>& s);
int32_t SocketPeerPortNumber(const Ref<TSocket>& s);

// Every IPv4 address of a host name, in order; the empty array when it does not resolve.
Array<int32_t> ResolveHostAddresses(const String& name);
// Address `index` of the name; 0 for a negative index or when there are fewer.
int32_t ResolveHostAddress(const String& name, int32_t index);
// The host name of an address, or "" when unknown.
String ResolveAddressName(int32_t ip);
// "a.b.c.d", most significant byte first.
String IpToDottedText(int32_t ip);

// The socket module: registers TSocketException and TSocket.
int InitSocketModule();

}  // namespace vxl
