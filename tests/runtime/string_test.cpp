#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <limits>

#include "runtime/runtime.h"
#include "support/thrown_text.h"

namespace vxl {
namespace {

std::string C(const String& s) {
  return s.ToCString();
}

TEST(Strings, EmptyStringIsShared) {
  EXPECT_EQ(String().AsObject(), String("").AsObject());
  EXPECT_EQ(String("abc").Slice(1, 1).AsObject(), String().AsObject());
  EXPECT_EQ(String("  ").Trim().AsObject(), String().AsObject());
  EXPECT_EQ(String::FromBytes(nullptr, 0).AsObject(), String().AsObject());
  EXPECT_EQ(String::FromCString(nullptr).Length(), 0);
}

TEST(Strings, CompareByCodeThenLength) {
  EXPECT_EQ(String("abc").Compare("abd"), 'c' - 'd');
  EXPECT_EQ(String("ab").Compare("abc"), -1);
  EXPECT_EQ(String("abc").Compare("ab"), 1);
  EXPECT_EQ(String("abc").Compare("abc"), 0);
  // Codes above 0x7FFF compare as unsigned 16-bit values.
  EXPECT_GT(String(u"\xFFFF").Compare(String(u"a")), 0);
  // As objects, strings compare by content, not by address.
  Ref<Object> a = String("x"), b = String("x");
  EXPECT_EQ(a->Compare(b.Get()), 0);
}

TEST(Strings, Find) {
  String s = "banana";
  EXPECT_EQ(s.Find("an"), 1);
  EXPECT_EQ(s.Find("an", 2), 3);
  EXPECT_EQ(s.Find("an", -5), 1);
  EXPECT_EQ(s.Find("x"), -1);
  EXPECT_EQ(s.Find("", 4), 4);
  EXPECT_EQ(s.Find("a", 6), -1);
  EXPECT_EQ(s.FindLast("an"), 3);
  EXPECT_EQ(s.FindLast("an", 3), 3);
  EXPECT_EQ(s.FindLast("an", 4), 1);
  EXPECT_EQ(s.FindLast("banana!"), -1);
  EXPECT_EQ(s.FindLast("x"), -1);
}

TEST(Strings, SliceFillsOutsideWithSpaces) {
  EXPECT_EQ(C(String("abc").Slice(-2, 2)), "  ab");
  EXPECT_EQ(C(String("abc").Slice(1, 5)), "bc  ");
  EXPECT_EQ(C(String("abc").Slice(2, 1)), "");
  EXPECT_EQ(C(String("abc").Slice(0, 3)), "abc");
}

TEST(Strings, TrimCaseReplace) {
  String same = "abc";
  EXPECT_EQ(same.Trim().AsObject(), same.AsObject());
  EXPECT_EQ(C(String(std::string_view("\x01 a b\t\r\n", 8)).Trim()), "a b");
  EXPECT_EQ(C(String("aBz@[").ToUpper()), "ABZ@[");
  EXPECT_EQ(C(String("AbZ`{").ToLower()), "abz`{");
  EXPECT_EQ(String(u"\u00C4").ToLower().Asc(), 0xC4);  // only ASCII letters change
  EXPECT_EQ(C(String("aaa").Replace("aa", "b")), "ba");
  EXPECT_EQ(C(String("abc").Replace("", "x")), "abc");
  EXPECT_EQ(C(String("a.b.c").Replace(".", "::")), "a::b::c");
}

TEST(Strings, SplitAndJoin) {
  auto runs = String("  a  b ").Split("");
  ASSERT_EQ(runs.Length(), 2);
  EXPECT_EQ(C(runs[0]), "a");
  EXPECT_EQ(C(runs[1]), "b");
  EXPECT_EQ(String("   ").Split("").Length(), 0);
  auto parts = String(",a,").Split(",");
  ASSERT_EQ(parts.Length(), 3);
  EXPECT_EQ(C(parts[0]), "");
  EXPECT_EQ(C(parts[1]), "a");
  EXPECT_EQ(C(parts[2]), "");
  EXPECT_EQ(C(String(", ").Join(parts)), ", a, ");
  EXPECT_EQ(String("").Split(",").Length(), 1);
}

TEST(Strings, StartsEndsContainsAsc) {
  String s = "prefix-body";
  EXPECT_TRUE(s.StartsWith("pre"));
  EXPECT_TRUE(s.StartsWith(""));
  EXPECT_FALSE(s.StartsWith("body"));
  EXPECT_TRUE(s.EndsWith("body"));
  EXPECT_TRUE(s.EndsWith(""));
  EXPECT_FALSE(String("a").EndsWith("ba"));
  EXPECT_TRUE(s.Contains("x-b"));
  EXPECT_EQ(String("").Asc(), -1);
  EXPECT_EQ(String("A").Asc(), 65);
  EXPECT_EQ(String::FromChar(0x263A).Asc(), 0x263A);
}

TEST(Strings, CConversionsAreOneBytePerCharacter) {
  std::string bytes = String::FromChar(0x263A).ToCString();
  ASSERT_EQ(bytes.size(), 1u);
  EXPECT_EQ(static_cast<unsigned char>(bytes[0]), 0x3A);
  String latin = "\xE9\xFF";
  EXPECT_EQ(latin[0], 0xE9);
  EXPECT_EQ(latin[1], 0xFF);
  const uint16_t shorts[] = {0x41, 0xFFFF};
  EXPECT_EQ(String::FromShorts(shorts, 2)[1], 0xFFFF);
  const int32_t ints[] = {0x10041};
  EXPECT_EQ(String::FromInts(ints, 1)[0], 0x41);
  EXPECT_EQ(String(u"wide").ToWideString(), u"wide");
}

TEST(Strings, IndexOutsideThrowsBounds) {
  EXPECT_THROW_TEXT_AS(TArrayBoundsException, (void)String("ab")[2],
                       "Attempt to index array element beyond array length");
}

TEST(Strings, AreObjects) {
  Ref<Object> o = String("text");
  EXPECT_TRUE(String::IsString(o.Get()));
  EXPECT_EQ(C(o->ToString()), "text");
  EXPECT_EQ(C(String::Of(o)), "text");
  EXPECT_FALSE(String::IsString(New<TRuntimeException>().Get()));
  EXPECT_EQ(String::Of(New<TRuntimeException>()).Length(), 0);
  EXPECT_EQ(String::Of(Ref<Object>()).Length(), 0);
}

TEST(NumberText, IntegersAndLongs) {
  EXPECT_EQ(C(String::FromInt(0)), "0");
  EXPECT_EQ(C(String::FromInt(-42)), "-42");
  EXPECT_EQ(C(String::FromInt(std::numeric_limits<int32_t>::min())), "-2147483648");
  EXPECT_EQ(C(String::FromLong(std::numeric_limits<int64_t>::min())), "-9223372036854775808");
}

TEST(NumberText, FloatsAndDoubles) {
  EXPECT_EQ(C(String::FromFloat(1.0f)), "1.00000000");
  EXPECT_EQ(C(String::FromFloat(0.1f)), "0.100000001");
  EXPECT_EQ(C(String::FromFloat(1.5f)), "1.50000000");
  EXPECT_EQ(C(String::FromFloat(100000000.0f)), "100000000.");
  EXPECT_EQ(C(String::FromFloat(1e9f)), "1.00000000e+09");
  EXPECT_EQ(C(String::FromFloat(0.0001f)), "9.99999975e-05");
  EXPECT_EQ(C(String::FromFloat(0.001f)), "0.00100000005");
  EXPECT_EQ(C(String::FromDouble(1.0)), "1.0000000000000000");
  EXPECT_EQ(C(String::FromDouble(0.1)), "0.10000000000000001");
  EXPECT_EQ(C(String::FromDouble(1.5)), "1.5000000000000000");
  EXPECT_EQ(C(String::FromDouble(1e-5)), "1.0000000000000001e-05");
  EXPECT_EQ(C(String::FromDouble(INFINITY)), "inf");
  EXPECT_EQ(C(String::FromDouble(-INFINITY)), "-inf");
}

TEST(NumberText, StringToInt) {
  EXPECT_EQ(String("  -42abc").ToInt(), -42);
  EXPECT_EQ(String("$ff").ToInt(), 255);
  EXPECT_EQ(String("$FF").ToInt(), 255);
  EXPECT_EQ(String("%101").ToInt(), 5);
  EXPECT_EQ(String("%102").ToInt(), 2);
  EXPECT_EQ(String("abc").ToInt(), 0);
  EXPECT_EQ(String("+").ToInt(), 0);
  EXPECT_EQ(String("+17").ToInt(), 17);
  EXPECT_EQ(String("-$10").ToInt(), -16);
  EXPECT_EQ(String("\t\n\v\f\r 9").ToInt(), 9);
  EXPECT_EQ(String("- 5").ToInt(), 0);
  EXPECT_EQ(String("4294967297").ToInt(), 1);  // wraps modulo 2^32
  EXPECT_EQ(String("2147483648").ToInt(), std::numeric_limits<int32_t>::min());
  EXPECT_EQ(String("-2147483648").ToInt(), std::numeric_limits<int32_t>::min());
  EXPECT_EQ(String("$FFFFFFFF").ToInt(), -1);
}

TEST(NumberText, StringToLong) {
  EXPECT_EQ(String("9223372036854775807").ToLong(), std::numeric_limits<int64_t>::max());
  EXPECT_EQ(String("-9223372036854775808").ToLong(), std::numeric_limits<int64_t>::min());
  EXPECT_EQ(String("$FFFFFFFFFFFFFFFF").ToLong(), -1);
  EXPECT_EQ(String("4294967297").ToLong(), 4294967297LL);
  EXPECT_EQ(String("18446744073709551617").ToLong(), 1);  // wraps modulo 2^64
}

TEST(NumberText, StringToFloatingAndTruncation) {
  EXPECT_DOUBLE_EQ(String(" 2.5e3x").ToDouble(), 2500.0);
  EXPECT_FLOAT_EQ(String("0.1").ToFloat(), 0.1f);
  EXPECT_EQ(String("abc").ToDouble(), 0.0);
  // The text ends at a character whose low byte is 0, as a C string would.
  EXPECT_EQ(String(u"1\u01002").ToDouble(), 1.0);
  EXPECT_EQ(static_cast<int32_t>(String("2.7").ToDouble()), 2);
  EXPECT_EQ(static_cast<int32_t>(String("-2.7").ToDouble()), -2);
}

// Restores the program's numeric locale when it goes.
class NumericLocale {
 public:
  explicit NumericLocale(const char* name) : saved_(std::setlocale(LC_NUMERIC, nullptr)) {
    set_ = std::setlocale(LC_NUMERIC, name) != nullptr;
  }
  ~NumericLocale() { std::setlocale(LC_NUMERIC, saved_.c_str()); }
  bool IsSet() const { return set_; }

