#include <gtest/gtest.h>

#include "runtime/classic_text.h"

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
