// The event queue and polled input, fed through the event hook as the system driver feeds them.
#include <gtest/gtest.h>

#include <vector>

#include "runtime/exceptions.h"
#include "runtime/handle_registry.h"
#include "system/event/event.h"
#include "system/event/hook.h"
#include "system/input/polled_input.h"
#include "system/main_thread.h"
#include "system/queue/event_queue.h"
#include "system/system.h"

namespace vxl {
namespace {

void Send(int32_t id, const Ref<Object>& source = nullptr, int32_t data = 0, int32_t x = 0,
          int32_t y = 0, const Ref<Object>& extra = nullptr) {
  SendEvent(MakeEvent(id, source, data, 0, x, y, extra));
}

void Drain() {
  while (QueuePoll()) {
  }
}

class EventQueue : public ::testing::Test {
 protected:
  void SetUp() override {
    InitEventQueueModule();
    Drain();
  }
};

TEST_F(EventQueue, MergesOnlyTheListedKindsFromTheSameSource) {
  Ref<Object> t1 = New<Object>(), t2 = New<Object>();
  Send(kEventTimerTick, t1, 1);
  Send(kEventKeyDown, t1, 65);
  Send(kEventTimerTick, t1, 2, 5, 6, String("late"));  // merges into the first tick
  Send(kEventTimerTick, t2, 1);                        // another source: queued
  Send(kEventKeyDown, t1, 65);                         // keys never merge
  Send(kEventWindowSize, nullptr, 1);
  Send(kEventWindowSize, nullptr, 2);  // Null sources are the same source
  Send(kEventGadgetAction, t1, 1);
  Send(kEventWindowMove, t1, 1);
  Send(kEventGadgetAction, t1, 2);
  Send(kEventWindowMove, t1, 2);

  struct Seen {
    int32_t id, data;
    Object* source;
  };
  std::vector<Seen> seen;
  while (int32_t id = QueuePoll())
    seen.push_back({id, CurrentEventData(), CurrentEventSource().Get()});
  ASSERT_EQ(seen.size(), 7u);
  int32_t ids[] = {kEventTimerTick,  kEventKeyDown,      kEventTimerTick, kEventKeyDown,
                   kEventWindowSize, kEventGadgetAction, kEventWindowMove};
  int32_t data[] = {2, 65, 1, 65, 2, 2, 2};
  for (size_t i = 0; i < seen.size(); ++i) {
    EXPECT_EQ(seen[i].id, ids[i]) << i;
    EXPECT_EQ(seen[i].data, data[i]) << i;
  }
  EXPECT_EQ(seen[0].source, t1.Get());
  EXPECT_EQ(seen[2].source, t2.Get());
}

TEST_F(EventQueue, FullRingDropsButStillMerges) {
  Ref<Object> timer = New<Object>();
  Send(kEventTimerTick, timer, 1);
  for (int32_t i = 0; i < 300; ++i)
    Send(kEventKeyChar, nullptr, i);
  Send(kEventTimerTick, timer, 9, 0, 0, String("merged while full"));
  Send(kEventTimerTick, New<Object>(), 1);  // a new source cannot merge: dropped

  EXPECT_EQ(QueuePoll(), kEventTimerTick);
  EXPECT_EQ(CurrentEventData(), 9);
  EXPECT_EQ(CurrentEventText(), String("merged while full"));
  Send(kEventKeyDown, nullptr, 1);  // taking one made room for one
  Send(kEventKeyDown, nullptr, 2);
  int32_t chars = 0, last = -1, keys = 0;
  while (int32_t id = QueuePoll()) {
    if (id == kEventKeyChar) ++chars, last = CurrentEventData();
    if (id == kEventKeyDown) ++keys;
  }
  EXPECT_EQ(chars, 255);
  EXPECT_EQ(last, 254);
  EXPECT_EQ(keys, 1);
}

TEST_F(EventQueue, PeekPollBlankEventAndSourceHandles) {
  EXPECT_EQ(QueuePeek(), nullptr);
  EXPECT_EQ(QueuePoll(), 0);
  EXPECT_EQ(CurrentEventId(), 0);
  EXPECT_EQ(CurrentEventSource(), nullptr);
  EXPECT_EQ(CurrentEventExtra(), nullptr);
  EXPECT_EQ(CurrentEventText(), String());
  EXPECT_EQ(CurrentEventSourceHandle(), 0);
  EXPECT_EQ(CurrentEventData() | CurrentEventMods() | CurrentEventX() | CurrentEventY(), 0);

  Ref<Object> a = New<Object>(), b = New<Object>();
  Ref<TEvent> e = MakeEvent(kEventMouseDown, a, 1, 2, 3, 4, New<Object>());
  SendEvent(e);
  e->data = 3;  // the event itself is queued, not a copy
  Send(kEventMouseUp, b, 1);
  EXPECT_EQ(QueuePeek(), e);
  EXPECT_EQ(QueuePeek(), e);
  EXPECT_EQ(QueuePoll(), kEventMouseDown);
  EXPECT_EQ(CurrentEventData(), 3);
  EXPECT_EQ(CurrentEventMods(), 2);
  EXPECT_EQ(CurrentEventX(), 3);
  EXPECT_EQ(CurrentEventY(), 4);
  EXPECT_EQ(CurrentEventText(), String());  // extra is not a string
  int32_t ha = CurrentEventSourceHandle();
  EXPECT_EQ(QueuePoll(), kEventMouseUp);
  int32_t hb = CurrentEventSourceHandle();
  EXPECT_GT(ha, 0);
  EXPECT_NE(ha, hb);
  EXPECT_EQ(ObjectHandle(a), ha);
  EXPECT_EQ(HandleObject(hb), b);
  EXPECT_EQ(HandleObject(0), nullptr);

  // A handle keeps its object alive after everything else let go of it.
  Object* raw = b.Get();
  b = nullptr;
  EXPECT_EQ(HandleObject(hb).Get(), raw);
}

TEST_F(EventQueue, IgnoresDataThatIsNotAnEvent) {
  Ref<Object> out = CallHooks(EventHookId, String("not an event"));
  EXPECT_EQ(out, nullptr);  // the queue hook gives Null for anything else
  EXPECT_EQ(QueuePoll(), 0);
  // Posting Null is refused, and the queue goes on working.
  EXPECT_THROW(QueuePost(nullptr, false), Thrown);
  EXPECT_THROW(QueuePost(nullptr, true), Thrown);
  Send(kEventTimerTick);
  EXPECT_EQ(QueuePoll(), kEventTimerTick);
  EXPECT_EQ(QueuePoll(), 0);
}

class PolledInput : public ::testing::Test {
 protected:
  void SetUp() override {
    InitPolledInputModule();
    InitEventQueueModule();
    StopInputPolling();
    StartInputPolling(nullptr);
  }
  void TearDown() override {
    StopInputPolling();
    Drain();
  }
};

TEST_F(PolledInput, KeyHitsRepeatsAndSuspend) {
  Send(kEventKeyDown, nullptr, 65);
  Send(kEventKeyRepeat, nullptr, 65);
  Send(kEventKeyDown, nullptr, 65);  // a down while held is no new press
  EXPECT_EQ(IsKeyDown(65), 1);
  EXPECT_EQ(KeyHitCount(65), 1);
  Send(kEventKeyUp, nullptr, 65);
  Send(kEventKeyDown, nullptr, 65);
  Send(kEventKeyUp, nullptr, 65);
  Send(kEventKeyDown, nullptr, 65);
  EXPECT_EQ(KeyHitCount(65), 2);
  EXPECT_EQ(KeyHitCount(65), 0);

  Send(kEventKeyDown, nullptr, 0xA1);
  Send(kEventMouseDown, nullptr, 2);
  Send(kEventKeyChar, nullptr, 'x');
  Send(kEventAppSuspend);
  EXPECT_EQ(IsAppSuspended(), 1);
  EXPECT_EQ(IsKeyDown(65) + IsKeyDown(0xA1) + KeyHitCount(0xA1), 0);
  EXPECT_EQ(IsMouseDown(2) + MouseHitCount(2), 0);
  EXPECT_EQ(NextChar(), 0);
  Send(kEventAppResume);
  EXPECT_EQ(IsAppSuspended(), 0);

  Send(kEventAppTerminate);
  EXPECT_EQ(TakeAppTerminate(), 1);
  EXPECT_EQ(TakeAppTerminate(), 0);
}

TEST_F(PolledInput, CharacterRingKeepsTheFirst256) {
  for (int32_t i = 1; i <= 300; ++i)
    Send(kEventKeyChar, nullptr, i);
  for (int32_t i = 1; i <= 256; ++i)
    ASSERT_EQ(NextChar(), i);
  EXPECT_EQ(NextChar(), 0);
  Send(kEventKeyChar, nullptr, 'z');  // room again after reading
  EXPECT_EQ(NextChar(), 'z');
}

TEST_F(PolledInput, MouseStateAndReset) {
  Send(kEventMouseMove, nullptr, 0, 10, 20);
  Send(kEventMouseWheel, nullptr, 2);
  Send(kEventMouseWheel, nullptr, -3);
  Send(kEventMouseDown, nullptr, 1);
  Send(kEventMouseDown, nullptr, 3);
  Send(kEventMouseUp, nullptr, 3);
  EXPECT_EQ(MousePosX(), 10);
  EXPECT_EQ(MousePosY(), 20);
  EXPECT_EQ(MouseWheelPos(), -1);
  EXPECT_EQ(IsMouseDown(1), 1);
  EXPECT_EQ(IsMouseDown(3), 0);
  EXPECT_EQ(MouseHitCount(3), 1);
  Send(kEventMouseWheel, nullptr, INT32_MAX);  // the position wraps as a 32-bit counter
  Send(kEventMouseWheel, nullptr, 3);
  EXPECT_EQ(MouseWheelPos(), INT32_MIN + 1);
  ResetMouse();
  EXPECT_EQ(IsMouseDown(1) + MouseHitCount(1) + MouseWheelPos(), 0);
  EXPECT_EQ(MousePosX(), 10);
  EXPECT_EQ(MousePosY(), 20);
}

TEST_F(PolledInput, SourceFilterAndBadIndexes) {
  StopInputPolling();
  Ref<Object> window = New<Object>();
  StartInputPolling(window);
  StartInputPolling(nullptr);  // already started: the first filter stays
  Send(kEventKeyDown, New<Object>(), 1);
  Send(kEventKeyDown, nullptr, 2);
  Send(kEventKeyDown, window, 3);
  EXPECT_EQ(KeyHitCount(1) + KeyHitCount(2), 0);
  EXPECT_EQ(KeyHitCount(3), 1);

  for (int32_t bad : {-1, 256, 100000})
    EXPECT_THROW(IsKeyDown(bad), Thrown) << bad;
  EXPECT_THROW(KeyHitCount(256), Thrown);
  EXPECT_THROW(IsMouseDown(4), Thrown);
  EXPECT_THROW(MouseHitCount(-1), Thrown);
  // Events with codes no table holds are left out, and later hooks still see them.
  Send(kEventKeyDown, window, 300);
  Send(kEventMouseDown, window, 9);
  int32_t queued = 0;
  while (int32_t id = QueuePoll())
    queued += id == kEventKeyDown || id == kEventMouseDown;
  EXPECT_EQ(queued, 5);  // keys 1, 2 and 3 earlier, then the two out-of-range ones

  StopInputPolling();
  Send(kEventKeyDown, nullptr, 4);
  StartInputPolling(nullptr);
  EXPECT_EQ(KeyHitCount(4), 0);  // stopped: nothing was kept
}

// Starting or stopping from a call that the start's or stop's own pump runs: the hook is in the
// chain once (each character counts once), and the last request wins.
void StartPollingCall(const Ref<Object>&, intptr_t) {
  StartInputPolling(nullptr);
}
void StopPollingCall(const Ref<Object>&, intptr_t) {
  StopInputPolling();
}

TEST_F(PolledInput, StartAndStopFromInsideTheirOwnPump) {
  StopInputPolling();
  PostToMainThread(&StartPollingCall, 0, 0);
  StartInputPolling(nullptr);
  Send(kEventKeyChar, nullptr, 'a');
  EXPECT_EQ(NextChar(), 'a');
  EXPECT_EQ(NextChar(), 0);

  PostToMainThread(&StartPollingCall, 0, 0);
  StopInputPolling();  // the start it ran came later
  Send(kEventKeyChar, nullptr, 'b');
  EXPECT_EQ(NextChar(), 'b');

  PostToMainThread(&StopPollingCall, 0, 0);
  StopInputPolling();
  Send(kEventKeyDown, nullptr, 4);
  StartInputPolling(nullptr);
  EXPECT_EQ(KeyHitCount(4), 0);
}

}  // namespace
}  // namespace vxl
