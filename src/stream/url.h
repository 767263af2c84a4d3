// The argument of every function that opens a URL: a stream, a file path or "proto::path"
// string, or any other object some factory understands (a bank, for instance). It is built
// implicitly, so one declaration takes them all:
//
//   Array<uint8_t> a = BytesFromUrl("scores.bin");                // a C string (Latin-1)
//   Array<uint8_t> b = BytesFromUrl(String(u"caf\u00e9.txt"));   // a string
//   Array<uint8_t> c = BytesFromUrl(bank);                        // any object reference
#pragma once

#include <concepts>

#include "runtime/runtime.h"

namespace vxl {

class Url {
 public:
  Url(const char* latin1) : object_(String(latin1)) {}
  Url(const char16_t* codes) : object_(String(codes)) {}
  Url(const String& text) : object_(text) {}
  template <class T>
  requires std::derived_from<T, Object> Url(const Ref<T>& object) : object_(object) {}

  // The URL as the factories receive it (Null stays Null).
  const Ref<Object>& Get() const { return object_; }
  operator const Ref<Object>&() const { return object_; }

 private:
  Ref<Object> object_;
};

}  // namespace vxl
