// Synk hosts talking over loopback: a hub with leaves, relaying, late joiners, messages,
// disconnects, and a load of 32 peers.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "support/thrown_text.h"
#include "synk_loopback.h"

namespace vxl {
namespace {

using test::ConnectLeaves;
using test::SyncUntil;

// What a host sees of the objects, keyed by (slot 0, slot 1) so ids do not matter.
std::map<std::pair<int32_t, int32_t>, std::string> View(const Ref<TSynkHost>& host) {
  std::map<std::pair<int32_t, int32_t>, std::string> view;
  for (Ref<Object> value : host->Objects()) {
    auto o = value.As<TSynkObject>();
    if (o->State() == SYNK_STATE_DEAD || o->State() == SYNK_STATE_CLOSING) continue;
    view[{o->GetInt(0), o->GetInt(1)}] = o->GetString(2).ToCString();
  }
  return view;
}

Ref<TSynkObject> Find(const Ref<TSynkHost>& host, int32_t owner, int32_t n) {
  for (Ref<Object> value : host->Objects()) {
    auto o = value.As<TSynkObject>();
    if (o->GetInt(0) == owner && o->GetInt(1) == n) return o;
  }
  return nullptr;
}

class SynkStar : public ::testing::Test {
 protected:
  void SetUp() override {
    InitSynkModule();
    port = test::FreeUdpPort();
    hub = NewSynkHost();
    ASSERT_TRUE(ListenSynkHost(hub, port));
    EXPECT_FALSE(hub->Listen(port)) << "a host attaches once";
    all.push_back(hub);  // closed at the end whatever the test does with it
  }
  void TearDown() override {
    for (const Ref<TSynkHost>& h : all)
      h->Close();
  }
  std::vector<Ref<TSynkHost>> Leaves(int n) {
    std::vector<Ref<TSynkHost>> leaves;
    for (int i = 0; i < n; ++i)
      leaves.push_back(NewSynkHost());
    EXPECT_TRUE(ConnectLeaves(hub, port, leaves));
    all.insert(all.end(), leaves.begin(), leaves.end());
    return leaves;
  }
  int32_t port = 0;
  Ref<TSynkHost> hub;
  std::vector<Ref<TSynkHost>> all;
};

TEST_F(SynkStar, RelayLateJoinerMessagesAndDisconnect) {
  auto leaves = Leaves(2);
  Ref<TSynkHost> one = leaves[0], two = leaves[1];

  Ref<TSynkObject> mine = one->CreateObject();
  mine->SetInt(0, 1);
  mine->SetInt(1, 100);
  mine->SetString(2, "first");
  Ref<TSynkObject> hubs = hub->CreateObject();
  hubs->SetInt(0, 9);
  int createdAtTwo = 0;
  ASSERT_TRUE(SyncUntil(all, [&] {
    createdAtTwo += two->ObjectsCreated()->Count();
    return View(two).size() == 2 && View(one).size() == 2;
  }));
  EXPECT_EQ(createdAtTwo, 2);
  Ref<TSynkObject> seen = Find(two, 1, 100);
  ASSERT_TRUE(seen);
  EXPECT_TRUE(IsRemoteSynkObject(seen));
  EXPECT_EQ(seen->GetString(2), String("first"));

  // A change travels leaf to hub to leaf.
  mine->SetFloat(3, 0.25f);
  ASSERT_TRUE(SyncUntil(all, [&] { return seen->GetFloat(3) == 0.25f; }));

  // A message from leaf two to leaf one's object, through the hub, in each host's numbering;
  // a message to a local object is not sent anywhere.
  Ref<TSynkObject> note = NewSynkMessage(two);
  note->SetString(0, "hello");
  PostSynkMessage(note, seen);
  PostSynkMessage(note, two->CreateObject());
  Ref<TSynkObject> received;
  ASSERT_TRUE(SyncUntil(all, [&] {
    EXPECT_TRUE(SynkMessageList(two)->IsEmpty());
    EXPECT_TRUE(SynkMessageList(hub)->IsEmpty());
    if (!SynkMessageList(one)->IsEmpty())
      received = SynkMessageList(one)->First().As<TSynkObject>();
    return received.Get() != nullptr;
  }));
  EXPECT_EQ(SynkMessageTarget(received), mine);
  EXPECT_EQ(received->GetString(0), String("hello"));

  // A late joiner learns every announced object, relayed ones included, with all their slots.
  auto late = Leaves(1)[0];
  ASSERT_TRUE(SyncUntil(all, [&] { return View(late).size() == 3; }));
  EXPECT_EQ(View(late), View(two));
  EXPECT_EQ(Find(late, 1, 100)->GetFloat(3), 0.25f);

  // Closing an object reaches everyone; a leaf that leaves takes its objects with it.
  hubs->Close();
  ASSERT_TRUE(SyncUntil(all, [&] { return !Find(two, 9, 0) && !Find(late, 9, 0); }));
  std::set<TSynkObject*> closedAtTwo;
  one->Close();
  ASSERT_TRUE(SyncUntil(all, [&] {
    for (Ref<Object> o : two->ObjectsClosed())
      closedAtTwo.insert(o.As<TSynkObject>().Get());
    return View(two).size() == 1 && View(late).size() == 1 && hub->Peers()->Count() == 2;
  }));
  EXPECT_EQ(closedAtTwo, std::set<TSynkObject*>({seen.Get()}));
  EXPECT_FALSE(one->Listen(port)) << "a closed host is not used again";
  EXPECT_FALSE(one->Connect(test::kLoopbackIp, port, 10));
  one->Sync();
}

// Connect waits for the hub's answer: here the hub runs in another process, which answers while
// this one waits, and then says that it has the leaf as its peer.
TEST_F(SynkStar, ConnectWaitsForTheHubsAnswer) {
  int32_t farPort = test::FreeUdpPort();
  int news[2];  // the far hub's reports: listening, then joined
  ASSERT_EQ(pipe(news), 0);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    Ref<TSynkHost> far = NewSynkHost();
    char listening = far->Listen(farPort) ? 'L' : '-';
    if (write(news[1], &listening, 1) != 1) _exit(1);
    for (int round = 0; round < 5000 && far->Peers()->IsEmpty(); ++round) {
      far->Sync();
      usleep(1000);
    }
    char joined = far->Peers()->IsEmpty() ? '-' : 'J';
    _exit(write(news[1], &joined, 1) == 1 ? 0 : 1);
  }
  auto report = [&] {
    char c = 0;
    return read(news[0], &c, 1) == 1 ? c : '?';
  };
  ASSERT_EQ(report(), 'L');
  Ref<TSynkHost> leaf = NewSynkHost();
  EXPECT_TRUE(leaf->Connect(test::kLoopbackIp, farPort, 5000));
  EXPECT_EQ(leaf->Peers()->Count(), 1);
  leaf->Sync();  // acknowledges the hub's answer
  EXPECT_EQ(report(), 'J');
  leaf->Close();
  int status = 0;
  EXPECT_EQ(waitpid(child, &status, 0), child);
  close(news[0]);
  close(news[1]);
}

TEST_F(SynkStar, ConnectTimesOutWithoutAHub) {
  Ref<TSynkHost> lonely = NewSynkHost();
  EXPECT_FALSE(lonely->Listen(test::FreeUdpPort() + 65536))
      << "a port number that would wrap names no port";
  EXPECT_FALSE(lonely->Connect(test::kLoopbackIp, test::FreeUdpPort(), 200));
  EXPECT_EQ(lonely->_enetHost, nullptr);
  lonely->Close();
}

TEST_F(SynkStar, ThirtyTwoPeersConvergeAndLoseExactlyALeaversObjects) {
  constexpr int kPeers = 32, kObjects = 100;
  auto leaves = Leaves(kPeers);
  for (int p = 0; p < kPeers; ++p) {
    for (int n = 0; n < kObjects; ++n) {
      Ref<TSynkObject> o = leaves[p]->CreateObject();
      o->SetInt(0, p + 1);
      o->SetInt(1, n);
      o->SetString(2, "v" + String::FromInt(p * 1000 + n));
    }
  }
  auto everyoneHas = [&](size_t count) {
    for (const Ref<TSynkHost>& h : all) {
      if (h->Objects()->Count() != static_cast<int32_t>(count)) return false;
    }
    return true;
  };
  ASSERT_TRUE(SyncUntil(
      all, [&] { return everyoneHas(kPeers * kObjects); }, 60000, hub));
  auto expected = View(leaves[0]);
  ASSERT_EQ(expected.size(), size_t{kPeers * kObjects});
  for (const Ref<TSynkHost>& h : all)
    EXPECT_EQ(View(h), expected);
  EXPECT_EQ(expected[std::make_pair(7, 42)], "v6042");

  // The first leaf leaves: every other host sees exactly its objects closed, once each.
  std::vector<std::map<std::pair<int32_t, int32_t>, int>> closed(all.size());
  leaves[0]->Close();
  std::vector<Ref<TSynkHost>> rest(all.begin(), all.end());
  rest.erase(rest.begin() + 1);  // all = hub, leaves...
  ASSERT_TRUE(SyncUntil(
      rest,
      [&] {
        for (size_t i = 0; i < rest.size(); ++i) {
          for (Ref<Object> o : rest[i]->ObjectsClosed()) {
            auto obj = o.As<TSynkObject>();
            ++closed[i][{obj->GetInt(0), obj->GetInt(1)}];
          }
        }
        for (const Ref<TSynkHost>& h : rest) {
          if (h->Objects()->Count() != (kPeers - 1) * kObjects) return false;
        }
        return true;
      },
      20000, hub));
  for (size_t i = 0; i < rest.size(); ++i) {
    EXPECT_EQ(closed[i].size(), size_t{kObjects});
    for (const auto& [key, times] : closed[i]) {
      EXPECT_EQ(key.first, 1);
      EXPECT_EQ(times, 1);
    }
  }
}

// The bytes a hub relays and announces, as two bare transport hosts served on this thread see
// them: a peer's packets go on to the other peer under the hub's id, the hub's own object goes to
// both, and nothing comes back to the sender.
TEST_F(SynkStar, RelayedBytesOnTheWire) {
  using Bytes = std::vector<uint8_t>;
  platform::EnetHost* ends[2] = {platform::EnetHostCreate(false, 0, 1),
                                 platform::EnetHostCreate(false, 0, 1)};
  ASSERT_TRUE(ends[0] && ends[1]);
  platform::EnetPeer* toHub[2];
  std::vector<Bytes> heard[2];
  auto serve = [&](int rounds) {
    for (int round = 0; round < rounds; ++round) {
      hub->Sync();
      for (int e = 0; e < 2; ++e) {
        platform::EnetEventRecord event;
        while (platform::EnetHostService(ends[e], event, 0) > 0) {
          if (event.type == platform::kEnetEventReceive) {
            const uint8_t* data = platform::EnetPacketData(event.packet);
            heard[e].emplace_back(data, data + platform::EnetPacketSize(event.packet));
            platform::EnetPacketDestroy(event.packet);
          }
        }
      }
    }
  };
  for (int e = 0; e < 2; ++e) {
    toHub[e] = platform::EnetHostConnect(ends[e], test::kLoopbackIp, port, 1);
    for (int round = 0; round < 5000 && hub->Peers()->Count() <= e; ++round)
      serve(1);
  }
  ASSERT_EQ(hub->Peers()->Count(), 2);

  const Bytes sent[] = {{0x10, 0x07, 0x80, 5}, {0x20, 0x07, 0x80, 6}, {0x30, 0x07}};
  for (const Bytes& packet : sent)
    ASSERT_GE(platform::EnetSendReliable(toHub[0], 0, packet.data(), packet.size()), 0);
  for (int round = 0; round < 5000 && heard[1].size() < 3; ++round)
    serve(1);
  Ref<TSynkObject> own = hub->CreateObject();  // id 1 again: the peer's object has closed
  own->SetInt(0, 300);
  for (int round = 0; round < 5000 && (heard[1].size() < 4 || heard[0].empty()); ++round)
    serve(1);
  EXPECT_EQ(heard[1], (std::vector<Bytes>{{0x10, 0x01, 0x80, 5},
                                          {0x20, 0x01, 0x80, 6},
                                          {0x30, 0x01},
                                          {0x10, 0x01, 0xA0, 0x01, 0x2C}}));
  EXPECT_EQ(heard[0], (std::vector<Bytes>{{0x10, 0x01, 0xA0, 0x01, 0x2C}}));

  // Changes made in any order within one sync leave in the order of the host's object list.
  Ref<TSynkObject> second = hub->CreateObject(), third = hub->CreateObject();
  third->SetInt(0, 3);
  second->SetInt(0, 2);
  for (int round = 0; round < 5000 && heard[0].size() < 3; ++round)
    serve(1);
  third->SetInt(0, 4);
  second->SetInt(0, 5);
  own->SetInt(0, 6);
  for (int round = 0; round < 5000 && heard[0].size() < 6; ++round)
    serve(1);
  EXPECT_EQ(heard[0], (std::vector<Bytes>{{0x10, 0x01, 0xA0, 0x01, 0x2C},
                                          {0x10, 0x02, 0x80, 2},
                                          {0x10, 0x03, 0x80, 3},
                                          {0x20, 0x01, 0x80, 6},
                                          {0x20, 0x02, 0x80, 5},
                                          {0x20, 0x03, 0x80, 4}}));
  for (platform::EnetHost* end : ends)
    platform::EnetHostDestroy(end);
}

// A host released without Close, while the application still holds one of its peers: the peer
// no longer reaches the transport's freed records, and the far end hears the disconnect. The far
// end is a bare transport host served on this thread, so this runs in checked builds too.
TEST_F(SynkStar, ReleasedHostLetsGoOfItsTransport) {
  platform::EnetHost* far = platform::EnetHostCreate(false, 0, 1);
  ASSERT_NE(far, nullptr);
  int32_t farPort = test::FreeUdpPort();
  Ref<TSynkPeer> held;
  {
    Ref<TSynkHost> host = New<TSynkHost>();  // as reflection makes one
    ASSERT_TRUE(host->Listen(farPort));
    platform::EnetHostConnect(far, test::kLoopbackIp, farPort, 1);
    platform::EnetEventRecord event;
    for (int round = 0; round < 5000 && host->Peers()->IsEmpty(); ++round) {
      host->Sync();
      platform::EnetHostService(far, event, 1);
    }
    ASSERT_EQ(host->Peers()->Count(), 1);
    held = host->Peers()->First().As<TSynkPeer>();
  }
  EXPECT_EQ(held->_enetPeer, nullptr);
  EXPECT_THROW_TEXT_AS(String, held->SendMsg(TSynkMsg::Create(1, 2, Array<uint8_t>())),
                       "ENet errror");
  held->Close();

  platform::EnetEventRecord event;
  bool heard = false;
  for (int round = 0; round < 50 && !heard; ++round) {
    heard = platform::EnetHostService(far, event, 100) > 0 &&
            event.type == platform::kEnetEventDisconnect;
  }
  EXPECT_TRUE(heard);
  platform::EnetHostDestroy(far);

  // Reflection may have set a host's lists to Null: releasing it still ends quietly.
  Ref<TSynkHost> bare = NewSynkHost();
  ASSERT_TRUE(bare->Listen(test::FreeUdpPort()));
  bare->_peers = nullptr;
  bare->_enetEvents = nullptr;
  bare = nullptr;
}

}  // namespace
}  // namespace vxl
