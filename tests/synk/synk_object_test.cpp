// Synk slots, objects, packing and the receiving side of a host, without a transport.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "support/thrown_text.h"
#include "synk/synk.h"

namespace vxl {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes ToBytes(const Array<uint8_t>& a) {
  return Bytes(a.begin(), a.end());
}
Array<uint8_t> ToArray(const Bytes& b) {
  auto a = Array<uint8_t>::New(static_cast<int32_t>(b.size()));
  std::copy(b.begin(), b.end(), a.begin());
  return a;
}

class SynkObjectTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitSynkModule();
    host = NewSynkHost();
  }
  void TearDown() override { host->Close(); }
  Ref<TSynkHost> host;
};

TEST_F(SynkObjectTest, SlotsPackByteForByte) {
  struct Case {
    const char* name;
    std::function<void(TSynkObject&)> set;
    int32_t type;
    Bytes packed;
  } cases[] = {
      {"byte", [](TSynkObject& o) { o.SetInt(3, 200); }, SYNK_SLOT_BYTE, {0x83, 200}},
      {"short", [](TSynkObject& o) { o.SetInt(3, 300); }, SYNK_SLOT_SHORT, {0xA3, 0x01, 0x2C}},
      {"negative",
       [](TSynkObject& o) { o.SetInt(3, -5); },
       SYNK_SLOT_INT,
       {0x23, 0xFF, 0xFF, 0xFF, 0xFB}},
      {"large",
       [](TSynkObject& o) { o.SetInt(3, 70000); },
       SYNK_SLOT_INT,
       {0x23, 0x00, 0x01, 0x11, 0x70}},
      {"byte edge", [](TSynkObject& o) { o.SetInt(3, 255); }, SYNK_SLOT_BYTE, {0x83, 0xFF}},
      {"short edge",
       [](TSynkObject& o) { o.SetInt(3, 65535); },
       SYNK_SLOT_SHORT,
       {0xA3, 0xFF, 0xFF}},
      {"float",
       [](TSynkObject& o) { o.SetFloat(3, 1.5f); },
       SYNK_SLOT_FLOAT,
       {0xC3, 0x3F, 0xC0, 0x00, 0x00}},
      {"string",
       [](TSynkObject& o) { o.SetString(0, "ab"); },
       SYNK_SLOT_STRING,
       {0x60, 0x00, 0x02, 'a', 'b'}},
      {"latin-1",
       [](TSynkObject& o) { o.SetString(31, String::FromChar(0xE9)); },
       SYNK_SLOT_STRING,
       {0x7F, 0x00, 0x01, 0xE9}},
  };
  for (const Case& c : cases) {
    Ref<TSynkObject> o = TSynkObject::Create(1, SYNK_STATE_CREATED, host, nullptr);
    c.set(*o);
    int32_t index = c.packed[0] & 31;
    EXPECT_EQ(o->_slots[index]->_type, c.type) << c.name;
    EXPECT_EQ(ToBytes(o->PackSlots(o->_modified)), c.packed) << c.name;
    // Received by another object, the value and the derived type come back.
    Ref<TSynkObject> copy = TSynkObject::Create(2, SYNK_STATE_SYNCED, host, nullptr);
    copy->UnpackSlots(ToArray(c.packed));
    EXPECT_EQ(copy->_slots[index]->_type, c.type) << c.name;
    EXPECT_EQ(copy->GetInt(index), o->GetInt(index)) << c.name;
    EXPECT_EQ(copy->GetString(index), o->GetString(index)) << c.name;
    EXPECT_EQ(copy->_modified, 1 << index) << c.name;
    EXPECT_EQ(copy->State(), SYNK_STATE_MODIFIED) << c.name;
  }
  // Several slots go out in index order; a mask picks some of them; unset slots are skipped.
  Ref<TSynkObject> o = TSynkObject::Create(1, SYNK_STATE_CREATED, host, nullptr);
  o->SetInt(5, 1);
  o->SetInt(2, 2);
  EXPECT_EQ(ToBytes(o->PackSlots(-1)), (Bytes{0x82, 2, 0x85, 1}));
  EXPECT_EQ(ToBytes(o->PackSlots(1 << 5)), (Bytes{0x85, 1}));
  EXPECT_TRUE(o->PackSlots(1 << 7).IsEmpty());
}

