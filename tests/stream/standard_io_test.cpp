// The standard IO stream, seen from outside: a child process with piped input and output.
#include <gtest/gtest.h>

#include "stream/standard_io.h"
#include "support/child_process.h"

namespace vxl {
namespace {

TEST(StandardIO, LinesInAndOutAsUtf8) {
  test::ChildResult r = test::RunChild({test::TestBinaryDir() + "/stream_stdio_child"}, "",
                                       "caf\xC3\xA9\r\nsecond\n\nlast\n");
  EXPECT_EQ(r.out,
            "start \xE2\x82\xAC\r\n"
            "> [caf\xC3\xA9] 4\r\n"
            "> [second] 6\r\n"
            "> [] 0\r\n"
            "> [last] 4\r\n"
            "> ");
  // Standard input never reports its end: the read after the last line throws.
  EXPECT_EQ(r.err, "Error reading from stream");
  EXPECT_EQ(r.exitCode, 3);
}

TEST(StandardIO, InputThatEndsWithoutNewlineLosesTheLastLineToTheException) {
  test::ChildResult r = test::RunChild({test::TestBinaryDir() + "/stream_stdio_child"}, "", "x");
  EXPECT_EQ(r.out, "start \xE2\x82\xAC\r\n> ");
  EXPECT_EQ(r.err, "Error reading from stream");
}

TEST(StandardIO, StdTextStreamIsUtf8OverStandardIO) {
  InitStandardIOModule();
  ASSERT_TRUE(StdTextStream);
  EXPECT_EQ(StdTextStream->_encoding, TTextStream::UTF8);
  EXPECT_TRUE(StdTextStream->_stream.As<TCStandardIO>());
  EXPECT_EQ(StdTextStream->Eof(), 0);
}

}  // namespace
}  // namespace vxl
