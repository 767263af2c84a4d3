#include "graphics/font/font.h"

#include "runtime/class_binder.h"
#include "runtime/module.h"
#include "runtime/never_destroyed.h"

namespace vxl {

VXL_DEFINE_CLASS(TGlyph)
VXL_DEFINE_CLASS(TFont)
VXL_DEFINE_CLASS(TFontLoader)

namespace {

Ref<TFontLoader>& LoaderHead() {
  static NeverDestroyed<Ref<TFontLoader>> head;
  return *head;
}

}  // namespace

Ref<Object> TGlyph::Pixels() {
  ThrowNullMethod();
}
float TGlyph::Advance() {
  ThrowNullMethod();
}
void TGlyph::GetRect(int32_t&, int32_t&, int32_t&, int32_t&) {
  ThrowNullMethod();
}

void TGlyph::Bind(ClassBinder<TGlyph>& b) {
  b.Method<&TGlyph::Pixels>("Pixels");
  b.Method<&TGlyph::Advance>("Advance");
}

int32_t TFont::Style() {
  ThrowNullMethod();
}
int32_t TFont::Height() {
  ThrowNullMethod();
}
int32_t TFont::CountGlyphs() {
  ThrowNullMethod();
}
int32_t TFont::CharToGlyph(int32_t) {
  ThrowNullMethod();
}
Ref<TGlyph> TFont::LoadGlyph(int32_t) {
  ThrowNullMethod();
}

void TFont::Bind(ClassBinder<TFont>& b) {
  b.Method<&TFont::Style>("Style");
  b.Method<&TFont::Height>("Height");
  b.Method<&TFont::CountGlyphs>("CountGlyphs");
  b.Method<&TFont::CharToGlyph>("CharToGlyph");
  b.Method<&TFont::LoadGlyph>("LoadGlyph");
}

Ref<TFont> TFontLoader::LoadFont(const Ref<Object>&, int32_t, int32_t) {
  ThrowNullMethod();
}

void TFontLoader::Bind(ClassBinder<TFontLoader>& b) {
  // The chain link is changed only by AddFontLoaderLink: a link written by hand could close a
  // loop that LoadFontChain would never leave.
  b.AccessorField<&TFontLoader::_Succ>("_succ");
  b.Method<&TFontLoader::LoadFont>("LoadFont");
}

Ref<TFontLoader> TFontLoader::_Succ() const {
  return _succ;
}

void AddFontLoaderLink(const Ref<TFontLoader>& loader) {
  for (TFontLoader* l = LoaderHead().Get(); l; l = l->_succ.Get()) {
    if (l == loader.Get()) return;
  }
  loader->_succ = LoaderHead();
  LoaderHead() = loader;
}

Ref<TFont> LoadFontChain(const Url& url, int32_t size, int32_t style) {
  for (Ref<TFontLoader> l = LoaderHead(); l; l = l->_succ) {
    if (Ref<TFont> font = l->LoadFont(url, size, style)) return font;
  }
  return nullptr;
}

Ref<TFontLoader> FontLoaders() {
  return LoaderHead();
}

int InitFontModule() {
  static ModuleGuard guard("font");
  return guard.Run({InitCoreModule}, [] {
    RegisterClass<TGlyph>();
    RegisterClass<TFont>();
    RegisterClass<TFontLoader>();
  });
}

}  // namespace vxl
