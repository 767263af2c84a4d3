// A connected socket as a byte stream, and the "tcp::host:port" protocol.
//
//   Ref<TStream> s = OpenStreamUrl(String("tcp::localhost:7000"), 1, 1);
//   if (s) {
//     s->WriteLine("HELLO");
//     String reply = s->ReadLine();
//     s->Close();
//   }
//
// A socket stream is not seekable; it is at Eof once the peer has closed and every byte has been
// read, and finding that closes its socket.
//
// Nothing waits forever on a peer that stays silent: a "tcp::" or "http::" URL gives up connecting
// after StreamConnectTimeout() (10 s unless the program sets another), and an "http::" stream ends
// with TStreamReadException once no byte has come for HttpIdleTimeout() (30 s; http_stream.h).
#pragma once

#include "net/socket.h"
#include "stream/stream.h"

namespace vxl {

class TSocketStream : public TStream {
 public:
  VXL_CLASS(TSocketStream, TStream)
  Ref<TSocket> _socket;  // Null once closed
  int32_t _autoClose = 0;

  static Ref<TSocketStream> Create(const Ref<TSocket>& socket, int32_t autoClose);
  // A TCP connection to the first address of `host`; Null when the name does not resolve or the
  // connection is refused or not made within StreamConnectTimeout().
  static Ref<TSocketStream> CreateClient(const String& host, int32_t port);

  // Recv / Send of the socket; a closed stream transfers nothing. With an idle timeout set, Read
  // that waits that long for a byte closes the stream and throws TStreamReadException.
  int32_t Read(uint8_t* buf, int32_t count) override;
  int32_t Write(const uint8_t* buf, int32_t count) override;
  // 1 when closed, 0 while the socket is connected; otherwise closes the stream and gives 1.
  int32_t Eof() override;
  // Closes the socket when auto-closing; the stream lets go of it. Returns 0.
  int32_t Close() override;
  Ref<TSocket> Socket() const { return _socket; }
  // How long Read waits for the next byte, in milliseconds; 0 or less (the default): no limit.
  void SetIdleTimeout(int32_t ms) { idleTimeoutMs_ = ms; }

  static void Bind(ClassBinder<TSocketStream>& b);

 private:
  int32_t idleTimeoutMs_ = 0;
};

// "tcp::host:port" (port 80 without ":port"): a client stream, whatever the flags.
class TSocketStreamFactory : public TStreamFactory {
 public:
  VXL_CLASS(TSocketStreamFactory, TStreamFactory)
  Ref<TStream> CreateStream(const Ref<Object>& url, const String& proto, const String& path,
                            int32_t readable, int32_t writeable) override;
};

// Splits "host:port" at the first ":" (the port text read as a number); without ":" the port is
// `defaultPort`.
void SplitHostPort(const String& text, String& host, int32_t& port, int32_t defaultPort);

// How long a client stream ("tcp::" and "http::" URLs, TSocketStream::CreateClient) waits for
// its connection, in milliseconds; 0 or less waits as long as the system does (minutes).
constexpr int32_t kDefaultStreamConnectTimeout = 10000;
void SetStreamConnectTimeout(int32_t ms);
int32_t StreamConnectTimeout();

// Module functions.
Ref<TSocketStream> NewSocketStream(const Ref<TSocket>& socket, int32_t autoClose);
Ref<TSocket> SocketOfStream(const Ref<TSocketStream>& stream);

// The socket stream module: registers the classes and creates the "tcp" factory.
int InitSocketStreamModule();

}  // namespace vxl
