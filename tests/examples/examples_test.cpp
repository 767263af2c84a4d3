// The example programs on command lines a user gets wrong, and on files the framework refuses:
// each says what is wrong and exits with 2 (the command line) or 1 (the work failed).
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "support/temp_dir.h"

namespace vxl {
namespace {

TEST(Examples, HelpAndBadArguments) {
  test::TempDir dir;
  // A 2 x 1 24-bit BMP.
  std::string bmp("BM\0\0\0\0\0\0\0\0\x36\0\0\0\x28\0\0\0\x02\0\0\0\x01\0\0\0\x01\0\x18\0", 30);
  bmp += std::string(24, '\0') + std::string(8, '\x7F');
  const std::string image = dir.Write("small.bmp", bmp);
  const std::string wav24 = std::string(VXL_AUDIO_TEST_DATA) + "/tone24.wav";
  struct Case {
    std::vector<std::string> args;  // program name first
    int exitCode;
    std::string expected;  // on standard error, or on standard output for exit code 0
  } cases[] = {
      {{"event_viewer", "--help"}, 0, "usage: "},
      {{"font_collision", "-h"}, 0, "usage: "},
      {{"font_collision", "--frames", "x"},
       2,
       "the frame count must be a whole number from 1 to 1000000, not \"x\""},
      {{"font_collision", "a.ttf", "b.ttf"}, 2, "usage: "},
      {{"font_collision", "--screenshot", "x.png"}, 2, "usage: "},
      {{"font_collision", image}, 1, "small.bmp: not a font file FreeType can open"},
      {{"image_convert", "-h"}, 0, "usage: "},
      {{"play_audio", "--help"}, 0, "usage: "},
      {{"sprites", "--help"}, 0, "usage: "},
      {{"sprites", "--frames", "0"}, 2,
       "the frame count must be a whole number from 1 to 1000000, not \"0\""},
      {{"sprites", "--screenshot", "x.png"}, 2, "usage: "},
      {{"synk_chat", "listen", "--help"}, 0, "usage: "},
      {{"scenes", "--help"}, 0, "usage: "},
      {{"scenes"}, 2, "usage: "},
      {{"scenes", "DirectX7", "--screenshot", "x.png"}, 2, "usage: "},
      {{"scenes", "DirectX7", "--frames", "2", "--save-scenes", "."}, 2, "usage: "},
      {{"scenes", "Vulkan"}, 1, "no render driver named \"Vulkan\""},
      {{"event_viewer", "abc"},
       2,
       "the tick count must be a whole number from 1 to 1000000, not \"abc\""},
      {{"event_viewer", "10", "20"}, 2, "usage: "},
      {{"image_convert", image}, 2, "usage: "},
      {{"image_convert", image, "out", "0", "5"},
       2,
       "the width must be a whole number from 1 to 1048576, not \"0\""},
      {{"image_convert", image, "out", "5", "5x"},
       2,
       "the height must be a whole number from 1 to 1048576, not \"5x\""},
      {{"image_convert", dir.Path() + "/missing.png", "out"}, 1, "missing.png: cannot open it"},
      {{"image_convert", image, dir.Path() + "/big", "40000", "40000"},
       1,
       "image_convert: Pixmap too large"},
      {{"play_audio"}, 2, "usage: "},
      {{"play_audio", wav24}, 1, "tone24.wav: 24-bit samples are not supported"},
      {{"play_audio", image}, 1, "small.bmp: not a WAV or Ogg Vorbis file"},
      {{"synk_chat", "listen", "abc", "ada"},
       2,
       "the port must be a whole number from 1 to 65535, not \"abc\""},
      {{"synk_chat", "listen", "70000", "ada"},
       2,
       "the port must be a whole number from 1 to 65535, not \"70000\""},
      {{"synk_chat", "connect", "localhost", "-1", "bob"},
       2,
       "the port must be a whole number from 1 to 65535, not \"-1\""},
      {{"synk_chat", "connect", "no-such-host.invalid", "7777", "bob"},
       1,
       "the host name \"no-such-host.invalid\" does not resolve"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> argv = c.args;
    std::string line;
    for (const std::string& a : argv)
      line += a + " ";
    SCOPED_TRACE(line);
    argv[0] = test::TestBinaryDir() + "/" + argv[0];
    test::ChildResult r = test::RunChild(argv, "", "");
    EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
    const std::string& shown = c.exitCode == 0 ? r.out : r.err;
    EXPECT_NE(shown.find(c.expected), std::string::npos) << shown;
  }
}

// A library that does not open says why: the PNG loader without libpng, the chat without ENet,
// fonts without FreeType.
TEST(Examples, AMissingLibrarySaysWhy) {
  test::TempDir dir;
  const std::string png = dir.Write("a.png", std::string("\x89PNG\r\n\x1A\n", 8) + "IHDR...");
  struct Case {
    const char* variable;
    std::vector<std::string> args;
    std::string expected;
  } cases[] = {
      {"VXL_LIBRARY_LIBPNG",
       {"image_convert", png, dir.Path() + "/out"},
       "image_convert: libpng: /nonexistent/lib.so: cannot open shared object file"},
      {"VXL_LIBRARY_LIBENET",
       {"synk_chat", "listen", "7779", "ada"},
       "synk_chat: libenet: /nonexistent/lib.so: cannot open shared object file"},
      {"VXL_LIBRARY_LIBFREETYPE",
       {"font_collision"},
       "font_collision: libfreetype: /nonexistent/lib.so: cannot open shared object file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.variable);
    std::vector<std::string> argv = c.args;
    argv[0] = test::TestBinaryDir() + "/" + argv[0];
    setenv(c.variable, "/nonexistent/lib.so", 1);
    test::ChildResult r = test::RunChild(argv, "", "");
    unsetenv(c.variable);
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_NE(r.err.find(c.expected), std::string::npos) << r.err;
  }
}

}  // namespace
}  // namespace vxl
