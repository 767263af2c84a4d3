// Network benchmarks on loopback.
//
// http_get_vs_raw_socket_ratio: a 200 MB body read through OpenStreamUrl("http::...") and
// ReadBytes in 64 KiB blocks, against the same response read with a plain recv loop from the
// same server: the median of the ratios of several rounds, the two taking turns going first.
// synk_cpu_per_update_vs_enet_ratio: a listening Synk host with 8 (and 32) connected peers, each
// owning 100 objects (25 at 32 peers, where more stall in the transport's flow control whoever
// sends them) whose one slot changes every round, each round synced until every peer has it;
// against the same bytes sent by a plain ENet loop (each peer sends its packets, the hub relays
// each one it receives to the other peers, once per pass). CPU time of the whole process per
// delivered slot update, the contenders taking turns. synk_updates_per_s: slot updates delivered
// per second at every peer (8 peers); synk_wire_bytes_per_update: UDP payload bytes all hosts
// sent per delivered update.
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstring>
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
  constexpr int kRounds = 9;
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
  std::vector<double> ratios, streamMs, rawMs;
  for (int round = 0; round < kRounds; ++round) {
    double stream, raw;
    if (round % 2) {
      raw = bench::TimeMs(viaRecv);
      stream = bench::TimeMs(viaStream);
    } else {
      stream = bench::TimeMs(viaStream);
      raw = bench::TimeMs(viaRecv);
    }
    ratios.push_back(stream / raw);
    streamMs.push_back(stream);
    rawMs.push_back(raw);
  }
  bench::Print("http_get_ms", bench::Median(streamMs), "ms");
  bench::Print("raw_recv_ms", bench::Median(rawMs), "ms");
  bench::Print("http_get_vs_raw_socket_ratio", bench::Median(ratios));
}

double CpuSeconds() {
  timespec t;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

struct Run {
  double cpuPerUpdate = 0, updatesPerSecond = 0, wireBytesPerUpdate = 0;
  bool complete = false;
};

// Passes until done() holds, or false after a minute.
template <class Pass, class Done>
bool PassUntil(Pass pass, Done done) {
  auto end = std::chrono::steady_clock::now() + std::chrono::minutes(1);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    pass();
  }
  return true;
}

Run SynkRun(int peers, int objects, int rounds) {
  Run run;
  Ref<TSynkHost> hub = NewSynkHost();
  int32_t port = test::FreeUdpPort();
  if (!hub->Listen(port)) return run;
  std::vector<Ref<TSynkHost>> leaves;
  for (int i = 0; i < peers; ++i)
    leaves.push_back(NewSynkHost());
  if (!test::ConnectLeaves(hub, port, leaves)) return run;
  std::vector<Ref<TSynkObject>> owned;
  for (const Ref<TSynkHost>& leaf : leaves) {
    for (int n = 0; n < objects; ++n) {
      owned.push_back(leaf->CreateObject());
      owned.back()->SetInt(0, 0);
    }
  }
  // Each leaf syncs, and the hub once per pass; the updates each leaf took in this round.
  std::vector<int64_t> seen(peers);
  auto pass = [&] {
    for (int i = 0; i < peers; ++i) {
      leaves[i]->Sync();
      seen[i] += leaves[i]->ObjectsModified()->Count();
    }
    hub->Sync();
  };
  const int64_t perLeaf = int64_t(peers - 1) * objects;
  if (!PassUntil(pass, [&] {
        for (const Ref<TSynkHost>& leaf : leaves) {
          if (leaf->Objects()->Count() != peers * objects) return false;
        }
        return true;
      })) {
    return run;
  }
  uint32_t sentBefore = platform::EnetHostSentBytes(hub->_enetHost);  // the counts wrap
  for (const Ref<TSynkHost>& leaf : leaves)
    sentBefore += platform::EnetHostSentBytes(leaf->_enetHost);
  double cpu = CpuSeconds();
  auto start = std::chrono::steady_clock::now();
  run.complete = true;
  for (int round = 1; round <= rounds && run.complete; ++round) {
    for (const Ref<TSynkObject>& o : owned)
      o->SetInt(0, round);
    std::fill(seen.begin(), seen.end(), 0);
    run.complete = PassUntil(pass, [&] {
      return std::all_of(seen.begin(), seen.end(), [&](int64_t n) { return n >= perLeaf; });
    });
  }
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  double delivered = double(perLeaf) * peers * rounds;
  run.cpuPerUpdate = (CpuSeconds() - cpu) / delivered;
  run.updatesPerSecond = delivered / seconds;
  uint32_t sent = platform::EnetHostSentBytes(hub->_enetHost);
  for (const Ref<TSynkHost>& leaf : leaves)
    sent += platform::EnetHostSentBytes(leaf->_enetHost);
  run.wireBytesPerUpdate = double(sent - sentBefore) / delivered;
  for (const Ref<TSynkHost>& leaf : leaves)
    leaf->Close();
  hub->Close();
  return run;
}

