// Collections against the standard library, in the same run and with the same comparison:
// TMap against std::map (1 000 000 inserts, lookups and removals of boxed-int keys), TList.Sort
// against std::list::sort (1 000 000 boxed ints), and data-stream throughput for a list of
// 10 000 banks of 1 KiB written to and read from a bank stream.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <list>
#include <map>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "bank/bank.h"
#include "bench_util.h"
#include "collections/list/list.h"
#include "collections/map/map.h"
#include "runtime/class_binder.h"
#include "memstream/bank_stream.h"

namespace vxl {
namespace {

class TBoxedInt : public Object {
 public:
  VXL_CLASS(TBoxedInt, Object)
  explicit TBoxedInt(int32_t v = 0) : value(v) {}
  int Compare(const Object* other) const override {
    int32_t o = static_cast<const TBoxedInt*>(other)->value;
    return value < o ? -1 : (value > o ? 1 : 0);
  }
  int32_t value;
};
VXL_DEFINE_CLASS(TBoxedInt)

constexpr int kCount = 1000000;
constexpr int kRounds = 3;

// std::map ordered by the keys' own Compare, as TMap is.
struct CompareLess {
  bool operator()(const Ref<Object>& a, const Ref<Object>& b) const {
    return a->Compare(b.Get()) < 0;
  }
};

std::vector<Ref<Object>> Boxes(const std::vector<int32_t>& values) {
  std::vector<Ref<Object>> boxes;
  boxes.reserve(values.size());
  for (int32_t v : values)
    boxes.push_back(New<TBoxedInt>(v));
  return boxes;
}

std::vector<int32_t> Shuffled(uint32_t seed) {
  std::vector<int32_t> v(kCount);
  std::iota(v.begin(), v.end(), 0);
  std::shuffle(v.begin(), v.end(), std::mt19937(seed));
  return v;
}

int g_sink = 0;

void BenchMap() {
  // Inserted in one random order, looked up with distinct but equal keys in another, removed in
  // a third.
  auto inserts = Boxes(Shuffled(1));
  auto lookups = Boxes(Shuffled(2));
  auto removals = Boxes(Shuffled(3));
  Ref<Object> value = New<TBoxedInt>(7);
  auto [tmapMs, stdMs] = bench::MedianPairMs(
      kRounds,
      [&] {
        auto map = NewMap();
        for (const auto& k : inserts)
          map->Insert(k, value);
        for (const auto& k : lookups)
          g_sink += map->ValueForKey(k) ? 1 : 0;
        for (const auto& k : removals)
          g_sink += map->Remove(k) ? 1 : 0;
      },
      [&] {
        std::map<Ref<Object>, Ref<Object>, CompareLess> map;
        for (const auto& k : inserts)
          map.insert_or_assign(k, value);
        for (const auto& k : lookups) {
          auto it = map.find(k);
          g_sink += it != map.end() && it->second ? 1 : 0;
        }
        for (const auto& k : removals)
          g_sink += static_cast<int>(map.erase(k));
      });
  bench::Print("tmap_ms", tmapMs, "ms");
  bench::Print("stdmap_ms", stdMs, "ms");
  bench::Print("tmap_vs_stdmap_ratio", tmapMs / stdMs);
}

void BenchSort() {
  std::mt19937 rng(4);
  std::vector<int32_t> values(kCount);
  for (auto& v : values)
    v = static_cast<int32_t>(rng() % (kCount / 4));  // with duplicates
  auto boxes = Boxes(values);
  std::vector<double> tlistMs, stdMs;
  for (int round = 0; round < kRounds; ++round) {
    // Both lists are built before either is sorted, from the same state of the heap: the
    // sort's own large allocations tidy the heap, which would favour a list built after it.
    auto list = NewList();
    for (const auto& b : boxes)
      list->AddLast(b);
    std::list<Ref<Object>> stdList(boxes.begin(), boxes.end());
    tlistMs.push_back(bench::TimeMs([&] { list->Sort(1, DefaultCompare); }));
    stdMs.push_back(bench::TimeMs([&] {
      stdList.sort(
          [](const Ref<Object>& a, const Ref<Object>& b) { return DefaultCompare(a, b) < 0; });
    }));
    // Both orders must agree (the same stable order of the same objects).
    auto it = stdList.begin();
    for (Ref<Object> v : list) {
      if (v != *it++) {
        std::fprintf(stderr, "sort orders differ\n");
        std::exit(1);
      }
    }
  }
  double a = bench::Median(tlistMs), b = bench::Median(stdMs);
  bench::Print("tlist_sort_ms", a, "ms");
  bench::Print("stdlist_sort_ms", b, "ms");
  bench::Print("tlist_sort_vs_stdlist_ratio", a / b);
  // The first round sorts lists laid out in allocation order, as a freshly built list is; the
  // later ones sort lists scattered over a heap that earlier rounds freed.
  bench::Print("tlist_sort_vs_stdlist_first_round_ratio", tlistMs[0] / stdMs[0]);
}

void BenchDataStream() {
  constexpr int kBanks = 10000;
  constexpr int kBankBytes = 1024;
  auto list = NewList();
  for (int i = 0; i < kBanks; ++i) {
    auto bank = NewBank(kBankBytes);
    for (int j = 0; j < kBankBytes; j += 4)
      bank->PokeInt(j, i * j);
    list->AddLast(bank);
  }
  std::vector<double> writeMs, readMs;
  int32_t bytes = 0;
  for (int round = 0; round < 5; ++round) {
    Ref<TBank> target = NewBank(0);
    writeMs.push_back(bench::TimeMs([&] {
      auto out = TDataStream::WithStream(NewBankStream(target));
      out->WriteObject(list);
      out->Close();
    }));
    bytes = target->Size();
    Ref<Object> back;
    readMs.push_back(bench::TimeMs([&] {
      auto in = TDataStream::WithStream(NewBankStream(target));
      back = in->ReadObject();
      in->Close();
    }));
    if (back.As<TList>()->Count() != kBanks) {
      std::fprintf(stderr, "read back the wrong list\n");
      std::exit(1);
    }
  }
  double mb = bytes / (1024.0 * 1024.0);
  bench::Print("datastream_bytes", bytes);
  bench::Print("datastream_write_mb_s", mb / (bench::Median(writeMs) / 1000.0), "MB/s");
  bench::Print("datastream_read_mb_s", mb / (bench::Median(readMs) / 1000.0), "MB/s");
}

}  // namespace
}  // namespace vxl

// With an argument ("map", "sort" or "data") only that part runs.
int main(int argc, char** argv) {
  vxl::InitBankModule();
  vxl::InitListModule();
  vxl::InitBankStreamModule();
  std::string only = argc > 1 ? argv[1] : "";
  if (only.empty() || only == "map") vxl::BenchMap();
  if (only.empty() || only == "sort") vxl::BenchSort();
  if (only.empty() || only == "data") vxl::BenchDataStream();
  return vxl::g_sink == 42 ? 1 : 0;
}
