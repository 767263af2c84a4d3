// The URL rule and the factory chain.
#include <gtest/gtest.h>

#include "stream/stream.h"
#include "support/temp_dir.h"
#include "support/test_streams.h"

namespace vxl {
namespace {

using test::TempDir;
using test::TMemoryStream;

struct Request {
  Ref<Object> url;
  String proto;
  String path;
  int32_t readable, writeable;
};

// Records every request; answers "mem::text" with a memory stream holding "text".
class TRecordingFactory : public TStreamFactory {
 public:
  VXL_CLASS(TRecordingFactory, TStreamFactory)
  static std::vector<Request>& Log() {
    static std::vector<Request> log;
    return log;
  }
  Ref<TStream> CreateStream(const Ref<Object>& url, const String& proto, const String& path,
                            int32_t readable, int32_t writeable) override {
    Log().push_back({url, proto, path, readable, writeable});
    if (proto == String("mem")) return TMemoryStream::Of(path.ToCString());
    return Ref<TStream>();
  }
};
VXL_DEFINE_CLASS(TRecordingFactory)

// Declines everything; created before the recording factory, so it is asked after it.
class TDecliningFactory : public TStreamFactory {
 public:
  VXL_CLASS(TDecliningFactory, TStreamFactory)
  int32_t asked = 0;
  Ref<TStream> CreateStream(const Ref<Object>&, const String&, const String& path, int32_t,
                            int32_t) override {
    ++asked;
    if (path == String("second")) return TMemoryStream::Of("from the older factory");
    return Ref<TStream>();
  }
};
VXL_DEFINE_CLASS(TDecliningFactory)

Ref<TDecliningFactory> g_older;
Ref<TRecordingFactory> g_newer;

int InitUrlTestModule() {
  static ModuleGuard guard("url test");
  return guard.Run({InitCoreModule, InitStreamModule}, [] {
    g_older = New<TDecliningFactory>();
    g_newer = New<TRecordingFactory>();
  });
}

class Url : public ::testing::Test {
 protected:
  void SetUp() override {
    InitUrlTestModule();
    TRecordingFactory::Log().clear();
  }
  const Request& Only() {
    EXPECT_EQ(TRecordingFactory::Log().size(), 1u);
    return TRecordingFactory::Log().back();
  }
};

TEST_F(Url, OneArgumentTypeTakesCStringsStringsAndObjects) {
  // Each open function is declared once; the argument converts from every kind of URL.
  OpenForReading("x::c");
  EXPECT_EQ(Only().path, String("c"));
  TRecordingFactory::Log().clear();
  OpenForReading(u"x::\u00E9");
  EXPECT_EQ(Only().path, String(u"\u00E9"));
  TRecordingFactory::Log().clear();
  OpenForReading(String("x::s"));
  EXPECT_EQ(Only().path, String("s"));
  TRecordingFactory::Log().clear();
  Ref<TDecliningFactory> object = g_older;  // an object nobody opens
  OpenForReading(object);
  EXPECT_EQ(Only().url, Ref<Object>(object));
  TRecordingFactory::Log().clear();
  OpenForReading(Ref<Object>());
  EXPECT_TRUE(Only().url.IsNull());
}

TEST_F(Url, NewestFactoryIsTheHeadOfTheChain) {
  EXPECT_EQ(StreamFactories(), g_newer);
  EXPECT_EQ(g_newer->_succ, g_older);
}

TEST_F(Url, ProtocolIsLowerCasedAndPathKeepsTheRest) {
  EXPECT_FALSE(OpenStreamUrl(String("Incbin::a.png"), 1, 0));
  EXPECT_EQ(Only().proto, String("incbin"));
  EXPECT_EQ(Only().path, String("a.png"));
  EXPECT_EQ(Only().readable, 1);
  EXPECT_EQ(Only().writeable, 0);

  TRecordingFactory::Log().clear();
  EXPECT_FALSE(OpenStreamUrl(String(u"A\u00C9Z::b::c"), 0, 1));
  EXPECT_EQ(Only().proto, String(u"a\u00C9z"));  // ASCII letters only
  EXPECT_EQ(Only().path, String("b::c"));
  EXPECT_EQ(String::Of(Only().url), String(u"A\u00C9Z::b::c"));

  TRecordingFactory::Log().clear();
  EXPECT_FALSE(OpenStreamUrl(String("::"), 1, 0));
  EXPECT_EQ(Only().proto, String(""));
  EXPECT_EQ(Only().path, String(""));
}

TEST_F(Url, FirstAnswerFromTheHeadWinsAndUnknownGivesNull) {
  Ref<TStream> s = OpenStreamUrl(String("MEM::hello"), 1, 0);
  ASSERT_TRUE(s);
  EXPECT_EQ(s->ReadLine(), String("hello"));
  int32_t asked = g_older->asked;
  OpenStreamUrl(String("mem::again"), 1, 0);
  EXPECT_EQ(g_older->asked, asked);  // not asked once the newer factory answered

  Ref<TStream> second = OpenStreamUrl(String("x::second"), 1, 0);
  ASSERT_TRUE(second);
  EXPECT_EQ(second->ReadLine(), String("from the older factory"));
  EXPECT_FALSE(OpenStreamUrl(String("nosuch::x"), 1, 0));
}

TEST_F(Url, WithoutSeparatorItIsAFileAndNoFactoryIsAsked) {
  EXPECT_FALSE(OpenStreamUrl(String("c:/games/data.bin"), 1, 0));
  EXPECT_FALSE(OpenStreamUrl(String("no/such/relative.bin"), 1, 0));
  EXPECT_FALSE(OpenStreamUrl(String("mem:single-colon"), 1, 0));
  EXPECT_TRUE(TRecordingFactory::Log().empty());

  TempDir dir;
  std::string path = dir.Write("f.txt", "file text");
  Ref<TStream> s = OpenStreamUrl(String(path.c_str()), 1, 0);
  ASSERT_TRUE(s.As<TCStream>());
  EXPECT_EQ(s->ReadLine(), String("file text"));
  EXPECT_TRUE(TRecordingFactory::Log().empty());
}

TEST_F(Url, OtherObjectsReachTheFactoriesWithEmptyProtocol) {
  auto key = Array<int32_t>::Of({1, 2});
  EXPECT_FALSE(OpenStreamUrl(Ref<Object>(key), 1, 1));
  EXPECT_EQ(Only().url, Ref<Object>(key));
  EXPECT_EQ(Only().proto, String(""));
  EXPECT_EQ(Only().path, String(""));

  TRecordingFactory::Log().clear();
  EXPECT_FALSE(OpenStreamUrl(Ref<Object>(), 1, 0));
  EXPECT_TRUE(Only().url.IsNull());
  TRecordingFactory::Log().clear();
  EXPECT_FALSE(OpenStreamUrl(String(""), 1, 0));
  EXPECT_EQ(Only().proto, String(""));
}

TEST_F(Url, AStreamIsWrappedAndClosingTheWrapperLeavesItOpen) {
  auto inner = TMemoryStream::Of("one\ntwo\n");
  Ref<TStream> s = OpenStreamUrl(Ref<Object>(inner), 1, 0);
  ASSERT_TRUE(s.As<TStreamStream>());
  EXPECT_NE(s, inner);
  EXPECT_EQ(s->ReadLine(), String("one"));
  s->Close();
  EXPECT_EQ(inner->ReadLine(), String("two"));
  EXPECT_TRUE(TRecordingFactory::Log().empty());

  TempDir dir;
  std::string path = dir.Write("g.txt", "abc");
  Ref<TStream> file = TCStream::OpenFile(String(path.c_str()), 1, 0);
  OpenStreamUrl(Ref<Object>(file), 1, 0)->Close();
  EXPECT_EQ(file->ReadString(3), String("abc"));
}

}  // namespace
}  // namespace vxl
