// Hook chains and the event record.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/exceptions.h"
#include "system/event/event.h"
#include "system/event/hook.h"

namespace vxl {
namespace {

std::vector<std::string> g_calls;

// Records "<context>" and passes the data on.
Ref<Object> Record(int32_t, Ref<Object> data, Ref<Object> context) {
  g_calls.push_back(String::Of(context).ToCString());
  return data;
}
Ref<Object> ReturnNull(int32_t, Ref<Object>, Ref<Object>) {
  return nullptr;
}
Ref<Object> Throwing(int32_t, Ref<Object>, Ref<Object>) {
  Throw("hook failed");
}
Ref<Object> SeesData(int32_t, Ref<Object> data, Ref<Object>) {
  g_calls.push_back(data ? "data" : "null");
  return data;
}

int32_t FreshChain() {
  InitEventModule();
  g_calls.clear();
  return NewHookId();
}

TEST(Hooks, RunInDescendingPriorityAndDetachByFunctionAndContext) {
  int32_t id = FreshChain();
  String a = "a", b = "b", c = "c", d = "d";
  InsertHook(id, &Record, a, 0);
  InsertHook(id, &Record, b, 5);
  InsertHook(id, &Record, c, 0);
  InsertHook(id, &Record, d, 10);
  Ref<Object> data = String("payload");
  EXPECT_EQ(CallHooks(id, data), data);
  EXPECT_EQ(g_calls, (std::vector<std::string>{"d", "b", "a", "c"}));

  // The same text in another string object is another context: nothing is removed.
  DetachHook(id, &Record, String(std::string_view("b")));
  DetachHook(id, &ReturnNull, b);
  g_calls.clear();
  CallHooks(id, data);
  EXPECT_EQ(g_calls.size(), 4u);

  DetachHook(id, &Record, d);  // the head
  DetachHook(id, &Record, c);  // the tail
  g_calls.clear();
  CallHooks(id, data);
  EXPECT_EQ(g_calls, (std::vector<std::string>{"b", "a"}));
}

TEST(Hooks, DataFlowsThroughTheChainAndAThrowLeavesItIntact) {
  int32_t id = FreshChain();
  Ref<Object> data = String("x");
  EXPECT_EQ(CallHooks(id, data), data);  // empty chain

  InsertHook(id, &SeesData, nullptr, 3);
  InsertHook(id, &ReturnNull, nullptr, 2);
  InsertHook(id, &SeesData, nullptr, 1);
  EXPECT_EQ(CallHooks(id, data), nullptr);
  EXPECT_EQ(g_calls, (std::vector<std::string>{"data", "null"}));

  InsertHook(id, &Throwing, nullptr, 2);  // after the null hook, before the last one
  g_calls.clear();
  try {
    CallHooks(id, data);
    FAIL() << "the hook's throw must propagate";
  } catch (const Thrown& e) {
    EXPECT_EQ(e.Text(), String("hook failed"));
  }
  EXPECT_EQ(g_calls, (std::vector<std::string>{"data"}));
  DetachHook(id, &Throwing, nullptr);
  g_calls.clear();
  CallHooks(id, data);
  EXPECT_EQ(g_calls, (std::vector<std::string>{"data", "null"}));

  // A hook whose function was never set raises the null-function error.
  Ref<THook> head = HookChain(id);
  head->func = HookFunction();
  try {
    CallHooks(id, data);
    FAIL();
  } catch (const Thrown& e) {
    EXPECT_TRUE(e.As<TNullFunctionException>());
  }
}

// A hook that detaches itself while running: the run goes on through its succ link.
int32_t g_selfId = -1;
Ref<Object> DetachSelf(int32_t id, Ref<Object> data, Ref<Object> context) {
  DetachHook(id, &DetachSelf, context);
  g_calls.push_back("self");
  return data;
}

TEST(Hooks, ChangesDuringARunAndBadIds) {
  g_selfId = FreshChain();
  InsertHook(g_selfId, &DetachSelf, nullptr, 5);
  InsertHook(g_selfId, &Record, String("after"), 0);
  CallHooks(g_selfId, nullptr);
  CallHooks(g_selfId, nullptr);
  EXPECT_EQ(g_calls, (std::vector<std::string>{"self", "after", "after"}));

  for (int32_t bad : {-1, 256, INT32_MIN}) {
    EXPECT_THROW(CallHooks(bad, nullptr), Thrown) << bad;
    EXPECT_THROW(InsertHook(bad, &Record, nullptr, 0), Thrown) << bad;
    EXPECT_THROW(DetachHook(bad, &Record, nullptr), Thrown) << bad;
  }
}

TEST(Hooks, IdsRunOutAfter256) {
  InitEventModule();
  int32_t last = -1;
  try {
    for (;;)
      last = NewHookId();
  } catch (const Thrown& e) {
    ASSERT_TRUE(e.IsString());
    EXPECT_EQ(e.Text(), String("Too many hook ids"));
  }
  EXPECT_EQ(last, 255);
  EXPECT_THROW(NewHookId(), Thrown);  // and every later call
}

TEST(Events, TextsForListedUserAndUnknownIds) {
  InitEventModule();
  auto text = [](int32_t id, int32_t data = 0, Ref<Object> extra = nullptr) {
    return MakeEvent(id, nullptr, data, 0, 0, 0, extra)->ToString().ToCString();
  };
  EXPECT_EQ(text(kEventKeyDown, 65), "KeyDown: data=65, mods=0, x=0, y=0, extra=\"\"");
  EXPECT_EQ(text(7), "Unknown Event, id=7: data=0, mods=0, x=0, y=0, extra=\"\"");
  EXPECT_EQ(text(-5, -1).substr(0, 24), "UserEvent2147483643: dat");
  EXPECT_EQ(text(kEventTimerTick, 3, String("tick")),
            "TimerTick: data=3, mods=0, x=0, y=0, extra=\"tick\"");
  EXPECT_EQ(text(kEventTimerTick, 3, New<Object>()),
            "TimerTick: data=3, mods=0, x=0, y=0, extra=\"\"");
  Ref<TEvent> e = MakeEvent(kEventMouseMove, nullptr, 2, 9, -4, 300, nullptr);
  EXPECT_EQ(e->ToString(), String("MouseMove: data=2, mods=9, x=-4, y=300, extra=\"\""));

  // Every listed name, by its id.
  const std::pair<int32_t, const char*> names[] = {
      {0x101, "AppSuspend"},    {0x105, "AppIdle"},          {0x204, "KeyRepeat"},
      {0x406, "MouseLeave"},    {0x1001, "HotkeyHit"},       {0x2009, "GadgetShape"},
      {0x4005, "WindowAccept"}, {0x8001, "MenuAction"},      {0x10002, "StreamAvail"},
      {0x20001, "ProcessExit"}, {0x2008, "GadgetLostFocus"}, {0x103, "AppTerminate"},
  };
  for (auto [id, name] : names)
    EXPECT_EQ(EventName(id), String(name)) << id;
  EXPECT_EQ(EventName(0x106), String("Unknown Event, id=262"));

  int32_t first = NewUserEventId();
  EXPECT_EQ(static_cast<uint32_t>(first), 0x80000001u);
  EXPECT_EQ(static_cast<uint32_t>(TEvent::AllocUserId()), 0x80000002u);
  EXPECT_EQ(EventName(TEvent::AllocUserId() - 1), String("UserEvent2"));
}

Ref<Object> CountEmits(int32_t, Ref<Object> data, Ref<Object>) {
  g_calls.push_back(data.As<TEvent>() ? "event" : "other");
  return nullptr;  // the result of the chain is dropped by Emit
}

TEST(Events, EmitRunsTheEventHookWithTheEventItself) {
  InitEventModule();
  g_calls.clear();
  InsertHook(EventHookId, &CountEmits, nullptr, 0);
  Ref<TEvent> e = MakeEvent(kEventKeyUp, nullptr, 1, 0, 0, 0, nullptr);
  EXPECT_EQ(SendEvent(e), 0);
  EXPECT_EQ(e->Emit(), 0);
  DetachHook(EventHookId, &CountEmits, nullptr);
  e->Emit();
  EXPECT_EQ(g_calls, (std::vector<std::string>{"event", "event"}));
}

}  // namespace
}  // namespace vxl
