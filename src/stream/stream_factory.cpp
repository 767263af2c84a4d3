// The factory chain, the URL rule and the module initialisers of the stream core.
#include <cstdlib>

#include "platform/net/ipv4_sockets.h"
#include "runtime/class_binder.h"
#include "runtime/never_destroyed.h"
#include "stream/stream.h"

namespace vxl {

VXL_DEFINE_CLASS(TStreamFactory)

namespace {

ModuleGuard g_streamModule("stream");

// The head of the factory chain; the chain is never shortened.
Ref<TStreamFactory>& FactoryHead() {
  static NeverDestroyed<Ref<TStreamFactory>> head;
  return *head;
}

}  // namespace

TStreamFactory::TStreamFactory() {
  _succ = FactoryHead();
  FactoryHead() = Ref<TStreamFactory>(this);
}

Ref<TStream> TStreamFactory::CreateStream(const Ref<Object>&, const String&, const String&, int32_t,
                                          int32_t) {
  ThrowNullMethod();
}

void TStreamFactory::Bind(ClassBinder<TStreamFactory>& b) {
  b.ReadOnlyField<&TStreamFactory::_succ>("_succ");
}

Ref<TStreamFactory> StreamFactories() {
  return FactoryHead();
}

namespace {

// Calls of OpenStreamUrl under way. A factory opens the URL inside its own protocol through
// OpenStreamUrl, so this counts the protocols nested so far, whichever factories they belong to.
thread_local int g_urlDepth = 0;

class UrlDepthGuard {
 public:
  UrlDepthGuard() { ++g_urlDepth; }
  ~UrlDepthGuard() { --g_urlDepth; }
  UrlDepthGuard(const UrlDepthGuard&) = delete;
  UrlDepthGuard& operator=(const UrlDepthGuard&) = delete;
};

}  // namespace

Ref<TStream> OpenStreamUrl(const Url& url, int32_t readable, int32_t writeable) {
  g_streamModule.Require("InitStreamModule");
  if (auto stream = url.Get().As<TStream>()) return TStreamStream::Create(stream);
  // Refused before anything is copied, so a URL of many nested protocols costs at most
  // kMaxUrlNesting copies of its rest.
  if (g_urlDepth > kMaxUrlNesting) return Ref<TStream>();
  UrlDepthGuard depth;
  String text = String::Of(url.Get());
  String proto;
  String path;
  if (!text.IsEmpty()) {
    int32_t at = text.Find("::");
    if (at < 0) return TCStream::OpenFile(text, readable, writeable);
    proto = text.Slice(0, at).ToLower();
    path = text.Slice(at + 2, text.Length());
  }
  for (Ref<TStreamFactory> f = FactoryHead(); f; f = f->_succ) {
    if (auto stream = f->CreateStream(url, proto, path, readable, writeable)) return stream;
  }
  return Ref<TStream>();
}

namespace {

void CStdLibCleanup() {
  RecordExitFunction("socket clean-up");
  platform::StopSocketLibrary();
}

}  // namespace

int InitCStdLibModule() {
  static ModuleGuard guard("c standard library glue");
  return guard.Run({InitCoreModule}, [] {
    // The C standard streams are ready-made stdin, stdout and stderr here; nothing to bind.
    platform::StartSocketLibrary();
    std::atexit(CStdLibCleanup);
  });
}

int InitStreamModule() {
  return g_streamModule.Run({InitCoreModule, InitCStdLibModule}, [] {
    RegisterClass<TStreamException>();
    RegisterClass<TStreamReadException>();
    RegisterClass<TStreamWriteException>();
    RegisterClass<TIO>();
    RegisterClass<TStream>();
    RegisterClass<TStreamWrapper>();
    RegisterClass<TStreamStream>();
    RegisterClass<TCStream>();
    RegisterClass<TStreamFactory>();
  });
}

}  // namespace vxl
