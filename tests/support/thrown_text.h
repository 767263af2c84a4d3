// "Expect this statement to throw this text" for framework exceptions.
//
//   EXPECT_THROW_TEXT(s->ReadInt(), "Error reading from stream");
//   EXPECT_THROW_TEXT_AS(TArrayBoundsException, a[2] = 1,
//                        "Attempt to index array element beyond array length");
//   EXPECT_THROW_TEXT_AS(String, list->Sort(1, cmp), "List modified during sort");
//
// The text compared is the thrown object's ToString, one byte per character. When the statement
// returns, the text is "nothing thrown"; when the class check fails it is
// "not a <Class>: <text>", so a failure message always shows what really happened.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "runtime/class_info.h"
#include "runtime/exceptions.h"

namespace vxl::test {

// What `body` throws as text, "nothing thrown" when it returns. Expected is the class the thrown
// object must be (or derive from); String means a thrown string; Object accepts anything.
template <class Expected = Object, class F>
std::string ThrownText(F&& body) {
  try {
    body();
  } catch (const Thrown& e) {
    if constexpr (std::is_same_v<Expected, String>) {
      if (!e.IsString()) return std::string("not a String: ") + e.what();
    } else {
      if (!e.Is(Expected::StaticClass()))
        return "not a " + Expected::StaticClass().Name() + ": " + e.what();
    }
    return e.what();
  }
  return "nothing thrown";
}

}  // namespace vxl::test

#define EXPECT_THROW_TEXT(statement, text) \
  EXPECT_EQ(::vxl::test::ThrownText([&] { statement; }), std::string(text))
#define EXPECT_THROW_TEXT_AS(Class, statement, text) \
  EXPECT_EQ(::vxl::test::ThrownText<Class>([&] { statement; }), std::string(text))
