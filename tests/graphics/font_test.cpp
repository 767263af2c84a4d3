// The font loader chain and image fonts over a source font.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "graphics/fake_kor2d.h"
#include "graphics/font/font.h"
#include "graphics/kor2d/image_font.h"

namespace vxl {
namespace {

// A font of three glyphs: 'a' (a 3 x 2 picture at (1, -4), advance 5), ' ' (no picture,
// advance 3) and 'b' (a 2 x 2 picture, advance 4.75).
class TestGlyph : public TGlyph {
 public:
  Ref<Object> picture;
  float advance = 0;
  int32_t rect[4] = {};
  Ref<Object> Pixels() override { return picture; }
  float Advance() override { return advance; }
  void GetRect(int32_t& x, int32_t& y, int32_t& w, int32_t& h) override {
    x = rect[0], y = rect[1], w = rect[2], h = rect[3];
  }
};

class TestFont : public TFont {
 public:
  int32_t style = 0;
  int32_t glyphsMade = 0;
  int32_t Style() override { return style; }
  int32_t Height() override { return 12; }
  int32_t CountGlyphs() override { return 3; }
  int32_t CharToGlyph(int32_t c) override {
    return c == 'a' ? 0 : c == ' ' ? 1 : c == 'b' ? 2 : -1;
  }
  Ref<TGlyph> LoadGlyph(int32_t index) override {
    ++glyphsMade;
    auto g = New<TestGlyph>();
    if (index == 0) {
      g->picture = TPixmap::Create(3, 2, FORMAT_ALPHA8, 1);
      g->advance = 5;
      g->rect[0] = 1, g->rect[1] = -4, g->rect[2] = 3, g->rect[3] = 2;
    } else if (index == 1) {
      g->advance = 3;
    } else {
      g->picture = TPixmap::Create(2, 2, FORMAT_ALPHA8, 1);
      g->advance = 4.75f;
      g->rect[2] = g->rect[3] = 2;
    }
    return g;
  }
};

// Answers for URLs that start with its name, and counts what it is asked.
class TestLoader : public TFontLoader {
 public:
  std::string name;
  std::shared_ptr<std::vector<std::string>> asked = std::make_shared<std::vector<std::string>>();
  Ref<TFont> LoadFont(const Ref<Object>& url, int32_t, int32_t style) override {
    std::string text = String::Of(url).ToCString();
    asked->push_back(name);
    if (text.rfind(name, 0) != 0) return nullptr;
    auto font = New<TestFont>();
    font->style = style;
    return font;
  }
};

TEST(FontChain, NewestLoaderFirstAndNoLoaderTwice) {
  InitFontModule();
  auto log = std::make_shared<std::vector<std::string>>();
  std::vector<std::string>& asked = *log;
  std::vector<Ref<TestLoader>> loaders;
  for (const char* name : {"one", "two"}) {
    auto l = New<TestLoader>();
    l->name = name;
    l->asked = log;
    AddFontLoaderLink(l);
    loaders.push_back(l);
  }
  AddFontLoaderLink(loaders[1]);  // the head again
  AddFontLoaderLink(loaders[0]);  // the tail again: must not close a loop
  EXPECT_TRUE(LoadFontChain(String("one.ttf"), 10, 0));
  EXPECT_FALSE(LoadFontChain(String("three.ttf"), 10, 0));
  // Loaders from earlier tests in this process may follow; ours come first, each once.
  ASSERT_GE(asked.size(), 4u);
  EXPECT_EQ(std::vector<std::string>(asked.begin(), asked.begin() + 2),
            (std::vector<std::string>{"two", "one"}));
  EXPECT_EQ(std::count(asked.begin(), asked.end(), "one"), 2);
}

TEST(ImageFont, GlyphsBecomeImagesOnFirstUse) {
  InitKor2DModule();
  auto log = std::make_shared<test::CallLog>();
  auto driver = test::FakeKor2DDriver::Create(log);
  UseGraphicsDriver(driver, 2);
  ASSERT_TRUE(OpenGraphics(64, 64, 0, 0, 0));

  auto loader = New<TestLoader>();
  loader->name = "test:";
  AddFontLoaderLink(loader);
  struct Case {
    int32_t style, imageFlags;
  } cases[] = {{0, 0}, {SMOOTH_FONT_STYLE | BOLD_FONT_STYLE, FILTEREDIMAGE | MIPMAPPEDIMAGE}};
  for (const Case& c : cases) {
    Ref<TImageFont> font = TImageFont::Load(String("test:sans"), 12, c.style);
    ASSERT_TRUE(font);
    EXPECT_EQ(font->Style(), c.style);
    EXPECT_EQ(font->Height(), 12);
    EXPECT_EQ(font->CountGlyphs(), 3);
    auto source = font->_src_font.As<TestFont>();
    log->Take();
    // Along a baseline turned a quarter (ix 0, jx 1): the pen moves down by each advance.
    font->Draw(String("a b?a"), 10, 20, 0, -1, 1, 0);
    EXPECT_EQ(source->glyphsMade, 3);  // a, space and b, each once
    EXPECT_EQ(
        log->Take(),
        (test::Calls{test::Line("CreateFrame", 3, 2, c.imageFlags),
                     "Frame" + test::Num(driver->framesMade - 1) + " Draw 0 0 3 2 14 21",
                     test::Line("CreateFrame", 2, 2, c.imageFlags),
                     "Frame" + test::Num(driver->framesMade) + " Draw 0 0 2 2 10 28",
                     "Frame" + test::Num(driver->framesMade - 1) + " Draw 0 0 3 2 14 33.75"}));
    auto space = font->LoadGlyph(1).As<TImageGlyph>();
    EXPECT_FALSE(space->Pixels());
    EXPECT_EQ(space->Advance(), 3);
  }
  EXPECT_FALSE(TImageFont::Load(String("nobody:sans"), 12, 0));
  CloseOpenedGraphics();
  UseGraphicsDriver(nullptr, 0);
}

}  // namespace
}  // namespace vxl
