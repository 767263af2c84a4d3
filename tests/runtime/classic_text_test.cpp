#include <gtest/gtest.h>

#include <functional>

#include "runtime/classic_text.h"
#include "runtime/exceptions.h"

namespace vxl {
namespace {

std::string C(const String& s) {
  return s.ToCString();
}

TEST(ClassicText, MidText) {
  EXPECT_EQ(C(MidText("abcdef", 2, 3)), "bcd");
  EXPECT_EQ(C(MidText("abcdef", 5, 10)), "ef");
  EXPECT_EQ(C(MidText("abcdef", 0, 3)), "ab");
  EXPECT_EQ(C(MidText("abcdef", 7, 1)), "");
  EXPECT_EQ(C(MidText("abc", 2, -1)), "bc");
  EXPECT_EQ(C(MidText("abc", 0, -1)), " abc");
  EXPECT_EQ(C(MidText("abc", -5, 2)), "");
}

TEST(ClassicText, FindLeftRight) {
  EXPECT_EQ(FindTextFrom("banana", "an", 1), 2);
  EXPECT_EQ(FindTextFrom("banana", "an", 3), 4);
  EXPECT_EQ(FindTextFrom("banana", "x", 1), 0);
  EXPECT_EQ(C(LeftText("abc", -1)), "");
  EXPECT_EQ(C(LeftText("abc", 2)), "ab");
  EXPECT_EQ(C(LeftText("abc", 9)), "abc");
  EXPECT_EQ(C(RightText("abc", 5)), "abc");
  EXPECT_EQ(C(RightText("abc", 2)), "bc");
  EXPECT_EQ(C(RightText("abc", 0)), "");
}

TEST(ClassicText, Padding) {
  EXPECT_EQ(C(PadRightTo("ab", 4)), "ab  ");
  EXPECT_EQ(C(PadLeftTo("ab", 4)), "  ab");
  EXPECT_EQ(C(PadLeftTo("abcdef", 3)), "def");
  EXPECT_EQ(C(PadRightTo("abcdef", 3)), "abc");
  EXPECT_EQ(C(PadLeftTo("ab", 0)), "");
}

TEST(ClassicText, FormsOfTheStringOperations) {
  EXPECT_EQ(C(ReplaceText("a-b", "-", "+")), "a+b");
  EXPECT_EQ(C(TrimText(" x ")), "x");
  EXPECT_EQ(C(LowerText("AbC")), "abc");
  EXPECT_EQ(C(UpperText("AbC")), "ABC");
}

// Extreme positions, counts and lengths: worked out in 64 bits, never wrapped. A result that
// could not be held raises an error instead of allocating a wrapped size.
TEST(ClassicText, ExtremeArgumentsNeverWrap) {
  const int32_t kMin = INT32_MIN, kMax = INT32_MAX;
  const String s = "abcdef";
  struct Case {
    const char* call;
    std::function<String()> run;
    const char* result;
  };
  const Case cases[] = {
      {"Slice(min, min+3)", [&] { return s.Slice(kMin, kMin + 3); }, "   "},
      {"Slice(max-2, max)", [&] { return s.Slice(kMax - 2, kMax); }, "  "},
      {"Slice(min, max)", [&] { return s.Slice(kMin, kMax); },
       "Length 4294967295 does not fit a string or array"},
      {"MidText(min, max)", [&] { return MidText(s, kMin, kMax); }, ""},
      {"MidText(-3, max)", [&] { return MidText(s, -3, kMax); }, "abcdef"},
      {"MidText(2, max)", [&] { return MidText(s, 2, kMax); }, "bcdef"},
      {"MidText(min, -1)", [&] { return MidText(s, kMin, -1); },
       "Length 2147483655 does not fit a string or array"},
      {"LeftText(min)", [&] { return LeftText(s, kMin); }, ""},
      {"LeftText(max)", [&] { return LeftText(s, kMax); }, "abcdef"},
      {"RightText(min)", [&] { return RightText(s, kMin); }, ""},
      {"RightText(max)", [&] { return RightText(s, kMax); }, "abcdef"},
      {"PadLeftTo(min)", [&] { return PadLeftTo(s, kMin); }, ""},
      {"PadRightTo(min)", [&] { return PadRightTo(s, kMin); }, ""},
      {"Text(FindLast(min))", [&] { return String::FromInt(String("banana").FindLast("an", kMin)); },
       "3"},
      {"Text(FindLast(max))", [&] { return String::FromInt(String("banana").FindLast("an", kMax)); },
       "-1"},
      {"Text(FindTextFrom(min))", [&] { return String::FromInt(FindTextFrom("banana", "an", kMin)); },
       "2"},
      {"Text(FindTextFrom(max))", [&] { return String::FromInt(FindTextFrom("banana", "an", kMax)); },
       "0"},
  };
  for (const Case& c : cases) {
    std::string got;
    try {
      got = C(c.run());
    } catch (const Thrown& e) {
      got = e.what();
      EXPECT_TRUE(e.As<TRuntimeException>()) << c.call;
    }
    EXPECT_EQ(got, c.result) << c.call;
  }
}

TEST(ClassicText, HexAndBinary) {
  EXPECT_EQ(C(HexText(-1)), "FFFFFFFF");
  EXPECT_EQ(C(HexText(255)), "000000FF");
  EXPECT_EQ(C(HexText(-2)), "FFFFFFFE");
  EXPECT_EQ(C(BinaryText(5)), "00000000000000000000000000000101");
  EXPECT_EQ(C(BinaryText(INT32_MIN)), "1" + std::string(31, '0'));
  EXPECT_EQ(C(LongHexText(4294967296LL)), "0000000100000000");
  EXPECT_EQ(C(LongHexText(-1)), "FFFFFFFFFFFFFFFF");
  EXPECT_EQ(C(LongBinaryText(1)), std::string(63, '0') + "1");
  EXPECT_EQ(C(LongBinaryText(INT64_MIN)), "1" + std::string(63, '0'));
}

}  // namespace
}  // namespace vxl