// The plain loop: the bytes Synk sends for one byte slot, each peer's packets relayed by the hub
// to the other peers as they arrive (the received packet itself, shared), the hub served once
// per pass.
Run EnetRun(int peers, int objects, int rounds) {
  using namespace platform;
  Run run;
  int32_t port = test::FreeUdpPort();
  EnetHost* hub = EnetHostCreate(true, port, size_t(peers));
  std::vector<EnetHost*> leaves;
  std::vector<EnetPeer*> toHub, hubPeers;
  for (int i = 0; i < peers; ++i) {
    leaves.push_back(EnetHostCreate(false, 0, 1));
    toHub.push_back(leaves.back() ? EnetHostConnect(leaves.back(), test::kLoopbackIp, port, 1)
                                  : nullptr);
  }
  std::vector<int64_t> seen(peers);
  auto pass = [&] {
    EnetEventRecord event;
    auto leafEvent = [&](int i) {
      if (event.type == kEnetEventReceive) ++seen[i];
      EnetPacketRelease(event.packet);
    };
    for (int i = 0; i < peers; ++i) {
      while (EnetHostService(leaves[i], event, 0) > 0) {
        leafEvent(i);
        while (EnetHostCheckEvents(leaves[i], event) > 0)
          leafEvent(i);
      }
      EnetHostFlush(leaves[i]);
    }
    auto hubEvent = [&] {
      if (event.type == kEnetEventConnect) hubPeers.push_back(event.peer);
      if (event.type == kEnetEventReceive) {
        for (EnetPeer* peer : hubPeers) {
          if (peer != event.peer) EnetPeerSend(peer, 0, event.packet);
        }
      }
      EnetPacketRelease(event.packet);
    };
    while (EnetHostService(hub, event, 0) > 0) {
      hubEvent();
      while (EnetHostCheckEvents(hub, event) > 0)
        hubEvent();
    }
    EnetHostFlush(hub);
  };
  if (!hub || !PassUntil(pass, [&] { return hubPeers.size() == size_t(peers); })) return run;
  const int64_t perLeaf = int64_t(peers - 1) * objects;
  double cpu = CpuSeconds();
  auto start = std::chrono::steady_clock::now();
  run.complete = true;
  for (int round = 1; round <= rounds && run.complete; ++round) {
    std::fill(seen.begin(), seen.end(), 0);
    for (int i = 0; i < peers; ++i) {
      for (int id = 1; id <= objects; ++id) {
        uint8_t packet[4];
        WriteSynkHead(packet, SYNK_STATE_MODIFIED, id);
        packet[2] = SYNK_SLOT_BYTE << 5;
        packet[3] = uint8_t(round);
        EnetSendReliable(toHub[i], 0, packet, sizeof packet);
      }
    }
    run.complete = PassUntil(pass, [&] {
      return std::all_of(seen.begin(), seen.end(), [&](int64_t n) { return n >= perLeaf; });
    });
  }
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  double delivered = double(perLeaf) * peers * rounds;
  run.cpuPerUpdate = (CpuSeconds() - cpu) / delivered;
  run.updatesPerSecond = delivered / seconds;
  for (EnetHost* leaf : leaves)
    EnetHostDestroy(leaf);
  EnetHostDestroy(hub);
  return run;
}

// Synk against the plain loop, taking turns; the median of each contender's CPU per update.
void SynkAgainstEnet(int peers, int objects, int rounds, const char* ratioName, bool details) {
  std::vector<double> synk, enet, rate, wire;
  bool complete = true;
  for (int turn = 0; turn < 5; ++turn) {
    Run s = SynkRun(peers, objects, rounds);
    Run e = EnetRun(peers, objects, rounds);
    complete = complete && s.complete && e.complete;
    synk.push_back(s.cpuPerUpdate);
    enet.push_back(e.cpuPerUpdate);
    rate.push_back(s.updatesPerSecond);
    wire.push_back(s.wireBytesPerUpdate);
  }
  if (!complete) std::printf("synk_incomplete: %d\n", peers);
  bench::Print(ratioName, bench::Median(synk) / bench::Median(enet));
  if (!details) return;
  bench::Print("synk_cpu_ns_per_update", bench::Median(synk) * 1e9, "ns");
  bench::Print("enet_cpu_ns_per_update", bench::Median(enet) * 1e9, "ns");
  bench::Print("synk_updates_per_s", bench::Median(rate), "updates/s");
  bench::Print("synk_wire_bytes_per_update", bench::Median(wire), "bytes");
}

}  // namespace
}  // namespace vxl

// With an argument ("http" or "synk") only that part runs.
int main(int argc, char** argv) {
  vxl::InitHttpStreamModule();
  vxl::InitSynkModule();
  auto wanted = [&](const char* part) { return argc < 2 || std::strcmp(argv[1], part) == 0; };
  if (wanted("http")) vxl::HttpRatio();
  if (wanted("synk")) {
    vxl::SynkAgainstEnet(8, 100, 30, "synk_cpu_per_update_vs_enet_ratio", true);
    vxl::SynkAgainstEnet(32, 25, 10, "synk_cpu_per_update_vs_enet_ratio_32_peers", false);
  }
  return 0;
}
