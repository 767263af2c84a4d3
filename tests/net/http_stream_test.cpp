// HTTP streams against a server thread on a loopback port.
#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "loopback_server.h"
#include "net/http_stream.h"
#include "net/socket_stream.h"
#include "platform/clock/monotonic_clock.h"
#include "support/test_streams.h"
#include "support/thrown_text.h"

namespace vxl {
namespace {

using test::LoopbackServer;

class HttpTest : public ::testing::Test {
 protected:
  void SetUp() override { InitHttpStreamModule(); }
  void TearDown() override {
    SetHttpIdleTimeout(kDefaultHttpIdleTimeout);
    SetStreamConnectTimeout(kDefaultStreamConnectTimeout);
  }
};

// Serves one request with `response` and records the request head.
struct OneShot {
  std::string request;
  LoopbackServer server;
  explicit OneShot(std::string response)
      : server(1, [this, response](int32_t client) {
          request = LoopbackServer::ReadRequestHead(client);
          LoopbackServer::SendAll(client, response);
        }) {}
  String Url(const char* rest) const {
    return "http::127.0.0.1:" + String::FromInt(server.Port()) + String(rest);
  }
};

std::string Body(const Ref<TStream>& s) {
  Array<uint8_t> bytes = BytesFromUrl(Ref<Object>(s));
  return std::string(reinterpret_cast<const char*>(bytes.Data()), bytes.Length());
}

TEST_F(HttpTest, BodiesAfterTheHead) {
  std::string big(300000, 0);
  for (size_t i = 0; i < big.size(); ++i)
    big[i] = static_cast<char>(i * 7919 >> 3);
  struct Case {
    const char* name;
    std::string response;
    std::string body;
  } cases[] = {
      {"crlf head", "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\nline 1\r\nline 2",
       "line 1\r\nline 2"},
      {"bare lf head", "HTTP/1.0 200 OK\nServer: x\n\n\r\nbody", "\r\nbody"},
      {"error page", "HTTP/1.0 404 Not Found\r\n\r\n<h1>missing</h1>", "<h1>missing</h1>"},
      {"zero byte ends a line", std::string("HTTP/1.0 200 OK\0\0after", 22), "after"},
      {"head only", "HTTP/1.0 204 No Content\r\n\r\n", ""},
      {"no empty line", "HTTP/1.0 200 OK\r\nX: y\r\n", ""},
      {"binary body", "HTTP/1.0 200 OK\r\n\r\n" + big, big},
  };
  for (const Case& c : cases) {
    OneShot shot(c.response);
    Ref<TStream> s = OpenStreamUrl(shot.Url("/f"), 1, 0);
    ASSERT_TRUE(s) << c.name;
    EXPECT_TRUE(s.As<TSocketStream>()) << c.name;
    EXPECT_EQ(Body(s), c.body) << c.name;
  }
}

TEST_F(HttpTest, RequestBytesAsSent) {
  struct Case {
    const char* rest;
    const char* requestLine;
  } cases[] = {{"", "GET / HTTP/1.0"},
               {"/", "GET / HTTP/1.0"},
               {"/a/b.png?x=1", "GET /a/b.png?x=1 HTTP/1.0"}};
  for (const Case& c : cases) {
    OneShot shot("HTTP/1.0 200 OK\r\n\r\n");
    Ref<TStream> s = OpenStreamUrl(shot.Url(c.rest), 1, 0);
    ASSERT_TRUE(s);
    s->Close();
    shot.server.Join();
    std::string host = "127.0.0.1:" + std::to_string(shot.server.Port());
    EXPECT_EQ(shot.request, std::string(c.requestLine) + "\r\nHost: " + host + "\r\n\r\n")
        << c.rest;
  }
}

TEST_F(HttpTest, RefusedOrEndlessHeadGivesNull) {
  // An endless head line, and endless short head lines from a server that never closes.
  for (std::string unit : {std::string(4096, 'x'), std::string("X: y\r\n")}) {
    LoopbackServer server(1, [unit](int32_t client) {
      LoopbackServer::ReadRequestHead(client);
      std::string block = "HTTP/1.0 200 OK\r\n";
      while (block.size() < 65536)
        block += unit;
      while (LoopbackServer::SendAll(client, block)) {
      }
    });
    EXPECT_TRUE(OpenStreamUrl("http::127.0.0.1:" + String::FromInt(server.Port()), 1, 0).IsNull());
  }
  Ref<TSocket> unused = SocketOpenTcp();
  unused->Bind(0);
  EXPECT_TRUE(
      OpenStreamUrl("http::127.0.0.1:" + String::FromInt(unused->LocalPort()), 1, 0).IsNull());
  EXPECT_TRUE(OpenStreamUrl(String("http::no-such-host.invalid/x"), 1, 0).IsNull());
}
// Waits until the client closes its end (or the connection fails): a server that never answers.
void WaitForClientToLeave(int32_t client) {
  uint8_t b;
  while (platform::RecvBytes(client, &b, 1, 0) > 0) {
  }
}

TEST_F(HttpTest, ServerThatFallsSilentEndsTheStream) {
  SetHttpIdleTimeout(300);
  struct Case {
    const char* name;
    std::string sentBeforeSilence;
    bool opens;  // else the head never ended: opening gives Null
    std::string bodyBeforeSilence;
  } cases[] = {
      {"accepts, never answers", "", false, ""},
      {"head cut short", "HTTP/1.0 200 OK\r\nServer: x\r\n", false, ""},
      {"body cut short", "HTTP/1.0 200 OK\r\n\r\npart of", true, "part of"},
  };
  for (const Case& c : cases) {
    LoopbackServer server(1, [&c](int32_t client) {
      LoopbackServer::ReadRequestHead(client);
      LoopbackServer::SendAll(client, c.sentBeforeSilence);
      WaitForClientToLeave(client);
    });
    String url = "http::127.0.0.1:" + String::FromInt(server.Port()) + "/f";
    Ref<TStream> s = OpenStreamUrl(url, 1, 0);
    ASSERT_EQ(bool(s), c.opens) << c.name;
    if (!s) continue;
    uint8_t buf[64];
    EXPECT_EQ(s->Read(buf, sizeof buf), int32_t(c.bodyBeforeSilence.size())) << c.name;
    EXPECT_EQ(test::ThrownText<TStreamReadException>([&] { s->Read(buf, sizeof buf); }),
              "Error reading from stream")
        << c.name;
    EXPECT_EQ(s->Eof(), 1) << c.name;  // closed: a reading loop ends
  }
}

TEST_F(HttpTest, SlowServerThatKeepsSendingIsReadToTheEnd) {
  // Every gap is well inside the idle limit; all of them together are not.
  const int32_t idle = 2000;
  SetHttpIdleTimeout(idle);
  const std::vector<std::string> pieces = {
      "HTTP/1.0 200 OK\r\n", "\r\n", "tr", "ick", "led ", "bo", "dy"};
  LoopbackServer server(1, [&](int32_t client) {
    LoopbackServer::ReadRequestHead(client);
    for (const std::string& piece : pieces) {
      platform::SleepFor(idle / 5);
      if (!LoopbackServer::SendAll(client, piece)) return;
    }
  });
  Ref<TStream> s = OpenStreamUrl("http::127.0.0.1:" + String::FromInt(server.Port()), 1, 0);
  ASSERT_TRUE(s);
  EXPECT_EQ(Body(s), "trickled body");
}

TEST_F(HttpTest, ConnectionThatIsNeverAcceptedGivesUp) {
  // A listener whose queue of waiting clients is full drops further connection requests
  // unanswered, as a host behind a dead route would.
  Ref<TSocket> listener = SocketOpenTcp();
  ASSERT_EQ(listener->Bind(0), 1);
  ASSERT_EQ(listener->Listen(0), 1);
  std::vector<Ref<TSocket>> queued;
  bool full = false;
  for (int i = 0; i < 16 && !full; ++i) {
    Ref<TSocket> client = SocketOpenTcp();
    full = client->ConnectWithin(0x7F000001, listener->LocalPort(), 200) == 0;
    queued.push_back(client);
  }
  if (!full) GTEST_SKIP() << "this system answers every connection request";
  SetStreamConnectTimeout(300);
  for (const char* proto : {"tcp::", "http::"}) {
    String url = String(proto) + "127.0.0.1:" + String::FromInt(listener->LocalPort());
    EXPECT_TRUE(OpenStreamUrl(url, 1, 0).IsNull()) << proto;
  }
}

TEST_F(HttpTest, LineBreaksInTheUrlOpenNothing) {
  // Sent as they stand, these would add header lines or a second request of the URL's own.
  for (const char* rest : {"/a\r\nX-Evil: 1", "/a HTTP/1.0\n\nGET /b", "\r\nX-Evil: 1/a", "/a\r"}) {
    OneShot shot("HTTP/1.0 200 OK\r\n\r\n");
    EXPECT_TRUE(OpenStreamUrl(shot.Url(rest), 1, 0).IsNull()) << rest;
    // The server waits for a client: a bare connection, closed at once, lets it finish.
    Ref<TSocket> release = SocketOpenTcp();
    release->Connect(0x7F000001, shot.server.Port());
    release->Close();
    shot.server.Join();
    EXPECT_EQ(shot.request, "") << rest;
  }
}

TEST(HttpHead, LimitsOnLinesAndHead) {
  InitStreamModule();
  struct Case {
    std::string head;
    bool accepted;
    std::string rest;
  } cases[] = {
      {"A\r\n\r\nbody", true, "body"},
      {std::string(kHttpHeadLineLimit - 1, 'a') + "\n\nz", true, "z"},
      {std::string(kHttpHeadLineLimit, 'a') + "\n\nz", false, ""},
      {std::string(100, '\r') + "\nz", true, "z"},  // CR only: an empty line
  };
  std::string many;
  while (many.size() < kHttpHeadLimit)
    many += "H: v\n";
  for (const Case& c : cases) {
    auto s = test::TOneWayStream::Of(c.head);
    EXPECT_EQ(ReadHttpResponseHead(*s), c.accepted) << c.head.substr(0, 20);
    if (c.accepted) {
      EXPECT_EQ(s->bytes.substr(s->at), c.rest);
    }
  }
  EXPECT_FALSE(ReadHttpResponseHead(*test::TOneWayStream::Of(many + "\n")));
}

}  // namespace
}  // namespace vxl
