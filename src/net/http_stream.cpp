#include "net/http_stream.h"

#include "net/socket_stream.h"
#include "runtime/class_binder.h"

namespace vxl {

VXL_DEFINE_CLASS(THTTPStreamFactory)

namespace {

enum class HeadLine { kEmpty, kText, kTooLong };

// One line the way ReadLine reads it, only counted instead of kept.
HeadLine SkipHeadLine(TStream& stream, int32_t& headBytes) {
  int32_t kept = 0;
  for (int32_t taken = 0;; ++taken) {
    if (taken == kHttpHeadLineLimit || headBytes == kHttpHeadLimit) return HeadLine::kTooLong;
    uint8_t b;
    if (stream.Read(&b, 1) != 1) break;
    ++headBytes;
    if (b == 0 || b == 10) break;
    if (b != 13) ++kept;
  }
  return kept ? HeadLine::kText : HeadLine::kEmpty;
}

// True when a byte of the text as sent (one per character) would end a request line.
bool BreaksLine(const String& text) {
  for (int32_t i = 0; i < text.Length(); ++i) {
    int32_t byte = text[i] & 0xFF;
    if (byte == 13 || byte == 10) return true;
  }
  return false;
}

int32_t idleTimeoutMs = kDefaultHttpIdleTimeout;

}  // namespace

void SetHttpIdleTimeout(int32_t ms) {
  idleTimeoutMs = ms;
}

int32_t HttpIdleTimeout() {
  return idleTimeoutMs;
}

bool ReadHttpResponseHead(TStream& stream) {
  int32_t headBytes = 0;
  while (!stream.Eof()) {
    HeadLine line = SkipHeadLine(stream, headBytes);
    if (line == HeadLine::kTooLong) return false;
    if (line == HeadLine::kEmpty) break;
  }
  return true;
}

Ref<TStream> THTTPStreamFactory::CreateStream(const Ref<Object>&, const String& proto,
                                              const String& path, int32_t, int32_t) {
  if (proto != String("http")) return nullptr;
  // A line break would end the request early and let the URL write header lines, or a second
  // request, of its own: such a URL opens nothing.
  if (BreaksLine(path)) return nullptr;
  int32_t slash = path.Find("/");
  String host = slash < 0 ? path : path.Slice(0, slash);
  String file = slash < 0 ? String("/") : path.Slice(slash, path.Length());
  // "host:port" connects to that port; the Host header keeps the text as written.
  String name;
  int32_t port;
  SplitHostPort(host, name, port, 80);
  Ref<TSocketStream> stream = TSocketStream::CreateClient(name, port);
  if (!stream) return nullptr;
  stream->SetIdleTimeout(idleTimeoutMs);
  stream->WriteLine("GET " + file + " HTTP/1.0");
  stream->WriteLine("Host: " + host);
  stream->WriteLine(String());
  bool sane;
  try {
    sane = ReadHttpResponseHead(*stream);
  } catch (const Thrown& e) {
    if (!e.As<TStreamReadException>()) throw;
    sane = false;  // the server went silent before the body
  }
  if (!sane) {
    stream->Close();
    return nullptr;
  }
  return stream;
}

int InitHttpStreamModule() {
  static ModuleGuard guard("HTTP stream");
  return guard.Run({InitCoreModule, InitStreamModule, InitSocketStreamModule}, [] {
    RegisterClass<THTTPStreamFactory>();
    New<THTTPStreamFactory>();
  });
}

}  // namespace vxl
