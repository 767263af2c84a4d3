#include "graphics/kor2d/kor2d_driver.h"

#include "pixmap/pixmap.h"
#include "runtime/class_binder.h"
#include "runtime/module.h"
#include "runtime/never_destroyed.h"

namespace vxl {

VXL_DEFINE_CLASS(TImageFrame)
VXL_DEFINE_CLASS(TKor2DDriver)

CollisionTransform collisionTransform;

namespace {

Ref<TKor2DDriver>& CurrentDriver() {
  static NeverDestroyed<Ref<TKor2DDriver>> driver;
  return *driver;
}

}  // namespace

void TImageFrame::Draw(float, float, float, float, float, float) {
  ThrowNullMethod();
}

Ref<TImageFrame> TKor2DDriver::CreateFrameFromPixmap(const Ref<TPixmap>&, int32_t) {
  ThrowNullMethod();
}
void TKor2DDriver::SetBlend(int32_t) {
  ThrowNullMethod();
}
void TKor2DDriver::SetAlpha(float) {
  ThrowNullMethod();
}
void TKor2DDriver::SetColor(int32_t, int32_t, int32_t) {
  ThrowNullMethod();
}
void TKor2DDriver::SetClsColor(int32_t, int32_t, int32_t) {
  ThrowNullMethod();
}
void TKor2DDriver::SetViewport(int32_t, int32_t, int32_t, int32_t) {
  ThrowNullMethod();
}
void TKor2DDriver::SetTransform(float, float, float, float) {
  ThrowNullMethod();
}
void TKor2DDriver::SetLineWidth(float) {
  ThrowNullMethod();
}
void TKor2DDriver::Cls() {
  ThrowNullMethod();
}
void TKor2DDriver::Plot(float, float) {
  ThrowNullMethod();
}
void TKor2DDriver::DrawLine(float, float, float, float, float, float) {
  ThrowNullMethod();
}
void TKor2DDriver::DrawRect(float, float, float, float, float, float) {
  ThrowNullMethod();
}
void TKor2DDriver::DrawOval(float, float, float, float, float, float) {
  ThrowNullMethod();
}
void TKor2DDriver::DrawPoly(const Array<float>&, float, float, float, float) {
  ThrowNullMethod();
}
void TKor2DDriver::DrawPixmap(const Ref<TPixmap>&, int32_t, int32_t) {
  ThrowNullMethod();
}
Ref<TPixmap> TKor2DDriver::GrabPixmap(int32_t, int32_t, int32_t, int32_t) {
  ThrowNullMethod();
}

void TKor2DDriver::Bind(ClassBinder<TKor2DDriver>& b) {
  b.Method<&TKor2DDriver::CreateFrameFromPixmap>("CreateFrameFromPixmap");
  b.Method<&TKor2DDriver::SetBlend>("SetBlend");
  b.Method<&TKor2DDriver::SetAlpha>("SetAlpha");
  b.Method<&TKor2DDriver::SetColor>("SetColor");
  b.Method<&TKor2DDriver::SetClsColor>("SetClsColor");
  b.Method<&TKor2DDriver::SetViewport>("SetViewport");
  b.Method<&TKor2DDriver::SetTransform>("SetTransform");
  b.Method<&TKor2DDriver::SetLineWidth>("SetLineWidth");
  b.Method<&TKor2DDriver::Cls>("Cls");
  b.Method<&TKor2DDriver::Plot>("Plot");
  b.Method<&TKor2DDriver::DrawLine>("DrawLine");
  b.Method<&TKor2DDriver::DrawRect>("DrawRect");
  b.Method<&TKor2DDriver::DrawOval>("DrawOval");
  b.Method<&TKor2DDriver::DrawPoly>("DrawPoly");
  b.Method<&TKor2DDriver::DrawPixmap>("DrawPixmap");
  b.Method<&TKor2DDriver::GrabPixmap>("GrabPixmap");
}

Ref<TKor2DDriver> CurrentKor2DDriver() {
  return CurrentDriver();
}

void SetCurrentKor2DDriver(const Ref<TKor2DDriver>& driver) {
  CurrentDriver() = driver;
}

int InitKor2DBindingModule() {
  static ModuleGuard guard("2D driver binding");
  return guard.Run({InitCoreModule}, [] {});
}

int InitKor2DDriverModule() {
  static ModuleGuard guard("2D driver base");
  return guard.Run({InitCoreModule, InitKor2DBindingModule, InitGraphicsModule, InitPixmapModule},
                   [] {
                     RegisterClass<TImageFrame>();
                     RegisterClass<TKor2DDriver>();
                   });
}

}  // namespace vxl
