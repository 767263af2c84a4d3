// Tour: lists, maps and data streams.
#include <cstdio>

#include "collections/list/list.h"
#include "collections/map/map.h"
#include "startup/startup.h"
#include "stream/stream.h"

using namespace vxl;

int main() {
  InitFrameworkModules();
  // tour:begin
  Ref<TList> names = NewList();
  names->AddLast(String("cleo"));
  names->AddLast(String("ada"));
  names->Sort(1, DefaultCompare);                        // stable, by each element's Compare
  Ref<TMap> ages = NewMap();
  ages->Insert(String("ada"), String("36"));
  ObjectToUrl(names, String("data::names.bin"));          // object graphs to any stream
  Ref<TList> back = ObjectFromUrl(String("data::names.bin")).As<TList>();
  for (Ref<Object> n : back) std::printf("%s ", String::Of(n).ToCString().c_str());
  std::printf("ada is %s\n", String::Of(ages->ValueForKey(String("ada"))).ToCString().c_str());
  // tour:end
}
