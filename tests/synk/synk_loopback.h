// Synk hosts on loopback for tests and benchmarks: a free port, connecting leaves to a hub, and
// syncing every host until a condition holds.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>
#include <vector>

#include "net/socket.h"
#include "synk/synk.h"

namespace vxl::test {

constexpr int32_t kLoopbackIp = 0x7F000001;

// A UDP port that was free a moment ago.
inline int32_t FreeUdpPort() {
  Ref<TSocket> probe = SocketOpenUdp();
  probe->Bind(0);
  return probe->LocalPort();
}

// Connects each leaf to the hub. Connecting waits for the hub's answer, so another thread keeps
// the hub syncing meanwhile; the hub is left to the calling thread again afterwards.
inline bool ConnectLeaves(const Ref<TSynkHost>& hub, int32_t port,
                          const std::vector<Ref<TSynkHost>>& leaves) {
  std::atomic<bool> stop{false};
  std::thread pump([&] {
    while (!stop)
      hub->Sync();
  });
  bool all = true;
  for (const Ref<TSynkHost>& leaf : leaves)
    all = all && leaf->Connect(kLoopbackIp, port, 5000);
  stop = true;
  pump.join();
  return all;
}

// Syncs every host in turn until done() holds; false if it does not within `limitMs`. When a hub
// is given, it takes in its traffic after each other host's sync, as a hub in its own process
// keeps doing while the others work (one thread serving 33 hosts would otherwise leave the hub's
// socket unread for so long that the system drops what the peers send it).
inline bool SyncUntil(const std::vector<Ref<TSynkHost>>& hosts, const std::function<bool()>& done,
                      int limitMs = 20000, const Ref<TSynkHost>& hub = nullptr) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
  while (std::chrono::steady_clock::now() < end) {
    for (const Ref<TSynkHost>& host : hosts) {
      host->Sync();
      if (hub && host != hub) hub->UpdateENetEvents();
    }
    if (done()) return true;
  }
  return false;
}

}  // namespace vxl::test