TEST_F(SynkObjectTest, HalfFloatsDecodeOnReceipt) {
  struct Case {
    uint16_t half;
    float value;
  } cases[] = {{0x3C00, 1.0f},     {0xC000, -2.0f},     {0x3555, 0.33325195f},
               {0x7BFF, 65504.0f}, {0x0001, 0x1p-24f},  {0x03FF, 0x3FFp-24f},
               {0x7C00, INFINITY}, {0xFC00, -INFINITY}, {0x8000, -0.0f}};
  for (const Case& c : cases) {
    Ref<TSynkObject> o = TSynkObject::Create(1, SYNK_STATE_SYNCED, host, nullptr);
    o->UnpackSlots(
        ToArray({0x47, static_cast<uint8_t>(c.half >> 8), static_cast<uint8_t>(c.half)}));
    EXPECT_EQ(std::bit_cast<uint32_t>(o->GetFloat(7)), std::bit_cast<uint32_t>(c.value)) << c.half;
    EXPECT_EQ(o->_slots[7]->_type, SYNK_SLOT_FLOAT);
  }
  Ref<TSynkObject> o = TSynkObject::Create(1, SYNK_STATE_SYNCED, host, nullptr);
  o->UnpackSlots(ToArray({0x40, 0x7E, 0x00}));
  EXPECT_TRUE(std::isnan(o->GetFloat(0)));
}

TEST_F(SynkObjectTest, MalformedSlotDataRaisesAndChangesNothing) {
  struct Case {
    Bytes data;
    const char* error;
  } cases[] = {
      {{0x81, 7, 0x02}, "Invalid Synk data type"},           // type 0
      {{0x81, 7, 0xE2, 1}, "Invalid Synk data type"},        // type 7
      {{0x81, 7, 0x22, 0, 0, 0}, "Corrupt Synk message"},    // int one byte short
      {{0x81, 7, 0x62, 0, 5, 'a'}, "Corrupt Synk message"},  // string past the end
      {{0x81, 7, 0x62, 0}, "Corrupt Synk message"},          // string length cut
      {{0xA1}, "Corrupt Synk message"},                      // header without payload
  };
  for (const Case& c : cases) {
    Ref<TSynkObject> o = TSynkObject::Create(1, SYNK_STATE_SYNCED, host, nullptr);
    EXPECT_THROW_TEXT_AS(String, o->UnpackSlots(ToArray(c.data)), c.error);
    EXPECT_EQ(o->GetInt(1), 0);
    EXPECT_EQ(o->_modified, 0);
    EXPECT_EQ(o->State(), SYNK_STATE_SYNCED);
  }
}

TEST_F(SynkObjectTest, PackedSizeLimit) {
  // 65520 bytes is the most one message carries: slot 0 takes n + 3, slot 1 two more.
  Ref<TSynkObject> o = TSynkObject::Create(1, SYNK_STATE_CREATED, host, nullptr);
  o->SetString(0, String(std::string(65515, 'x')));
  o->SetInt(1, 9);
  EXPECT_EQ(o->PackSlots(-1).Length(), 65520);
  o->SetInt(1, 300);
  EXPECT_THROW_TEXT_AS(String, o->PackSlots(-1), "Synk message data too large");
  EXPECT_THROW_TEXT_AS(String, o->Sync(), "Synk message data too large");
  o->_slots[2]->_type = SYNK_SLOT_HALF;  // never set locally: cannot be packed
  EXPECT_THROW_TEXT_AS(String, o->PackSlots(1 << 2), "Invalid Synk data type");
}

