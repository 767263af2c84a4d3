// The driver model on fake drivers: the current driver and context, the mode cache, opening and
// closing, the data-stream form and the frame pacing on a test clock.
#include "graphics/graphics.h"

#include <gtest/gtest.h>

#include <numeric>

#include "data/data.h"
#include "graphics/fake_graphics.h"
#include "support/test_streams.h"
#include "system/event/hook.h"

namespace vxl {
namespace {

using test::CallLog;
using test::Calls;
using test::FakeDriver;

// A millisecond clock that moves only when the code sleeps or a flip takes time.
struct TestClock {
  static inline uint32_t now = 0;
  static inline std::vector<int32_t> sleeps;
  static uint32_t Now() { return now; }
  static void Sleep(int32_t ms) {
    sleeps.push_back(ms);
    now += static_cast<uint32_t>(ms);
  }
};

class Graphics : public ::testing::Test {
 protected:
  void SetUp() override {
    InitGraphicsModule();
    previousClock_ = SetGraphicsClock({&TestClock::Now, &TestClock::Sleep});
    TestClock::now = 0xFFFFFF00u;  // close to wrapping: differences must still come out right
    TestClock::sleeps.clear();
    log = std::make_shared<CallLog>();
    a = FakeDriver::Create("a", log);
    b = FakeDriver::Create("b", log);
    UseGraphicsDriver(a, 2);
    log->Take();
  }
  void TearDown() override {
    CloseOpenedGraphics();
    UseGraphicsDriver(nullptr, 0);
    SetGraphicsClock(previousClock_);
  }

  std::shared_ptr<CallLog> log;
  Ref<FakeDriver> a, b;