 private:
  std::string saved_;
  bool set_ = false;
};

TEST(NumberText, IgnoresTheProgramLocale) {
  NumericLocale german("de_DE.UTF-8");
  if (!german.IsSet())
    GTEST_SKIP() << "the locale de_DE.UTF-8 is not installed (scripts/setup.sh generates it)";
  char probe[16];
  std::snprintf(probe, sizeof probe, "%.1f", 1.5);
  ASSERT_STREQ(probe, "1,5") << "the locale should write a decimal comma";
  EXPECT_EQ(C(String::FromDouble(1.5)), "1.5000000000000000");
  EXPECT_EQ(C(String::FromFloat(-0.25f)), "-0.250000000");
  EXPECT_EQ(String("1.5").ToDouble(), 1.5);
  EXPECT_EQ(String("2.75e1").ToFloat(), 27.5f);
  EXPECT_EQ(String("1,5").ToDouble(), 1.0);  // a comma ends the number, as in the C locale
  EXPECT_EQ(String::FromDouble(0.1).ToDouble(), 0.1);
}

TEST(StringBuilder, BuildsOnce) {
  StringBuilder b;
  b.Append("ab").Append(u'c').AppendLatin1("\xE9");
  String s = b.ToString();
  EXPECT_EQ(s.Length(), 4);
  EXPECT_EQ(s[3], 0xE9);
}

}  // namespace
}  // namespace vxl
