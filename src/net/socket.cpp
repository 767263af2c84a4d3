#include "net/socket.h"

#include "platform/net/ipv4_sockets.h"
#include "runtime/class_binder.h"
#include "stream/stream.h"

namespace vxl {

VXL_DEFINE_CLASS(TSocketException)
VXL_DEFINE_CLASS(TSocket)

String TSocketException::ToString() const {
  return "Internal socket error";
}

Ref<TSocket> TSocket::Create(int32_t socket, int32_t autoClose) {
  if (socket < 0) return nullptr;
  auto s = New<TSocket>();
  s->_socket = socket;
  s->_autoClose = autoClose;
  s->UpdateLocalName();
  s->UpdateRemoteName();
  return s;
}

Ref<TSocket> TSocket::CreateUDP() {
  return Create(platform::OpenDatagramSocket(), 1);
}

Ref<TSocket> TSocket::CreateTCP() {
  return Create(platform::OpenStreamSocket(), 1);
}

TSocket::~TSocket() {
  Close();
}

int32_t TSocket::Send(const uint8_t* buf, int32_t count, int32_t flags) {
  if (_socket < 0) return 0;
  int32_t n = platform::SendBytes(_socket, buf, count, flags);
  return n < 0 ? 0 : n;
}

int32_t TSocket::Recv(uint8_t* buf, int32_t count, int32_t flags) {
  if (_socket < 0) return 0;
  int32_t n = platform::RecvBytes(_socket, buf, count, flags);
  return n < 0 ? 0 : n;
}

int32_t TSocket::Close() {
  if (_socket < 0) return 0;
  if (_autoClose == 1) platform::CloseSocket(_socket);
  _socket = _localIp = _localPort = _remoteIp = _remotePort = -1;
  return 0;
}

int32_t TSocket::Connected() {
  if (_socket < 0) return 0;
  // Bytes waiting answer at once (one call while data flow); otherwise readable with nothing to
  // read means the peer has closed. Bytes arriving between the two questions count as connected.
  if (ReadAvail() != 0 || platform::WaitReadable(_socket, 0) != 1 || ReadAvail() != 0) return 1;
  // Readable with nothing to read is also a listening socket with a client waiting, or a UDP
  // socket with an empty datagram: neither has a peer that went away, and neither is closed.
  if (!platform::HasClosablePeer(_socket)) return 1;
  Close();
  return 0;
}

int32_t TSocket::Bind(int32_t port) {
  if (_socket < 0 || !platform::BindAnyAddress(_socket, port)) return 0;
  UpdateLocalName();
  return 1;
}

int32_t TSocket::Connect(int32_t ip, int32_t port) {
  return ConnectWithin(ip, port, 0);
}

int32_t TSocket::ConnectWithin(int32_t ip, int32_t port, int32_t timeoutMs) {
  if (_socket < 0 || !platform::ConnectTo(_socket, static_cast<uint32_t>(ip), port, timeoutMs))
    return 0;
  UpdateLocalName();
  UpdateRemoteName();
  return 1;
}

int32_t TSocket::Listen(int32_t backlog) {
  return _socket >= 0 && platform::StartListening(_socket, backlog) ? 1 : 0;
}

Ref<TSocket> TSocket::Accept(int32_t timeout) {
  if (_socket < 0 || platform::WaitReadable(_socket, timeout) != 1) return nullptr;
  // Any valid handle is taken (0 is one on this system), so none is left open unowned.
  return Create(platform::AcceptClient(_socket), 1);
}

int32_t TSocket::ReadAvail() {
  return _socket < 0 ? 0 : platform::BytesAvailable(_socket);
}

int32_t TSocket::SetTCPNoDelay(int32_t enable) {
  if (_socket >= 0) platform::SetNoDelay(_socket, enable);
  return 0;
}

namespace {

template <class Query>
void ReadName(int32_t socket, int32_t& ip, int32_t& port, Query query) {
  uint32_t address = 0;
  int32_t number = 0;
  if (socket < 0 || !query(socket, address, number)) address = 0, number = 0;
  ip = static_cast<int32_t>(address);
  port = number;
}

}  // namespace

int32_t TSocket::UpdateLocalName() {
  ReadName(_socket, _localIp, _localPort, platform::LocalAddress);
  return 0;
}

int32_t TSocket::UpdateRemoteName() {
  ReadName(_socket, _remoteIp, _remotePort, platform::PeerAddress);
  return 0;
}

void TSocket::Bind(ClassBinder<TSocket>& b) {
  b.ReadOnlyField<&TSocket::_socket>("_socket");
  b.ReadOnlyField<&TSocket::_autoClose>("_autoClose");
  b.Field<&TSocket::_localIp>("_localIp");
  b.Field<&TSocket::_localPort>("_localPort");
  b.Field<&TSocket::_remoteIp>("_remoteIp");
  b.Field<&TSocket::_remotePort>("_remotePort");
  b.Method<&TSocket::Close>("Close");
  b.Method<&TSocket::Connected>("Connected");
  b.Method<static_cast<int32_t (TSocket::*)(int32_t)>(&TSocket::Bind)>("Bind");
  b.Method<&TSocket::Connect>("Connect");
  b.Method<&TSocket::Listen>("Listen");
  b.Method<&TSocket::Accept>("Accept");
  b.Method<&TSocket::ReadAvail>("ReadAvail");
  b.Method<&TSocket::SetTCPNoDelay>("SetTCPNoDelay");
  b.Method<&TSocket::Socket>("Socket");
  b.Method<&TSocket::LocalIp>("LocalIp");
  b.Method<&TSocket::LocalPort>("LocalPort");
  b.Method<&TSocket::RemoteIp>("RemoteIp");
  b.Method<&TSocket::RemotePort>("RemotePort");
  b.Method<&TSocket::UpdateLocalName>("UpdateLocalName");
  b.Method<&TSocket::UpdateRemoteName>("UpdateRemoteName");
}

Ref<TSocket> SocketOpenUdp() {
  return TSocket::CreateUDP();
}
Ref<TSocket> SocketOpenTcp() {
  return TSocket::CreateTCP();
}
int32_t SocketClose(const Ref<TSocket>& s) {
  return s->Close();
}
int32_t SocketBind(const Ref<TSocket>& s, int32_t port) {
  return s->Bind(port);
}
int32_t SocketConnect(const Ref<TSocket>& s, int32_t ip, int32_t port) {
  return s->Connect(ip, port);
}
int32_t SocketStartListening(const Ref<TSocket>& s, int32_t backlog) {
  return s->Listen(backlog);
}
Ref<TSocket> SocketAcceptClient(const Ref<TSocket>& s, int32_t timeout) {
  return s->Accept(timeout);
}
int32_t SocketIsConnected(const Ref<TSocket>& s) {
  return s->Connected();
}
int32_t SocketBytesAvailable(const Ref<TSocket>& s) {
  return s->ReadAvail();
}
int32_t SocketLocalAddress(const Ref<TSocket>& s) {
  return s->LocalIp();
}
int32_t SocketLocalPortNumber(const Ref<TSocket>& s) {
  return s->LocalPort();
}
int32_t SocketPeerAddress(const Ref<TSocket>& s) {
  return s->RemoteIp();
}
int32_t SocketPeerPortNumber(const Ref<TSocket>& s) {
  return s->RemotePort();
}

Array<int32_t> ResolveHostAddresses(const String& name) {
  std::vector<uint32_t> ips = platform::ResolveIPv4(name.ToCString());
  auto out = Array<int32_t>::New(static_cast<int32_t>(ips.size()));
  for (size_t i = 0; i < ips.size(); ++i)
    out[static_cast<int32_t>(i)] = static_cast<int32_t>(ips[i]);
  return out;
}

int32_t ResolveHostAddress(const String& name, int32_t index) {
  if (index < 0) return 0;
  Array<int32_t> ips = ResolveHostAddresses(name);
  return index < ips.Length() ? ips[index] : 0;
}

String ResolveAddressName(int32_t ip) {
  return String(platform::HostNameOf(static_cast<uint32_t>(ip)).c_str());
}

String IpToDottedText(int32_t ip) {
  auto u = static_cast<uint32_t>(ip);
  return String::FromInt(u >> 24) + "." + String::FromInt((u >> 16) & 255) + "." +
         String::FromInt((u >> 8) & 255) + "." + String::FromInt(u & 255);
}

int InitSocketModule() {
  static ModuleGuard guard("socket");
  // The socket library itself is started by the C standard library glue.
  return guard.Run({InitCoreModule, InitCStdLibModule}, [] {
    RegisterClass<TSocketException>();
    RegisterClass<TSocket>();
  });
}

}  // namespace vxl
