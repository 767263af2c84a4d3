// Sockets and socket streams on loopback.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "net/socket.h"
#include "net/socket_stream.h"

namespace vxl {
namespace {

constexpr int32_t kLoopback = 0x7F000001;

class SocketTest : public ::testing::Test {
 protected:
  void SetUp() override { InitSocketStreamModule(); }

  // A listening TCP socket on a free loopback port.
  static Ref<TSocket> Listener() {
    Ref<TSocket> s = SocketOpenTcp();
    EXPECT_EQ(s->Bind(0), 1);
    EXPECT_EQ(s->Listen(4), 1);
    return s;
  }
  // A connected pair: the client and the server's end.
  static std::pair<Ref<TSocket>, Ref<TSocket>> Pair(const Ref<TSocket>& listener) {
    Ref<TSocket> client = SocketOpenTcp();
    EXPECT_EQ(client->Connect(kLoopback, listener->LocalPort()), 1);
    Ref<TSocket> server = listener->Accept(-1);
    EXPECT_TRUE(server);
    return {client, server};
  }
};

TEST_F(SocketTest, ConnectAcceptTransferAndNames) {
  Ref<TSocket> listener = Listener();
  EXPECT_EQ(listener->LocalIp(), 0);  // bound to every address
  EXPECT_GT(listener->LocalPort(), 0);
  EXPECT_TRUE(listener->Accept(0).IsNull()) << "nobody is waiting";

  auto [client, server] = Pair(listener);
  EXPECT_EQ(client->RemoteIp(), kLoopback);
  EXPECT_EQ(client->RemotePort(), listener->LocalPort());
  EXPECT_EQ(server->LocalPort(), listener->LocalPort());
  EXPECT_EQ(server->RemotePort(), client->LocalPort());
  EXPECT_EQ(server->RemoteIp(), kLoopback);

  const char text[] = "hello, socket";
  EXPECT_EQ(client->Send(reinterpret_cast<const uint8_t*>(text), 13, 0), 13);
  uint8_t peek[5];
  EXPECT_EQ(server->Recv(peek, 5, 2), 5);  // peeking leaves the bytes waiting
  EXPECT_EQ(server->ReadAvail(), 13);
  uint8_t buf[32] = {};
  EXPECT_EQ(server->Recv(buf, sizeof buf, 0), 13);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 13), text);
  EXPECT_EQ(server->ReadAvail(), 0);
  EXPECT_EQ(server->Connected(), 1);

  // The names are read again on request; after Close every field is -1.
  client->_remotePort = 1;
  client->UpdateRemoteName();
  EXPECT_EQ(client->RemotePort(), listener->LocalPort());
  EXPECT_EQ(client->Close(), 0);
  EXPECT_EQ(client->Socket(), -1);
  EXPECT_EQ(client->LocalIp(), -1);
  EXPECT_EQ(client->LocalPort(), -1);
  EXPECT_EQ(client->RemoteIp(), -1);
  EXPECT_EQ(client->RemotePort(), -1);
  EXPECT_EQ(client->Connected(), 0);
  EXPECT_EQ(client->Recv(buf, 1, 0), 0);

  // The server sees the peer gone: Connected closes its side.
  EXPECT_EQ(server->Connected(), 0);
  EXPECT_EQ(server->Socket(), -1);
  // A closed socket has no names to read.
  server->UpdateLocalName();
  EXPECT_EQ(server->LocalIp(), 0);
  EXPECT_EQ(server->LocalPort(), 0);
}

