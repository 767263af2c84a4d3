// TCStandardIO and the standard IO module.
#include "stream/standard_io.h"

#include <cstdio>

#include "platform/files/c_file_buffer.h"
#include "runtime/class_binder.h"
#include "runtime/never_destroyed.h"

namespace vxl {

VXL_DEFINE_CLASS(TCStandardIO)

Ref<TTextStream>& StdTextStream = *NeverDestroyed<Ref<TTextStream>>::Leak();

int32_t TCStandardIO::Flush() {
  std::fflush(stdout);
  return 0;
}

int32_t TCStandardIO::Read(uint8_t* buf, int32_t count) {
  if (count <= 0) return 0;
  return static_cast<int32_t>(std::fread(buf, 1, static_cast<size_t>(count), stdin));
}

std::span<const uint8_t> TCStandardIO::PeekBuffered() {
  return platform::BufferedInput(stdin);
}

void TCStandardIO::ConsumeBuffered(size_t count) {
  if (count) platform::ConsumeBufferedInput(stdin, count);
}

int32_t TCStandardIO::Write(const uint8_t* buf, int32_t count) {
  if (count <= 0) return 0;
  return static_cast<int32_t>(std::fwrite(buf, 1, static_cast<size_t>(count), stdout));
}

int32_t PrintLine(const String& text) {
  StdTextStream->WriteLine(text);
  StdTextStream->Flush();
  return 0;
}

String InputLine(const String& prompt) {
  StdTextStream->WriteString(prompt);
  StdTextStream->Flush();
  return StdTextStream->ReadLine();
}

int InitStandardIOModule() {
  static ModuleGuard guard("standard io");
  return guard.Run({InitCoreModule, InitStreamModule, InitTextStreamModule}, [] {
    RegisterClass<TCStandardIO>();
    StdTextStream = TTextStream::Create(New<TCStandardIO>(), TTextStream::UTF8);
  });
}

}  // namespace vxl
