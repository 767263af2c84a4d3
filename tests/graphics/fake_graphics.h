// A plain graphics driver without any display, for tests of the driver model and of what is
// built on it. Every call is appended to a shared log as one line ("Flip 1", "SetGraphics #2",
// "Close #1"), so a test states the exact sequence it expects.
//
//   auto log = std::make_shared<test::CallLog>();
//   Ref<test::FakeDriver> driver = test::FakeDriver::Create("a", log);
//   UseGraphicsDriver(driver, 2);
//   Ref<TGraphics> g = OpenGraphics(640, 480, 0, 0, 0);
//   EXPECT_EQ(log->Take(), (test::Calls{"Create 640x480x0 0Hz flags 2", "SetGraphics a#1"}));
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "graphics/graphics.h"

namespace vxl::test {

using Calls = std::vector<std::string>;

struct CallLog {
  Calls calls;
  void Add(std::string line) { calls.push_back(std::move(line)); }
  // The calls so far; the log starts empty again.
  Calls Take() { return std::exchange(calls, {}); }
};

class FakeDriver;

class FakeGraphics : public TGraphics {
 public:
  Ref<FakeDriver> driver;
  std::string name;  // "<driver name>#<serial>"
  int32_t width = 0, height = 0, depth = 0, hertz = 0, flags = 0;
  bool closed = false;

  Ref<TGraphicsDriver> Driver() const override;
  void GetSettings(int32_t& w, int32_t& h, int32_t& d, int32_t& hz, int32_t& f) override {
    w = width;
    h = height;
    d = depth;
    hz = hertz;
    f = flags;
  }
  void Close() override;
};

class FakeDriver : public TGraphicsDriver {
 public:
  std::string name;
  std::shared_ptr<CallLog> log;
  std::vector<Ref<TGraphicsMode>> modes;
  int32_t made = 0;
  int32_t modeQueries = 0;
  bool failCreate = false;              // CreateGraphics and AttachGraphics throw
  std::function<void(int32_t)> onFlip;  // runs inside Flip (a test clock moves here)

  static Ref<FakeDriver> Create(std::string name, std::shared_ptr<CallLog> log) {
    auto d = New<FakeDriver>();
    d->name = std::move(name);
    d->log = std::move(log);
    return d;
  }

  Array<Ref<TGraphicsMode>> GraphicsModes() override {
    ++modeQueries;
    auto a = Array<Ref<TGraphicsMode>>::New(static_cast<int32_t>(modes.size()));
    for (size_t i = 0; i < modes.size(); ++i)
      a[static_cast<int32_t>(i)] = modes[i];
    return a;
  }
  Ref<TGraphics> CreateGraphics(int32_t w, int32_t h, int32_t d, int32_t hz, int32_t f) override {
    log->Add("Create " + std::to_string(w) + "x" + std::to_string(h) + "x" + std::to_string(d) +
             " " + std::to_string(hz) + "Hz flags " + std::to_string(f));
    if (failCreate) RaiseRuntimeError("no display");
    return Make(w, h, d, hz, f);
  }
  Ref<TGraphics> AttachGraphics(int64_t window, int32_t f) override {
    log->Add("Attach " + std::to_string(window) + " flags " + std::to_string(f));
    if (failCreate) Throw("no window");
    return Make(320, 200, 0, 0, f);
  }
  void SetGraphics(const Ref<TGraphics>& g) override {
    auto fake = g.As<FakeGraphics>();
    log->Add("SetGraphics " + (fake ? fake->name : std::string("Null")));
  }
  void Flip(int32_t sync) override {
    log->Add("Flip " + std::to_string(sync));
    if (onFlip) onFlip(sync);
  }

  Ref<FakeGraphics> Make(int32_t w, int32_t h, int32_t d, int32_t hz, int32_t f) {
    auto g = New<FakeGraphics>();
    g->driver = this;
    g->name = name + "#" + std::to_string(++made);
    g->width = w;
    g->height = h;
    g->depth = d;
    g->hertz = hz;
    g->flags = f;
    return g;
  }
};

inline Ref<TGraphicsDriver> FakeGraphics::Driver() const {
  return driver;
}

inline void FakeGraphics::Close() {
  closed = true;
  driver->log->Add("Close " + name);
}

}  // namespace vxl::test