 private:
  GraphicsClock previousClock_{};
};

TEST_F(Graphics, ChangingDriverReleasesTheOldContextFirst) {
  Ref<TGraphics> ga = MakeGraphics(100, 50, 0, 0, 4);
  SelectGraphics(ga);
  EXPECT_EQ(CurrentGraphicsFlags(), 6);  // the default flags are ORed in
  Ref<TGraphics> gb = b->Make(200, 100, 32, 75, 0);
  SelectGraphics(gb);
  EXPECT_EQ(log->Take(), (Calls{"Create 100x50x0 0Hz flags 6", "SetGraphics a#1",
                                "SetGraphics Null", "SetGraphics b#1"}));
  EXPECT_EQ(CurrentGraphicsDriver().Get(), b.Get());
  EXPECT_EQ(CurrentGraphicsWidth() * 1000 + CurrentGraphicsHeight(), 200100);
  EXPECT_EQ(CurrentGraphicsDepth(), 32);
  EXPECT_EQ(CurrentGraphicsHertz(), 75);

  // Same driver again: no release; a new driver made current by Use forgets the context without
  // selecting anything on the new driver.
  SelectGraphics(b->Make(1, 1, 0, 0, 0));
  UseGraphicsDriver(a, 2);
  EXPECT_EQ(log->Take(), (Calls{"SetGraphics b#2", "SetGraphics Null"}));
  EXPECT_FALSE(CurrentGraphics());
  EXPECT_EQ(CurrentGraphicsWidth() + CurrentGraphicsHeight() + CurrentGraphicsDepth() +
                CurrentGraphicsHertz() + CurrentGraphicsFlags(),
            0);

  // ShutGraphics of the current context releases it before closing it.
  SelectGraphics(ga);
  ShutGraphics(ga);
  EXPECT_EQ(log->Take(), (Calls{"SetGraphics a#1", "SetGraphics Null", "Close a#1"}));
  EXPECT_FALSE(CurrentGraphics());
}

TEST_F(Graphics, ModeListIsCachedAndHandedOutAsACopy) {
  a->modes = {TGraphicsMode::Create(640, 480, 16, 60), TGraphicsMode::Create(800, 600, 32, 60),
              TGraphicsMode::Create(1024, 768, 32, 75)};
  Array<Ref<TGraphicsMode>> list = ListGraphicsModes();
  ASSERT_EQ(list.Length(), 3);
  EXPECT_EQ(list[1]->ToString().ToCString(), "800,600,32 60Hz");
  list[0] = nullptr;
  list[1]->width = 1;
  int32_t w, h, d, hz;
  GraphicsModeAt(1, w, h, d, hz);
  EXPECT_EQ((std::vector<int32_t>{w, h, d, hz}), (std::vector<int32_t>{800, 600, 32, 60}));
  EXPECT_EQ(GraphicsModeCount(), 3);
  EXPECT_EQ(a->modeQueries, 1);

  // Another driver empties the cache.
  b->modes = {TGraphicsMode::Create(320, 200, 8, 70)};
  UseGraphicsDriver(b, 2);
  EXPECT_EQ(GraphicsModeCount(), 1);
  UseGraphicsDriver(a, 2);
  EXPECT_EQ(GraphicsModeCount(), 3);
  EXPECT_EQ(a->modeQueries, 2);
}

TEST_F(Graphics, HasGraphicsModeTreatsZeroAsAnyValue) {
  a->modes = {TGraphicsMode::Create(640, 480, 16, 60), TGraphicsMode::Create(800, 600, 32, 60),
              TGraphicsMode::Create(1024, 768, 32, 75)};
  struct Case {
    int32_t w, h, d, hz, expected;
  } cases[] = {
      {0, 0, 0, 0, 1},       {0, 0, 32, 0, 1},      {0, 0, 24, 0, 0},    {640, 0, 32, 0, 0},
      {1024, 768, 0, 75, 1}, {800, 600, 32, 75, 0}, {0, 480, 16, 60, 1}, {0, 0, 0, 85, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(HasGraphicsMode(c.w, c.h, c.d, c.hz), c.expected)
        << c.w << "," << c.h << "," << c.d << " " << c.hz << "Hz";
  }
}

TEST_F(Graphics, OpeningTwiceClosesTheFirstAndMovesTheGenerationByTwo) {
  Ref<TGraphics> first = OpenGraphics(320, 240, 0, 0, 0);
  ASSERT_TRUE(first);
  const int32_t generation = graphicsGeneration;
  EXPECT_NE(generation, 0);
  log->Take();
  Ref<TGraphics> second = OpenGraphics(640, 480, 0, 0, 8);
  ASSERT_TRUE(second);
  EXPECT_EQ(graphicsGeneration, generation + 2);
  EXPECT_EQ(log->Take(), (Calls{"SetGraphics Null", "Close a#1", "Create 640x480x0 0Hz flags 10",
                                "SetGraphics a#2"}));
  EXPECT_EQ(CurrentGraphics().Get(), second.Get());

  CloseOpenedGraphics();
  EXPECT_EQ(graphicsGeneration, generation + 3);
  EXPECT_EQ(log->Take(), (Calls{"SetGraphics Null", "Close a#2"}));
  CloseOpenedGraphics();  // nothing opened: nothing happens
  EXPECT_EQ(graphicsGeneration, generation + 3);
  EXPECT_TRUE(log->Take().empty());
}

TEST_F(Graphics, FailuresGiveNullAndLeaveNothingOpened) {
  ASSERT_TRUE(OpenGraphics(320, 240, 0, 0, 0));
  a->failCreate = true;
  EXPECT_FALSE(MakeGraphics(1, 1, 0, 0, 0));
  EXPECT_FALSE(BindGraphics(77, 0));
  log->Take();
  EXPECT_FALSE(OpenGraphics(640, 480, 0, 0, 0));
  EXPECT_EQ(log->Take(), (Calls{"SetGraphics Null", "Close a#1", "Create 640x480x0 0Hz flags 2"}));
  EXPECT_FALSE(CurrentGraphics());

  // Without a driver: Null from the makers, the null-object error from the others.
  UseGraphicsDriver(nullptr, 0);
  EXPECT_FALSE(MakeGraphics(1, 1, 0, 0, 0));
  EXPECT_FALSE(OpenGraphics(1, 1, 0, 0, 0));
  EXPECT_THROW(ListGraphicsModes(), Thrown);
  EXPECT_THROW(PresentFrame(0), Thrown);
}

TEST_F(Graphics, ContextsRoundTripThroughADataStreamAsTheirSettings) {
  a->failCreate = false;
  Ref<TGraphics> g = a->Make(800, 600, 32, 85, 2);
  auto bytes = test::TMemoryStream::Of("");
  Ref<TDataStream> out = TDataStream::WithStream(bytes);
  out->WriteObject(g);
  std::string expected = std::string("\x01VXL.Graphics.TGraphics\r\n", 25);
  for (int32_t v : {800, 600, 32, 85})
    expected.append(reinterpret_cast<const char*>(&v), 4);
  EXPECT_EQ(bytes->bytes.substr(0, expected.size()), expected);

  log->Take();
  bytes->pos = 0;
  Ref<Object> back = TDataStream::WithStream(bytes)->ReadObject();
  auto opened = back.As<test::FakeGraphics>();
  ASSERT_TRUE(opened);
  EXPECT_EQ(opened.Get(), CurrentGraphics().Get());
  EXPECT_EQ(log->Take()[0], "Create 800x600x32 85Hz flags 2");
}

TEST_F(Graphics, SixtyHertzWindowSleepsOneSecondPerSixtyFrames) {
  ASSERT_TRUE(OpenGraphics(320, 240, 0, 60, 0));
  log->Take();
  for (int i = 0; i < 120; ++i)
    PresentFrame(-1);
  ASSERT_EQ(TestClock::sleeps.size(), 120u);
  for (int32_t ms : TestClock::sleeps)
    EXPECT_TRUE(ms == 16 || ms == 17) << ms;
  EXPECT_EQ(std::accumulate(TestClock::sleeps.begin(), TestClock::sleeps.begin() + 60, 0), 1000);
  EXPECT_EQ(std::accumulate(TestClock::sleeps.begin() + 60, TestClock::sleeps.end(), 0), 1000);
  EXPECT_EQ(log->Take(), Calls(120, "Flip 0"));
}

TEST_F(Graphics, LateFramesDoNotBuildUpDebt) {
  ASSERT_TRUE(OpenGraphics(320, 240, 0, 50, 0));
  TestClock::now += 200;  // a long stall
  PresentFrame(-1);
  PresentFrame(-1);
  EXPECT_EQ(TestClock::sleeps, (std::vector<int32_t>{20}));
}

TEST_F(Graphics, ExplicitSyncAndUnpacedGraphicsNeverSleep) {
  struct Case {
    int32_t depth, hertz, sync;
    const char* flip;
  } cases[] = {
      {0, 0, -1, "Flip 0"}, {32, 0, -1, "Flip 1"}, {0, 60, 0, "Flip 0"},
      {0, 60, 1, "Flip 1"}, {32, 0, 0, "Flip 0"},  {16, 60, 1, "Flip 1"},
  };
  for (const Case& c : cases) {
    a->onFlip = [](int32_t) { TestClock::now += 16; };  // full screen: flips wait for the retrace
    ASSERT_TRUE(OpenGraphics(640, 480, c.depth, c.hertz, 0));
    a->onFlip = nullptr;
    log->Take();
    TestClock::sleeps.clear();
    for (int i = 0; i < 3; ++i)
      PresentFrame(c.sync);
    EXPECT_TRUE(TestClock::sleeps.empty()) << c.depth << " " << c.hertz << " " << c.sync;
    EXPECT_EQ(log->Take(), Calls(3, c.flip)) << c.depth << " " << c.hertz << " " << c.sync;
  }
}

TEST_F(Graphics, FullScreenMeasuresWhetherFlipsFollowTheRetrace) {
  // Flips that return at once do not pace: soft sync stays on, after a second of measuring.
  a->onFlip = [](int32_t) { TestClock::now += 1; };
  ASSERT_TRUE(OpenGraphics(640, 480, 32, 60, 0));
  EXPECT_EQ(log->Take().size(), 1002u);  // create, select, 1000 flips of 1 ms
  a->onFlip = nullptr;
  PresentFrame(-1);
  EXPECT_EQ(TestClock::sleeps.size(), 1u);
  EXPECT_EQ(log->Take(), Calls{"Flip 0"});
}

TEST_F(Graphics, FrameHooksRunBeforeTheFlip) {
  ASSERT_TRUE(OpenGraphics(320, 240, 0, 0, 0));
  log->Take();
  static std::shared_ptr<CallLog> hookLog;
  hookLog = log;
  HookFunction hook = [](int32_t id, Ref<Object> data, Ref<Object>) {
    hookLog->Add("hook " + std::to_string(id == FrameHookId) + (data ? " data" : " Null"));
    return data;
  };
  InsertHook(FrameHookId, hook, nullptr, 0);
  PresentFrame(-1);
  PresentFrame(1);
  DetachHook(FrameHookId, hook, nullptr);
  EXPECT_EQ(log->Take(), (Calls{"hook 1 Null", "Flip 0", "hook 1 Null", "Flip 1"}));
}

}  // namespace
}  // namespace vxl
