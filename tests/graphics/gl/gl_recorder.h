// Records every GL call the framework makes through the entry-point table, forwarding each to
// the real function. Install one for the span of a test:
//
//   GLRecorder rec;
//   ApplyBlend(ALPHABLEND);
//   EXPECT_EQ(rec.Count("BlendFunc"), 1);
#pragma once

#include <string>
#include <vector>

#include "platform/gl/gl_api.h"

namespace vxl::testing {

class GLRecorder {
 public:
  GLRecorder();
  ~GLRecorder();
  GLRecorder(const GLRecorder&) = delete;
  GLRecorder& operator=(const GLRecorder&) = delete;

  // Calls of the entry point (named without the "gl" prefix) since the last Clear.
  int Count(const std::string& name) const;
  // Every call since the last Clear.
  int Total() const { return static_cast<int>(Calls().size()); }
  // Names of the calls in order.
  static std::vector<std::string>& Calls();
  void Clear() { Calls().clear(); }
};

}  // namespace vxl::testing
