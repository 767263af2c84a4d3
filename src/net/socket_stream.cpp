#include "net/socket_stream.h"

#include "platform/net/ipv4_sockets.h"
#include "runtime/class_binder.h"

namespace vxl {

VXL_DEFINE_CLASS(TSocketStream)
VXL_DEFINE_CLASS(TSocketStreamFactory)

namespace {
int32_t connectTimeoutMs = kDefaultStreamConnectTimeout;
}  // namespace

void SetStreamConnectTimeout(int32_t ms) {
  connectTimeoutMs = ms;
}

int32_t StreamConnectTimeout() {
  return connectTimeoutMs;
}

Ref<TSocketStream> TSocketStream::Create(const Ref<TSocket>& socket, int32_t autoClose) {
  auto s = New<TSocketStream>();
  s->_socket = socket;
  s->_autoClose = autoClose;
  return s;
}

Ref<TSocketStream> TSocketStream::CreateClient(const String& host, int32_t port) {
  int32_t ip = ResolveHostAddress(host, 0);
  if (ip == 0) return nullptr;
  Ref<TSocket> socket = TSocket::CreateTCP();
  if (!socket) return nullptr;
  if (!socket->ConnectWithin(ip, port, connectTimeoutMs)) {
    socket->Close();
    return nullptr;
  }
  return Create(socket, 1);
}

int32_t TSocketStream::Read(uint8_t* buf, int32_t count) {
  if (!_socket) return 0;
  if (idleTimeoutMs_ > 0 && count > 0 && _socket->Socket() >= 0 &&
      platform::WaitReadable(_socket->Socket(), idleTimeoutMs_) == 0) {
    Close();
    ThrowStreamRead();
  }
  return _socket->Recv(buf, count, 0);
}

int32_t TSocketStream::Write(const uint8_t* buf, int32_t count) {
  return _socket ? _socket->Send(buf, count, 0) : 0;
}

int32_t TSocketStream::Eof() {
  if (!_socket) return 1;
  if (_socket->Connected() == 1) return 0;
  Close();
  return 1;
}

int32_t TSocketStream::Close() {
  if (!_socket) return 0;
  if (_autoClose == 1) _socket->Close();
  _socket = nullptr;
  return 0;
}

void TSocketStream::Bind(ClassBinder<TSocketStream>& b) {
  b.ReadOnlyField<&TSocketStream::_socket>("_socket");
  b.ReadOnlyField<&TSocketStream::_autoClose>("_autoClose");
  b.Method<&TSocketStream::Socket>("Socket");
}

void SplitHostPort(const String& text, String& host, int32_t& port, int32_t defaultPort) {
  int32_t colon = text.Find(":");
  if (colon < 0) {
    host = text;
    port = defaultPort;
  } else {
    host = text.Slice(0, colon);
    port = text.Slice(colon + 1, text.Length()).ToInt();
  }
}

Ref<TStream> TSocketStreamFactory::CreateStream(const Ref<Object>&, const String& proto,
                                                const String& path, int32_t, int32_t) {
  if (proto != String("tcp")) return nullptr;
  String host;
  int32_t port;
  SplitHostPort(path, host, port, 80);
  return TSocketStream::CreateClient(host, port);
}

Ref<TSocketStream> NewSocketStream(const Ref<TSocket>& socket, int32_t autoClose) {
  return TSocketStream::Create(socket, autoClose);
}

Ref<TSocket> SocketOfStream(const Ref<TSocketStream>& stream) {
  return stream->Socket();
}

int InitSocketStreamModule() {
  static ModuleGuard guard("socket stream");
  return guard.Run({InitCoreModule, InitStreamModule, InitSocketModule}, [] {
    RegisterClass<TSocketStream>();
    RegisterClass<TSocketStreamFactory>();
    New<TSocketStreamFactory>();
  });
}

}  // namespace vxl
