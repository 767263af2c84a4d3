// Tour: lists, maps and data streams.
#include <cstdio>

#include "bank/bank.h"
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
  for (Ref<Object> n : names) std::printf("%s ", String::Of(n).ToCString().c_str());
  Ref<TMap> ages = NewMap();
  ages->Insert(String("ada"), String("36"));
  std::printf("ada is %s\n", String::Of(ages->ValueForKey(String("ada"))).ToCString().c_str());

  Ref<TList> level = NewList();                          // lists, maps, banks, pixmaps, images:
  level->AddLast(TBank::Create(1024));                   // every TData goes to a data stream
  ObjectToUrl(level, String("data::level.bin"));
  Ref<TList> back = ObjectFromUrl(String("data::level.bin")).As<TList>();
  std::printf("%d object(s) back\n", back->Count());
  // tour:end
}
