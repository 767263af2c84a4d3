// Network benchmarks on loopback.
//
// http_get_vs_raw_socket_ratio: a 200 MB body read through OpenStreamUrl("http::...") and
// ReadBytes in 64 KiB blocks, against the same response read with a plain recv loop from the
// same server (median of a few alternating rounds).
// synk_updates_per_s: a listening host with 8 connected peers, each owning 500 objects whose one
// int slot changes every round, for 200 rounds (each synced until every peer has it): slot
// updates delivered per second at every peer, and the UDP payload bytes all hosts sent per
// delivered update.
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "bench_util.h"
#include "net/http_stream.h"
#include "net/loopback_server.h"
#include "synk/synk_loopback.h"

namespace vxl {
namespace {

constexpr int64_t kBodyBytes = 200ll << 20;
constexpr int32_t kBlock = 64 << 10;

void ServeBody(int32_t client) {
  test::LoopbackServer::ReadRequestHead(client);
  std::string block(1 << 20, 'b');
  test::LoopbackServer::SendAll(
      client, "HTTP/1.0 200 OK\r\nContent-Type: application/octet-stream\r\n\r\n");
  for (int64_t sent = 0; sent < kBodyBytes; sent += static_cast<int64_t>(block.size())) {
    if (!test::LoopbackServer::SendAll(client, block)) return;
  }
}

void HttpRatio() {
  constexpr int kRounds = 5;
  test::LoopbackServer server(2 * kRounds, ServeBody);
  String url = "http::127.0.0.1:" + String::FromInt(server.Port()) + "/f";
  std::vector<uint8_t> buf(kBlock);
  auto viaStream = [&] {
    // Read until the server closes, as the recv loop does. (ReadBytes wants whole blocks, and
    // whether the close is seen before the last block's Eof check depends on timing.)
    Ref<TStream> s = OpenStreamUrl(url, 1, 0);
    while (s && s->Read(buf.data(), kBlock) > 0) {
    }
  };
  auto viaRecv = [&] {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(server.Port()));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
      std::string request = "GET /f HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
      send(fd, request.data(), request.size(), MSG_NOSIGNAL);
      while (recv(fd, buf.data(), kBlock, 0) > 0) {
      }
    }
    close(fd);
  };
  auto [stream, raw] = bench::MedianPairMs(kRounds, viaStream, viaRecv);
  bench::Print("http_get_ms", stream, "ms");
  bench::Print("raw_recv_ms", raw, "ms");
  bench::Print("http_get_vs_raw_socket_ratio", stream / raw);
}

void SynkUpdates() {
  constexpr int kPeers = 8, kObjects = 500, kSyncs = 200;
  Ref<TSynkHost> hub = NewSynkHost();
  int32_t port = test::FreeUdpPort();
  if (!hub->Listen(port)) return;
  std::vector<Ref<TSynkHost>> leaves;
  for (int i = 0; i < kPeers; ++i)
    leaves.push_back(NewSynkHost());
  if (!test::ConnectLeaves(hub, port, leaves)) return;
  std::vector<Ref<TSynkHost>> all{hub};
  all.insert(all.end(), leaves.begin(), leaves.end());
  std::vector<std::vector<Ref<TSynkObject>>> owned(kPeers);
  for (int p = 0; p < kPeers; ++p) {
    for (int n = 0; n < kObjects; ++n) {
      owned[p].push_back(leaves[p]->CreateObject());
      owned[p].back()->SetInt(0, 0);
    }
  }
  auto everyoneSees = [&](int32_t value) {
    for (const Ref<TSynkHost>& leaf : leaves) {
      int32_t remote = 0;
      for (Ref<Object> o : leaf->Objects()) {
        auto obj = o.As<TSynkObject>();
        if (obj->_peer && obj->GetInt(0) == value) ++remote;
      }
      if (remote != (kPeers - 1) * kObjects) return false;
    }
    return true;
  };
  if (!test::SyncUntil(
          all, [&] { return everyoneSees(0); }, 60000, hub))
    return;

  uint32_t sentBefore = 0;  // the counts wrap; their difference does not
  for (const Ref<TSynkHost>& h : all)
    sentBefore += platform::EnetHostSentBytes(h->_enetHost);
  // Lockstep: each round's changes are delivered everywhere before the next round starts, so the
  // figure is a rate the hub sustains, not a queue left to drain.
  auto start = std::chrono::steady_clock::now();
  bool done = true;
  for (int round = 1; round <= kSyncs && done; ++round) {
    for (auto& objects : owned) {
      for (const Ref<TSynkObject>& o : objects)
        o->SetInt(0, round);
    }
    done = test::SyncUntil(
        all, [&] { return everyoneSees(round); }, 60000, hub);
  }
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  uint32_t sent = 0;
  for (const Ref<TSynkHost>& h : all)
    sent += platform::EnetHostSentBytes(h->_enetHost);
  double delivered = double(kPeers) * (kPeers - 1) * kObjects * kSyncs;
  if (!done) std::printf("synk_incomplete: 1\n");
  bench::Print("synk_updates_per_s", delivered / seconds, "updates/s");
  bench::Print("synk_wire_bytes_per_update", double(sent - sentBefore) / delivered, "bytes");
  for (const Ref<TSynkHost>& h : all)
    h->Close();
}

}  // namespace
}  // namespace vxl

int main() {
  vxl::InitHttpStreamModule();
  vxl::InitSynkModule();
  vxl::HttpRatio();
  vxl::SynkUpdates();
  return 0;
}
