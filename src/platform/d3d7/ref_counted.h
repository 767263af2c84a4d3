// The reference count behind every object of the software DirectDraw / Direct3D 7.
#pragma once

#include <cstdint>

namespace vxl::platform::d3d7 {

// Implements AddRef/Release of an interface: the object starts with one reference and is deleted
// when the last one goes. A subclass may veto the delete (KeepAlive) when something else still
// owns the object.
template <typename Interface>
class RefCounted : public Interface {
 public:
  uint32_t AddRef() override { return ++count_; }
  uint32_t Release() override {
    if (count_ == 0) return 0;
    if (--count_ == 0 && !KeepAlive()) {
      delete this;
      return 0;
    }
    return count_;
  }
  uint32_t References() const { return count_; }

 protected:
  RefCounted() = default;
  ~RefCounted() override = default;
  // True when the object must outlive its last reference (it is owned elsewhere).
  virtual bool KeepAlive() const { return false; }
  void SetReferences(uint32_t count) { count_ = count; }

 private:
  uint32_t count_ = 1;
};

}  // namespace vxl::platform::d3d7
