// Hostile Synk packets. The input is read three ways: whole, as slot data through UnpackSlots
// (which may only raise its two texts, and raises exactly when the data are malformed) and
// through RecvMsg; then cut into packets (one head byte each: bit 0 picks one of two peers, the
// rest is the length; 0xFF makes the first peer disconnect and a new one take its place) that a
// host takes in through its receiving seam, syncing now and then. Nothing may throw, and after
// every packet each peer's id mapping must be consistent and name only that peer's objects, and
// the host's own objects must be untouched.
#include <cstdint>
#include <cstring>
#include <string>

#include "synk/synk.h"

namespace vxl {
namespace {

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

bool Setup() {
  InitSynkModule();
  return true;
}

void CheckMapping(const Ref<TSynkHost>& host, const Ref<TSynkPeer>& peer) {
  for (int32_t remote = 0; remote < kSynkIdCount; ++remote) {
    int32_t local = peer->_remoteToLocal[remote];
    if (local == 0) continue;
    Check(remote != 0 && peer->_localToRemote[local] == remote);
    Check(host->_idMap[local] && host->_idMap[local]->_peer == peer);
  }
}

void ReadSlots(const uint8_t* data, size_t size) {
  auto bytes = Array<uint8_t>::New(static_cast<int32_t>(size));
  if (size) std::memcpy(bytes.Data(), data, size);
  Ref<TSynkObject> o = TSynkObject::Create(1, SYNK_STATE_SYNCED, nullptr, nullptr);
  const char* expected = SynkSlotDataError(data, size);
  try {
    o->UnpackSlots(bytes);
    Check(expected == nullptr);
    // What was read packs again without error when it fits one message.
    if (o->PackedSize(-1) <= kSynkMaxSlotData) o->PackSlots(-1);
  } catch (const Thrown& e) {
    Check(expected && e.IsString() && e.Text() == String(expected));
    Check(o->_modified == 0);
  }
  auto peer = TSynkPeer::Create(nullptr);
  if (size >= 2) {
    Ref<TSynkMsg> msg = peer->RecvMsg(data, static_cast<int32_t>(size));
    Check(msg->data.Length() == static_cast<int32_t>(size - 2));
  }
}

void FeedHost(const uint8_t* data, size_t size) {
  Ref<TSynkHost> host = NewSynkHost();
  Ref<TSynkPeer> peers[2] = {host->AddPeer(nullptr), host->AddPeer(nullptr)};
  Ref<TSynkObject> own = host->CreateObject();
  own->SetInt(0, 1234);
  own->SetString(1, "own");
  int packets = 0;
  size_t at = 0;
  while (at < size) {
    uint8_t head = data[at++];
    if (head == 0xFF) {
      host->_Disconnected(peers[0]);
      peers[0] = host->AddPeer(nullptr);
      continue;
    }
    size_t length = std::min<size_t>(head >> 1, size - at);
    host->_ReceivePacket(peers[head & 1], data + at, static_cast<int32_t>(length));
    at += length;
    if (++packets % 4 == 0) host->_SyncObjects();
    for (const Ref<TSynkPeer>& peer : peers)
      CheckMapping(host, peer);
    Check(own->GetInt(0) == 1234 && own->GetString(1) == String("own"));
    Check(host->_idMap[own->_id] == own);
    Check(own->State() == SYNK_STATE_CREATED || own->State() == SYNK_STATE_SYNCED);
  }
  host->Close();
}

}  // namespace
}  // namespace vxl

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool ready = vxl::Setup();
  (void)ready;
  vxl::ReadSlots(data, size);
  vxl::FeedHost(data, size);
  return 0;
}
