// The "http::host[:port]/path" protocol: an HTTP/1.0 GET whose response body is read as a stream.
//
//   Ref<TStream> page = OpenStreamUrl(String("http::example.org/index.html"), 1, 0);
//   String text = StringFromUrl(page);   // the body, up to the server closing the connection
//
// The status line and headers are skipped, not examined: an error page is returned as the body.
// A server that accepts and then stays silent is not waited for without end: no byte for
// HttpIdleTimeout() milliseconds makes opening give Null (while the head is read) or ends the
// stream with TStreamReadException (while the body is read). The connection itself is bounded by
// StreamConnectTimeout() (socket_stream.h). A slow server that keeps sending is read to its end.
#pragma once

#include "stream/stream.h"

namespace vxl {

class THTTPStreamFactory : public TStreamFactory {
 public:
  VXL_CLASS(THTTPStreamFactory, TStreamFactory)
  // For proto "http": host = the text before the first "/" (with an optional ":port", else port
  // 80), file = the rest ("/" when empty). Sends "GET <file> HTTP/1.0", "Host: <host>" and an
  // empty line, skips the response head and returns the socket stream at the first body byte.
  // Null when the path holds a line break (CR or LF, as the byte sent), when the host does not
  // connect, when the head does not come in time or is not a sane one (see
  // ReadHttpResponseHead).
  Ref<TStream> CreateStream(const Ref<Object>& url, const String& proto, const String& path,
                            int32_t readable, int32_t writeable) override;
};

// How long an "http::" stream waits for its next byte, in milliseconds; 0 or less: no limit.
// Streams already open keep the value they were opened with.
constexpr int32_t kDefaultHttpIdleTimeout = 30000;
void SetHttpIdleTimeout(int32_t ms);
int32_t HttpIdleTimeout();

// Longest head line and longest head accepted, in bytes (terminators included).
constexpr int32_t kHttpHeadLineLimit = 8192;
constexpr int32_t kHttpHeadLimit = 65536;

// Skips a response head: lines as TStream::ReadLine reads them (up to LF or a 0 byte, CR
// dropped) while the stream is not at Eof, up to and including the first empty line. False when
// a line or the whole head runs past its limit: a server sending an endless head is not read
// further.
bool ReadHttpResponseHead(TStream& stream);

// The HTTP stream module: registers and creates the "http" factory.
int InitHttpStreamModule();

}  // namespace vxl
