// Synk hosts on loopback for tests and benchmarks: a free port, connecting leaves to a hub, and
// syncing every host until a condition holds.
#pragma once

#include <chrono>
#include <functional>
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

// Connects each leaf to the hub, all on this thread. Connect waits for the hub's answer, which
// a hub served by this same thread never gives; so each leaf's transport starts connecting here,
// the hub and the leaves are served in turn until every leaf hears its connection accepted, and
// then each leaf takes the hub as its peer, as Connect does once the answer is in.
inline bool ConnectLeaves(const Ref<TSynkHost>& hub, int32_t port,
                          const std::vector<Ref<TSynkHost>>& leaves, int limitMs = 10000) {
  std::vector<platform::EnetPeer*> servers;
  for (const Ref<TSynkHost>& leaf : leaves) {
    if (leaf->_enetHost) return false;
    leaf->_enetHost = platform::EnetHostCreate(false, 0, 32);
    if (!leaf->_enetHost) return false;
    servers.push_back(platform::EnetHostConnect(leaf->_enetHost, kLoopbackIp, port, 1));
    if (!servers.back()) return false;
  }
  std::vector<bool> accepted(leaves.size());
  size_t left = leaves.size();
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
  while (left > 0 && std::chrono::steady_clock::now() < end) {
    hub->Sync();
    for (size_t i = 0; i < leaves.size(); ++i) {
      if (accepted[i]) continue;
      leaves[i]->UpdateENetEvents();
      for (Ref<TLink> link = leaves[i]->_enetEvents->FirstLink(); link; link = link->NextLink()) {
        auto event = link->Value().As<ENetEvent>();
        if (event && event->event == platform::kEnetEventConnect && event->peer == servers[i]) {
          link->Remove();
          leaves[i]->AddPeer(servers[i]);
          accepted[i] = true;
          --left;
          break;
        }
      }
    }
  }
  return left == 0;
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
