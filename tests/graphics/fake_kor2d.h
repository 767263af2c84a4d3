// A render driver without any display that records every call, over the plain FakeDriver of
// fake_graphics.h. Frames it builds record their draws in the same log, so a test states exactly
// what reached the driver:
//
//   auto log = std::make_shared<test::CallLog>();
//   Ref<test::FakeKor2DDriver> driver = test::FakeKor2DDriver::Create(log);
//   UseGraphicsDriver(driver, 2);
//   OpenGraphics(640, 480, 0, 0, 0);
//   log->Take();
//   PaintRect(10, 20, 30, 40);
//   EXPECT_EQ(log->Take(), (test::Calls{"DrawRect 0 0 30 40 10 20"}));
//
// Numbers are printed with %g. GrabPixmap gives a FORMAT_RGBA32 pixmap whose pixel at buffer
// position (x, y) is GrabbedPixel(x, y) (0 outside the context), so tests know what a capture
// holds.
#pragma once

#include <cstdio>

#include "graphics/fake_graphics.h"
#include "graphics/kor2d/kor2d.h"

namespace vxl::test {

// Numbers as %g, with -0 printed as 0.
inline std::string Num(double v) {
  if (v == 0) v = 0;
  char text[32];
  std::snprintf(text, sizeof text, "%g", v);
  return text;
}

template <class... T>
std::string Line(const char* name, T... values) {
  std::string line = name;
  ((line += " " + Num(double(values))), ...);
  return line;
}

// The pixel GrabPixmap reports at back-buffer position (x, y).
inline uint32_t GrabbedPixel(int32_t x, int32_t y) {
  return 0xFF000000u | (uint32_t(x & 0xFF) << 16) | (uint32_t(y & 0xFF) << 8) | 0x5A;
}

class FakeFrame : public TImageFrame {
 public:
  std::shared_ptr<CallLog> log;
  int32_t serial = 0;
  void Draw(float x0, float y0, float x1, float y1, float tx, float ty) override {
    log->Add("Frame" + Num(serial) + " " + Line("Draw", x0, y0, x1, y1, tx, ty));
  }
};

class FakeKor2DDriver : public TKor2DDriver {
 public:
  std::shared_ptr<CallLog> log;
  Ref<FakeDriver> plain;
  int32_t framesMade = 0;
  bool refuseFrames = false;      // CreateFrameFromPixmap gives Null
  int32_t width = 0, height = 0;  // of the context made last, for GrabPixmap

  static Ref<FakeKor2DDriver> Create(std::shared_ptr<CallLog> log) {
    auto d = New<FakeKor2DDriver>();
    d->log = log;
    d->plain = FakeDriver::Create("plain", log);
    return d;
  }

  Array<Ref<TGraphicsMode>> GraphicsModes() override { return plain->GraphicsModes(); }
  Ref<TGraphics> CreateGraphics(int32_t w, int32_t h, int32_t d, int32_t hz, int32_t f) override {
    width = w;
    height = h;
    return TKor2DGraphics::Create(plain->CreateGraphics(w, h, d, hz, f), this);
  }
  Ref<TGraphics> AttachGraphics(int64_t window, int32_t f) override {
    return TKor2DGraphics::Create(plain->AttachGraphics(window, f), this);
  }
  void SetGraphics(const Ref<TGraphics>& g) override {
    if (auto k = g.As<TKor2DGraphics>()) {
      plain->SetGraphics(k->_graphics);
      k->MakeCurrent();
    } else {
      TKor2DGraphics::ClearCurrent();
      plain->SetGraphics(nullptr);
    }
  }
  void Flip(int32_t sync) override { plain->Flip(sync); }

  Ref<TImageFrame> CreateFrameFromPixmap(const Ref<TPixmap>& p, int32_t flags) override {
    log->Add(Line("CreateFrame", p->width, p->height, flags));
    if (refuseFrames) return nullptr;
    auto frame = New<FakeFrame>();
    frame->log = log;
    frame->serial = ++framesMade;
    return frame;
  }
  void SetBlend(int32_t blend) override { log->Add(Line("SetBlend", blend)); }
  void SetAlpha(float alpha) override { log->Add(Line("SetAlpha", alpha)); }
  void SetColor(int32_t r, int32_t g, int32_t b) override { log->Add(Line("SetColor", r, g, b)); }
  void SetClsColor(int32_t r, int32_t g, int32_t b) override {
    log->Add(Line("SetClsColor", r, g, b));
  }
  void SetViewport(int32_t x, int32_t y, int32_t w, int32_t h) override {
    log->Add(Line("SetViewport", x, y, w, h));
  }
  void SetTransform(float ix, float iy, float jx, float jy) override {
    log->Add(Line("SetTransform", ix, iy, jx, jy));
  }
  void SetLineWidth(float w) override { log->Add(Line("SetLineWidth", w)); }
  void Cls() override { log->Add("Cls"); }
  void Plot(float x, float y) override { log->Add(Line("Plot", x, y)); }
  void DrawLine(float x0, float y0, float x1, float y1, float tx, float ty) override {
    log->Add(Line("DrawLine", x0, y0, x1, y1, tx, ty));
  }
  void DrawRect(float x0, float y0, float x1, float y1, float tx, float ty) override {
    log->Add(Line("DrawRect", x0, y0, x1, y1, tx, ty));
  }
  void DrawOval(float x0, float y0, float x1, float y1, float tx, float ty) override {
    log->Add(Line("DrawOval", x0, y0, x1, y1, tx, ty));
  }
  void DrawPoly(const Array<float>& xy, float hx, float hy, float tx, float ty) override {
    log->Add(Line("DrawPoly", xy.Length(), hx, hy, tx, ty));
  }
  void DrawPixmap(const Ref<TPixmap>& p, int32_t x, int32_t y) override {
    log->Add(Line("DrawPixmap", p->width, p->height, x, y));
  }
  Ref<TPixmap> GrabPixmap(int32_t x, int32_t y, int32_t w, int32_t h) override {
    log->Add(Line("GrabPixmap", x, y, w, h));
    if (w < 1 || h < 1) return nullptr;
    Ref<TPixmap> p = TPixmap::Create(w, h, FORMAT_RGBA32, 4);
    for (int32_t j = 0; j < h; ++j) {
      for (int32_t i = 0; i < w; ++i) {
        const bool inside = x + i >= 0 && y + j >= 0 && x + i < width && y + j < height;
        p->WritePixel(i, j, inside ? GrabbedPixel(x + i, y + j) : 0);
      }
    }
    return p;
  }
};

}  // namespace vxl::test
