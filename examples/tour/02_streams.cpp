// Tour: streams opened by URL.
#include <cstdio>

#include "startup/startup.h"
#include "stream/stream.h"

using namespace vxl;

int main() {
  InitFrameworkModules();
  // tour:begin
  Ref<TStream> out = OpenStreamUrl(String("scores.bin"), 0, 1);  // a plain path is a file
  out->WriteInt(3);
  out->WriteLine(String("Ada"));
  out->Close();
  Ref<TStream> in = OpenStreamUrl(String("littleendian::scores.bin"), 1, 0);  // protocols wrap
  int32_t count = in->ReadInt();
  String who = in->ReadLine();
  in->Close();
  std::printf("%d for %s\n", count, who.ToCString().c_str());
  // tour:end
}
