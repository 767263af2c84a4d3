// The runtime's strings and references against the standard library doing the same work.
#include <memory>
#include <string>
#include <vector>

#include "bench_util.h"
#include "runtime/runtime.h"

namespace {

using namespace vxl;

class TItem : public Object {
 public:
  VXL_CLASS(TItem, Object)
};
VXL_DEFINE_CLASS(TItem)

struct StdItem {
  virtual ~StdItem() = default;
};

// Builds many short strings by concatenation and searches each for a needle.
size_t StringWork(const std::vector<String>& parts, const String& needle) {
  size_t found = 0;
  for (size_t i = 0; i + 2 < parts.size(); ++i) {
    String s = parts[i] + parts[i + 1] + parts[i + 2];
    found += static_cast<size_t>(s.Find(needle) + 1);
  }
  return found;
}

size_t StdStringWork(const std::vector<std::u16string>& parts, const std::u16string& needle) {
  size_t found = 0;
  for (size_t i = 0; i + 2 < parts.size(); ++i) {
    std::u16string s = parts[i] + parts[i + 1] + parts[i + 2];
    found += s.find(needle) + 1;
  }
  return found;
}

volatile size_t g_sink;

}  // namespace

int main() {
  const int kParts = 200000;
  std::vector<String> parts;
  std::vector<std::u16string> stdParts;
  for (int i = 0; i < kParts; ++i) {
    String p = String("segment-") + String::FromInt(i * 7919 % 100003);
    parts.push_back(p);
    stdParts.emplace_back(p.View());
  }
  String needle = "3-seg";
  std::u16string stdNeedle(needle.View());

  auto [ours, theirs] = bench::MedianPairMs(
      15, [&] { g_sink = StringWork(parts, needle); },
      [&] { g_sink = StdStringWork(stdParts, stdNeedle); });
  if (StringWork(parts, needle) != StdStringWork(stdParts, stdNeedle)) return 1;
  bench::Print("string_concat_find_ms", ours, "ms");
  bench::Print("u16string_concat_find_ms", theirs, "ms");
  bench::Print("string_concat_find_vs_std_ratio", ours / theirs);

  const int kRefs = 1000000;
  std::vector<Ref<TItem>> refs;
  std::vector<std::shared_ptr<StdItem>> shared;
  for (int i = 0; i < kRefs; ++i) {
    refs.push_back(New<TItem>());
    shared.push_back(std::make_shared<StdItem>());
  }
  auto [refMs, sharedMs] = bench::MedianPairMs(
      15,
      [&] {
        std::vector<Ref<TItem>> copy(refs);
        g_sink = copy.size();
      },
      [&] {
        std::vector<std::shared_ptr<StdItem>> copy(shared);
        g_sink = copy.size();
      });
  bench::Print("ref_copy_ms", refMs, "ms");
  bench::Print("shared_ptr_copy_ms", sharedMs, "ms");
  bench::Print("ref_copy_vs_shared_ptr_ratio", refMs / sharedMs);
  return 0;
}