TEST_F(SynkObjectTest, LocalObjectLifeCycle) {
  Ref<TSynkObject> o = host->CreateObject();
  EXPECT_EQ(o->_id, 1);
  o->SetString(0, "ab");
  Ref<TSynkMsg> created = o->Sync();
  ASSERT_TRUE(created);
  EXPECT_EQ(created->state, SYNK_STATE_CREATED);
  EXPECT_EQ(ToBytes(created->data), (Bytes{0x60, 0x00, 0x02, 'a', 'b'}));
  EXPECT_EQ(o->State(), SYNK_STATE_SYNCED);
  EXPECT_TRUE(o->Sync().IsNull()) << "nothing changed";

  o->SetInt(4, 1);
  EXPECT_EQ(o->State(), SYNK_STATE_MODIFIED);
  Ref<TSynkMsg> modified = o->Sync();
  EXPECT_EQ(modified->state, SYNK_STATE_MODIFIED);
  EXPECT_EQ(ToBytes(modified->data), (Bytes{0x84, 1})) << "only what changed";
  EXPECT_EQ(ToBytes(o->CreatedMsg()->data), (Bytes{0x60, 0, 2, 'a', 'b', 0x84, 1}));
  EXPECT_TRUE(o->ClosedMsg()->data.IsEmpty());
  EXPECT_EQ(o->MessageMsg(77)->id, 77);
  EXPECT_EQ(o->MessageMsg(77)->state, SYNK_STATE_MESSAGE);

  o->_target = host;  // released when the close is sent
  o->Close();
  o->Close();
  EXPECT_EQ(o->State(), SYNK_STATE_CLOSING);
  Ref<TSynkMsg> closed = o->Sync();
  EXPECT_EQ(closed->state, SYNK_STATE_CLOSING);
  EXPECT_TRUE(closed->data.IsEmpty());
  EXPECT_EQ(o->State(), SYNK_STATE_DEAD);
  EXPECT_TRUE(o->_target.IsNull());
  EXPECT_THROW_TEXT_AS(String, o->Close(), "Illegal object state");

  Ref<TSynkObject> never = host->CreateObject();
  never->Close();
  EXPECT_EQ(never->State(), SYNK_STATE_DEAD);
  EXPECT_TRUE(never->Sync().IsNull());
  EXPECT_THROW_TEXT_AS(String, host->CreateMessage()->Close(), "Illegal object state");

  // A remote object never sends, but moves on the same way.
  Ref<TSynkObject> remote =
      TSynkObject::Create(9, SYNK_STATE_MODIFIED, host, TSynkPeer::Create(nullptr));
  EXPECT_TRUE(remote->Sync().IsNull());
  EXPECT_EQ(remote->State(), SYNK_STATE_SYNCED);
}

TEST_F(SynkObjectTest, ModuleFunctionsAndIdLimit) {
  EXPECT_THROW_TEXT_AS(String, SynkObjectList(host, 4), "Unknown object state");
  EXPECT_EQ(SynkObjectList(host, SYNK_LIST_ALL), host->_objects);
  EXPECT_EQ(SynkObjectList(host, SYNK_LIST_CLOSED), host->_closed);
  EXPECT_FALSE(ConnectSynkHost(host, "no-such-host.invalid", 7777, 100));
  SyncSynkHost(host);  // not attached: nothing happens, the local object stays unsent
  Ref<TSynkObject> first = NewSynkObject(host);
  SyncSynkHost(host);
  EXPECT_EQ(StateOfSynkObject(first), SYNK_STATE_CREATED);
  EXPECT_TRUE(IsLocalSynkObject(first));
  AttachSynkTarget(first, host);
  EXPECT_EQ(SynkTargetOf(first), host);
  SynkSlotSetFloat(first, 1, 2.5f);
  EXPECT_EQ(SynkSlotFloat(first, 1), 2.5f);
  EXPECT_EQ(SynkSlotInt(first, 1), 0) << "getters do not convert";
  EXPECT_THROW(SynkSlotSetInt(first, 32, 1), Thrown);

  for (int32_t i = 2; i < kSynkIdCount; ++i)
    NewSynkObject(host);
  EXPECT_EQ(host->_objects->Count(), 4095);
  EXPECT_THROW_TEXT_AS(String, NewSynkObject(host), "Out of Synk object IDs");
  host->UnmapObject(first);
  EXPECT_EQ(host->AllocId(), 1);
}