TEST_F(SocketTest, OnlyAGoneTcpPeerMakesConnectedCloseTheSocket) {
  // Readable with nothing to read: a listener with a client waiting, a UDP socket holding an
  // empty datagram. Both stay open and connected.
  Ref<TSocket> listener = Listener();
  Ref<TSocket> client = SocketOpenTcp();
  ASSERT_EQ(client->Connect(kLoopback, listener->LocalPort()), 1);
  pollfd waiting{listener->Socket(), POLLIN, 0};
  ASSERT_EQ(poll(&waiting, 1, 5000), 1);
  EXPECT_EQ(listener->Connected(), 1);
  EXPECT_GE(listener->Socket(), 0);
  EXPECT_TRUE(listener->Accept(0));

  Ref<TSocket> udp = SocketOpenUdp();
  ASSERT_EQ(udp->Bind(0), 1);
  int sender = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<uint16_t>(udp->LocalPort()));
  to.sin_addr.s_addr = htonl(kLoopback);
  ASSERT_EQ(sendto(sender, "", 0, 0, reinterpret_cast<sockaddr*>(&to), sizeof to), 0);
  close(sender);
  pollfd datagram{udp->Socket(), POLLIN, 0};
  ASSERT_EQ(poll(&datagram, 1, 5000), 1);
  EXPECT_EQ(udp->Connected(), 1);
  EXPECT_GE(udp->Socket(), 0);

  // TCP sockets that never had a peer have none to lose (the system reports them hung up).
  Ref<TSocket> fresh = SocketOpenTcp();
  Ref<TSocket> bound = SocketOpenTcp();
  ASSERT_EQ(bound->Bind(0), 1);
  for (const Ref<TSocket>& s : {fresh, bound}) {
    EXPECT_EQ(s->Connected(), 1);
    EXPECT_GE(s->Socket(), 0) << "closed";
  }

  // A peer that resets the connection has gone, as one that closes it.
  auto [client2, server2] = Pair(listener);
  linger abort{1, 0};
  ASSERT_EQ(setsockopt(client2->Socket(), SOL_SOCKET, SO_LINGER, &abort, sizeof abort), 0);
  client2->Close();
  pollfd reset{server2->Socket(), POLLIN, 0};
  ASSERT_EQ(poll(&reset, 1, 5000), 1);
  EXPECT_EQ(server2->Connected(), 0);
  EXPECT_EQ(server2->Socket(), -1);
}

TEST_F(SocketTest, RefusedAndFailedCallsReportZeroOrNull) {
  Ref<TSocket> unused = SocketOpenTcp();
  ASSERT_EQ(unused->Bind(0), 1);  // bound, never listening: connections are refused
  int32_t port = unused->LocalPort();
  Ref<TSocket> client = SocketOpenTcp();
  EXPECT_EQ(client->Connect(kLoopback, port), 0);
  EXPECT_TRUE(TSocketStream::CreateClient("127.0.0.1", port).IsNull());
  EXPECT_TRUE(OpenStreamUrl("tcp::127.0.0.1:" + String::FromInt(port), 1, 1).IsNull());
  EXPECT_TRUE(TSocketStream::CreateClient("no-such-host.invalid", 80).IsNull());

  // Binding a port in use fails; UDP sockets bind too.
  Ref<TSocket> second = SocketOpenTcp();
  EXPECT_EQ(second->Bind(port), 0);
  Ref<TSocket> udp = SocketOpenUdp();
  EXPECT_EQ(udp->Bind(0), 1);
  EXPECT_GT(udp->LocalPort(), 0);
  EXPECT_TRUE(TSocket::Create(-1, 1).IsNull());
}

TEST_F(SocketTest, PortsOutsideSixteenBitsNameNoPort) {
  // Each of these numbers would wrap onto a real port, the listener's among them.
  Ref<TSocket> listener = Listener();
  int32_t port = listener->LocalPort();
  for (int32_t outside : {-1, 65536, port + 65536, port - 65536, INT32_MIN + port}) {
    EXPECT_EQ(SocketOpenTcp()->Bind(outside), 0) << outside;
    EXPECT_EQ(SocketOpenTcp()->Connect(kLoopback, outside), 0) << outside;
    EXPECT_TRUE(OpenStreamUrl("tcp::127.0.0.1:" + String::FromInt(outside), 1, 1).IsNull())
        << outside;
  }
  EXPECT_EQ(listener->Accept(0), nullptr) << "nothing connected";
}

