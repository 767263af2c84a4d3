// File streams against the C library on the same 100 MB file of 40-byte lines, in the same run:
// ReadLine against fgets, BytesFromUrl against one fread, "utf8::" ReadLine against iconv to
// UTF-16 plus line splitting, and ReadInt throughput.
#include <iconv.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bench_util.h"
#include "stream/text_stream.h"

namespace {

using vxl::Ref;
using vxl::String;
using vxl::TStream;

constexpr size_t kLineBytes = 40;
constexpr size_t kFileBytes = 100u << 20;
constexpr int kRounds = 5;

std::string MakeFile(const std::string& dir) {
  std::string path = dir + "/lines.txt";
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) {
    std::perror(path.c_str());
    std::exit(1);
  }
  std::string line(kLineBytes, ' ');
  for (size_t n = 0; n < kFileBytes / kLineBytes; ++n) {
    for (size_t i = 0; i + 1 < kLineBytes; ++i)
      line[i] = static_cast<char>('!' + (n + i * 7) % 90);
    line[kLineBytes - 1] = '\n';
    std::fwrite(line.data(), 1, line.size(), f);
  }
  std::fclose(f);
  return path;
}

// Results are summed into this so no loop can be optimised away.
volatile size_t g_sink;

size_t StreamLines(const Ref<TStream>& s) {
  size_t chars = 0;
  while (!s->Eof())
    chars += static_cast<size_t>(s->ReadLine().Length());
  s->Close();
  return chars;
}

size_t FgetsLines(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "rb");
  char buf[1024];
  size_t chars = 0;
  while (std::fgets(buf, sizeof buf, f))
    chars += std::strlen(buf) - 1;
  std::fclose(f);
  return chars;
}

size_t FreadAll(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "rb");
  std::fseek(f, 0, SEEK_END);
  long size = std::ftell(f);
  std::fseek(f, 0, SEEK_SET);
  auto* buf = static_cast<char*>(std::malloc(static_cast<size_t>(size)));
  size_t n = std::fread(buf, 1, static_cast<size_t>(size), f);
  std::fclose(f);
  size_t check = n + static_cast<unsigned char>(buf[n / 2]);
  std::free(buf);
  return check;
}

// The file read in 64 KB chunks, each decoded with iconv into UTF-16, then cut into one string
// per line.
size_t IconvLines(const std::string& path) {
  iconv_t cd = iconv_open("UTF-16LE", "UTF-8");
  FILE* f = std::fopen(path.c_str(), "rb");
  static char in[65536];
  static char16_t out[65536];
  std::u16string partial;
  size_t chars = 0;
  size_t pending = 0;  // undecoded bytes kept from the previous chunk
  for (;;) {
    size_t got = std::fread(in + pending, 1, sizeof in - pending, f);
    if (got == 0 && pending == 0) break;
    char* src = in;
    size_t srcLeft = pending + got;
    char* dst = reinterpret_cast<char*>(out);
    size_t dstLeft = sizeof out;
    iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    std::memmove(in, src, srcLeft);
    pending = got == 0 ? 0 : srcLeft;
    const char16_t* p = out;
    const char16_t* end = reinterpret_cast<char16_t*>(dst);
    while (p < end) {
      const char16_t* nl = std::char_traits<char16_t>::find(p, static_cast<size_t>(end - p), u'\n');
      if (!nl) {
        partial.append(p, end);
        break;
      }
      partial.append(p, nl);
      std::u16string line(partial);
      chars += line.size();
      partial.clear();
      p = nl + 1;
    }
  }
  std::fclose(f);
  iconv_close(cd);
  return chars;
}

}  // namespace

int main() {
  vxl::InitTextStreamModule();
  char pattern[] = "/tmp/vxl-bench-streams-XXXXXX";
  if (!mkdtemp(pattern)) return 1;
  std::string dir = pattern;
  std::string path = MakeFile(dir);
  String url(path.c_str());
  String utf8Url = "utf8::" + url;

  // Each side once before timing, so both find the file in the page cache.
  if (FgetsLines(path) != StreamLines(vxl::OpenForReading(url)) ||
      IconvLines(path) != StreamLines(vxl::OpenForReading(utf8Url))) {
    std::fprintf(stderr, "the sides disagree\n");
    return 1;
  }

  using vxl::bench::MedianPairMs;
  using vxl::bench::Print;
  // CPU time, so a busy machine does not blur the comparison.
  auto [readline, fgets] = vxl::bench::MedianPairCpuMs(
      kRounds, [&] { g_sink = StreamLines(vxl::OpenForReading(url)); },
      [&] { g_sink = FgetsLines(path); });
  Print("readline_ms", readline, "ms");
  Print("fgets_ms", fgets, "ms");
  Print("readline_vs_fgets_ratio", readline / fgets);

  auto [bytes, fread] = MedianPairMs(
      kRounds, [&] { g_sink = static_cast<size_t>(vxl::BytesFromUrl(url).Length()); },
      [&] { g_sink = FreadAll(path); });
  Print("bytesfromurl_ms", bytes, "ms");
  Print("fread_ms", fread, "ms");
  Print("bytesfromurl_vs_fread_ratio", bytes / fread);

  double readint = vxl::bench::TimeMs([&] {
    Ref<TStream> s = vxl::OpenForReading(url);
    int32_t sum = 0;
    for (size_t i = 0; i < kFileBytes / 4; ++i)
      sum += s->ReadInt();
    g_sink = static_cast<size_t>(sum);
  });
  Print("readint_mb_s", (kFileBytes / 1048576.0) / (readint / 1000.0), "MB/s");

  auto [utf8, iconvMs] = MedianPairMs(
      kRounds, [&] { g_sink = StreamLines(vxl::OpenForReading(utf8Url)); },
      [&] { g_sink = IconvLines(path); });
  Print("utf8_readline_ms", utf8, "ms");
  Print("iconv_lines_ms", iconvMs, "ms");
  Print("utf8_readline_vs_iconv_ratio", utf8 / iconvMs);

  std::remove(path.c_str());
  rmdir(dir.c_str());
  return 0;
}