// A host fed packets through its receiving seam by two peers without a transport.
class SynkReceiveTest : public SynkObjectTest {
 protected:
  void SetUp() override {
    SynkObjectTest::SetUp();
    a = host->AddPeer(nullptr);
    b = host->AddPeer(nullptr);
    local = host->CreateObject();  // id 1
    local->SetInt(0, 42);
  }
  void Receive(const Ref<TSynkPeer>& from, const Bytes& packet) {
    host->_ReceivePacket(from, packet.data(), static_cast<int32_t>(packet.size()));
  }
  Ref<TSynkPeer> a, b;
  Ref<TSynkObject> local;
};

TEST_F(SynkReceiveTest, PeersCreateModifyCloseAndMessageInTheirOwnNumbering) {
  Receive(a, {0x10, 0x07, 0x80, 5});  // a's object 7 with slot 0 = 5
  ASSERT_EQ(host->ObjectsCreated()->Count(), 1);
  auto obj = host->ObjectsCreated()->First().As<TSynkObject>();
  EXPECT_EQ(obj->_id, 2);
  EXPECT_EQ(obj->_peer, a);
  EXPECT_TRUE(IsRemoteSynkObject(obj));
  EXPECT_EQ(obj->GetInt(0), 5);
  EXPECT_EQ(a->_remoteToLocal[7], 2);
  EXPECT_EQ(a->_localToRemote[2], 7);

  // RecvMsg translates a mapped id except for messages; the head carries state and 12 bits.
  Ref<TSynkMsg> m = a->RecvMsg(Bytes{0x20, 0x07}.data(), 2);
  EXPECT_EQ(m->id, 2);
  m = a->RecvMsg(Bytes{0x57, 0x07, 0x81, 3}.data(), 4);
  EXPECT_EQ(m->id, 0x707);
  EXPECT_EQ(m->state, SYNK_STATE_MESSAGE);
  EXPECT_EQ(ToBytes(m->data), (Bytes{0x81, 3}));
  m = b->RecvMsg(Bytes{0x21, 0x23}.data(), 2);
  EXPECT_EQ(m->id, 0x123);
  EXPECT_EQ(m->state, SYNK_STATE_MODIFIED);
  EXPECT_THROW_TEXT_AS(String, b->RecvMsg(Bytes{0x21}.data(), 1), "Corrupt Synk message");

  Receive(a, {0x20, 0x07, 0x80, 6});
  EXPECT_EQ(obj->GetInt(0), 6);
  EXPECT_EQ(obj->State(), SYNK_STATE_MODIFIED);
  EXPECT_EQ(host->ObjectsModified()->First(), obj);

  // A message to the host's own object 1 arrives addressed in the host's numbering.
  Receive(b, {0x50, 0x01, 0x82, 9});
  ASSERT_EQ(SynkMessageList(host)->Count(), 1);
  auto msg = SynkMessageList(host)->First().As<TSynkObject>();
  EXPECT_EQ(SynkMessageTarget(msg), local);
  EXPECT_EQ(msg->GetInt(2), 9);
  EXPECT_EQ(msg->State(), SYNK_STATE_MESSAGE);

  Receive(a, {0x30, 0x07});
  EXPECT_EQ(obj->State(), SYNK_STATE_CLOSING);
  EXPECT_EQ(host->ObjectsClosed()->First(), obj);
  EXPECT_TRUE(host->_idMap[2].IsNull());
  EXPECT_EQ(a->_remoteToLocal[7], 0);
}