TEST_F(SocketTest, SendToAResetPeerGivesZeroWithoutSignal) {
  Ref<TSocket> listener = Listener();
  auto [client, server] = Pair(listener);
  server->Close();
  std::string block(1 << 16, 'x');
  int32_t sent = 1;
  // The first sends may still be accepted by the system; once the reset arrives they give 0.
  for (int i = 0; i < 64 && sent != 0; ++i) {
    sent = client->Send(reinterpret_cast<const uint8_t*>(block.data()), 1 << 16, 0);
  }
  EXPECT_EQ(sent, 0);
}

TEST_F(SocketTest, StreamReadsUntilPeerCloses) {
  Ref<TSocket> listener = Listener();
  Ref<TStream> stream =
      OpenStreamUrl("tcp::127.0.0.1:" + String::FromInt(listener->LocalPort()), 1, 1);
  ASSERT_TRUE(stream);
  auto socketStream = stream.As<TSocketStream>();
  ASSERT_TRUE(socketStream);
  EXPECT_EQ(socketStream->_autoClose, 1);
  Ref<TSocket> server = listener->Accept(-1);
  ASSERT_TRUE(server);

  EXPECT_EQ(stream->WriteLine("ping"), 1);
  uint8_t buf[6];
  EXPECT_EQ(server->Recv(buf, 6, 0), 6);
  EXPECT_EQ(std::memcmp(buf, "ping\r\n", 6), 0);

  const char reply[] = "pong\nrest";
  server->Send(reinterpret_cast<const uint8_t*>(reply), 9, 0);
  server->Close();
  EXPECT_EQ(stream->ReadLine(), String("pong"));
  EXPECT_EQ(stream->Eof(), 0) << "bytes are still waiting";
  EXPECT_EQ(stream->ReadString(4), String("rest"));
  EXPECT_EQ(stream->Eof(), 1);
  EXPECT_TRUE(socketStream->Socket().IsNull());
  EXPECT_EQ(stream->Read(buf, 1), 0);
  EXPECT_THROW(stream->WriteInt(1), Thrown);
  // Not seekable.
  EXPECT_EQ(stream->Pos(), -1);
  EXPECT_EQ(stream->Seek(0), -1);

  // A stream that does not own its socket leaves it open.
  auto [a, b] = Pair(listener);
  Ref<TSocketStream> borrowed = NewSocketStream(a, 0);
  EXPECT_EQ(SocketOfStream(borrowed), a);
  borrowed->Close();
  EXPECT_GE(a->Socket(), 0);
}

TEST(SocketNames, ResolutionAndDottedText) {
  InitSocketModule();
  EXPECT_EQ(IpToDottedText(ResolveHostAddress("localhost", 0)), String("127.0.0.1"));
  EXPECT_EQ(ResolveHostAddress("localhost", -1), 0);
  EXPECT_EQ(ResolveHostAddress("127.0.0.1", 5), 0);
  EXPECT_EQ(ResolveHostAddresses("10.1.2.3").Length(), 1);
  EXPECT_EQ(ResolveHostAddresses("10.1.2.3")[0], 0x0A010203);
  EXPECT_TRUE(ResolveHostAddresses("no-such-host.invalid").IsEmpty());
  EXPECT_TRUE(ResolveHostAddresses("").IsEmpty());
  EXPECT_FALSE(ResolveAddressName(kLoopback).IsEmpty());

  struct Case {
    int32_t ip;
    const char* text;
  } cases[] = {{static_cast<int32_t>(3232235777u), "192.168.1.1"},
               {0, "0.0.0.0"},
               {-1, "255.255.255.255"},
               {kLoopback, "127.0.0.1"}};
  for (const Case& c : cases)
    EXPECT_EQ(IpToDottedText(c.ip), String(c.text)) << c.text;

  struct Split {
    const char* text;
    const char* host;
    int32_t port;
  } splits[] = {{"somehost:8080", "somehost", 8080},
                {"somehost", "somehost", 80},
                {"somehost:abc", "somehost", 0},
                {"a:1:2", "a", 1}};
  for (const Split& s : splits) {
    String host;
    int32_t port = -1;
    SplitHostPort(s.text, host, port, 80);
    EXPECT_EQ(host, String(s.host)) << s.text;
    EXPECT_EQ(port, s.port) << s.text;
  }
}

}  // namespace
}  // namespace vxl