TEST_F(SynkReceiveTest, HostilePacketsAreDropped) {
  Receive(a, {0x10, 0x07, 0x80, 5});  // a's object, host id 2
  auto owned = host->_idMap[2];
  ASSERT_TRUE(owned);
  struct Case {
    const char* name;
    bool fromA;
    Bytes packet;
  } cases[] = {
      {"empty", false, {}},
      {"one byte", false, {0x10}},
      {"state 0", false, {0x00, 0x09}},
      {"state 4", false, {0x40, 0x09}},
      {"state 6", false, {0x60, 0x09}},
      {"state 15", false, {0xF0, 0x09}},
      {"modify another peer's object", false, {0x20, 0x02, 0x80, 1}},
      {"modify the host's object", false, {0x20, 0x01, 0x80, 1}},
      {"close the host's object", false, {0x30, 0x01}},
      {"close unmapped", true, {0x30, 0x09}},
      {"modify id 0", true, {0x20, 0x00, 0x80, 1}},
      {"create id 0", true, {0x10, 0x00}},
      {"create an id in use", true, {0x10, 0x07, 0x80, 1}},
      {"slot type 0", false, {0x10, 0x09, 0x00, 1}},
      {"slot type 7", false, {0x10, 0x09, 0xE0, 1}},
      {"slot past the end", true, {0x20, 0x07, 0x20, 1, 2}},
      {"string past the end", true, {0x20, 0x07, 0x60, 0, 9, 'x'}},
      {"message to nobody", false, {0x50, 0x99, 0x80, 1}},
      {"message with bad slots", false, {0x50, 0x01, 0x80}},
  };
  for (const Case& c : cases) {
    Receive(c.fromA ? a : b, c.packet);
    EXPECT_EQ(host->_objects->Count(), 2) << c.name;
    EXPECT_EQ(owned->GetInt(0), 5) << c.name;
    EXPECT_EQ(owned->State(), SYNK_STATE_CREATED) << c.name;
    EXPECT_EQ(local->GetInt(0), 42) << c.name;
    EXPECT_EQ(local->State(), SYNK_STATE_CREATED) << c.name;
    EXPECT_TRUE(SynkMessageList(host)->IsEmpty()) << c.name;
    EXPECT_EQ(host->_idMap[2], owned) << c.name;
  }
  // A peer creating more objects than there are free ids loses the extra creates.
  for (int32_t id = 1; id < kSynkIdCount; ++id) {
    Receive(b, {static_cast<uint8_t>(0x10 | id >> 8), static_cast<uint8_t>(id)});
  }
  EXPECT_EQ(host->_objects->Count(), 4095);
  EXPECT_EQ(b->_remoteToLocal[4093], 4095);
  EXPECT_EQ(b->_remoteToLocal[4094], 0);
  EXPECT_EQ(owned->GetInt(0), 5);
}

TEST_F(SynkReceiveTest, ObjectsClosedHereLetGoOfTheirIds) {
  // A peer's object closed by this host is gone once synced: its owner's later changes are
  // dropped rather than bringing it back, and its id serves the next create.
  Receive(a, {0x10, 0x07, 0x80, 5});
  auto theirs = host->ObjectsCreated()->First().As<TSynkObject>();
  host->_SyncObjects();
  ShutSynkObject(theirs);
  host->_SyncObjects();
  EXPECT_FALSE(host->_objects->Contains(theirs));
  EXPECT_TRUE(host->_idMap[theirs->_id].IsNull());
  Receive(a, {0x20, 0x07, 0x80, 9});
  EXPECT_TRUE(host->ObjectsModified()->IsEmpty());
  EXPECT_EQ(theirs->GetInt(0), 5);
  EXPECT_EQ(theirs->State(), SYNK_STATE_DEAD);
  Receive(a, {0x10, 0x08});
  EXPECT_EQ(host->ObjectsCreated()->First().As<TSynkObject>()->_id, theirs->_id);

  // Mapping and unmapping a message object (id 0) leaves the free ids as they were.
  Ref<TSynkObject> note = host->CreateMessage();
  host->MapObject(note);
  host->UnmapObject(note);
  EXPECT_EQ(host->CreateObject()->_id, theirs->_id + 1);
}

// A sync visits only the objects that changed; what it leaves must be what a walk over every
// listed object leaves: each listed object synced, the dead ones out of the list and the id map,
// the rest in creation order. Random local and remote changes, checked after every sync.
TEST_F(SynkReceiveTest, SyncLeavesWhatAWalkOfEveryObjectLeaves) {
  std::mt19937 random(22);
  auto pick = [&](size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(random); };
  std::vector<Ref<TSynkObject>> known{local};
  std::vector<int32_t> wireIds;  // a's objects, in a's numbering
  int32_t nextWire = 1;
  auto wireHead = [](int32_t state, int32_t id) {
    return Bytes{static_cast<uint8_t>(state << 4 | id >> 8), static_cast<uint8_t>(id)};
  };
  for (int step = 0; step < 4000; ++step) {
    Ref<TSynkObject> some = known[pick(known.size())];
    bool alive = some->State() != SYNK_STATE_DEAD;
    switch (pick(8)) {
      case 0:
        if (host->_objects->Count() < 300) known.push_back(host->CreateObject());
        break;
      case 1:
        if (alive) some->SetInt(static_cast<int32_t>(pick(32)), static_cast<int32_t>(pick(70000)));
        break;
      case 2:
        if (alive && pick(4) == 0) some->Close();
        break;
      case 3:
        if (nextWire < 4000 && host->_objects->Count() < 300) {
          Bytes packet = wireHead(SYNK_STATE_CREATED, nextWire);
          packet.insert(packet.end(), {0x81, static_cast<uint8_t>(step)});
          Receive(a, packet);
          known.push_back(host->ObjectsCreated()->Last().As<TSynkObject>());
          wireIds.push_back(nextWire++);
        }
        break;
      case 4:
      case 5:
        if (!wireIds.empty()) {
          bool close = pick(6) == 0;
          Bytes packet = wireHead(close ? SYNK_STATE_CLOSING : SYNK_STATE_MODIFIED,
                                  wireIds[pick(wireIds.size())]);
          if (!close) packet.insert(packet.end(), {0x82, static_cast<uint8_t>(step)});
          Receive(a, packet);
        }
        break;
      case 6:  // the program moves one object on, or changes its state, by itself
        if (pick(3) == 0) {
          some->Sync();
        } else if (alive && some->State() != SYNK_STATE_CLOSING) {
          some->Update(TSynkMsg::Create(some->_id, SYNK_STATE_MODIFIED, Array<uint8_t>()));
        }
        break;
      default: {
        host->_SyncObjects();
        std::vector<Object*> expected, listed;
        for (const Ref<TSynkObject>& o : known) {
          if (o->State() != SYNK_STATE_DEAD) expected.push_back(o.Get());
          EXPECT_EQ(host->_idMap[o->_id] == o,
                    o->State() != SYNK_STATE_DEAD && (!o->_peer || a->_localToRemote[o->_id]))
              << "step " << step;
        }
        for (Ref<Object> value : host->Objects()) {
          listed.push_back(value.Get());
          EXPECT_EQ(value.As<TSynkObject>()->State(), SYNK_STATE_SYNCED) << "step " << step;
        }
        ASSERT_EQ(listed, expected) << "step " << step;
      }
    }
  }
}

// A send that throws stops the sync there; the objects it did not reach go out at the next one.
TEST_F(SynkReceiveTest, ObjectsASyncDidNotReachStayDue) {
  Ref<TSynkObject> big = host->CreateObject(), after = host->CreateObject();
  big->SetString(0, String(std::string(65520, 'x')));
  after->SetInt(0, 1);
  EXPECT_THROW_TEXT_AS(String, host->_SyncObjects(), "Synk message data too large");
  EXPECT_EQ(local->State(), SYNK_STATE_SYNCED);
  EXPECT_EQ(after->State(), SYNK_STATE_CREATED);
  big->SetString(0, "small");
  host->_SyncObjects();
  for (const Ref<TSynkObject>& o : {local, big, after})
    EXPECT_EQ(o->State(), SYNK_STATE_SYNCED);
}

}  // namespace
}  // namespace vxl
