#include "collections/list/list.h"

#include <vector>

#include "runtime/class_binder.h"

namespace vxl {

VXL_DEFINE_CLASS(TLink)
VXL_DEFINE_CLASS(TListEnum)
VXL_DEFINE_CLASS(TList)
VXL_DEFINE_CLASS(TListDataType)

namespace {

// The one shared instance, kept for the whole process (never released).
TListDataType* g_listDataType = nullptr;

// Element equality: a Null element equals only a Null value, and Compare never sees Null.
bool ElementEquals(const Object* element, const Object* value) {
  if (!value) return !element;
  return element && element->Compare(value) == 0;
}

void CheckInList(const Ref<TLink>& link) {
  if (!link->_InList()) RaiseRuntimeError("Link is not in a list");
}

// Freed link blocks of this thread, chained through their first word; at most kPoolMost of them.
// The pool hands its blocks back to the heap when the thread ends, and links freed after that (by
// objects of longer life) go straight to the heap.
struct LinkPool {
#if defined(__SANITIZE_ADDRESS__)
  static constexpr int32_t kPoolMost = 0;  // every link goes back to the checked heap
#else
  static constexpr int32_t kPoolMost = 4096;
#endif
  void* first = nullptr;
  int32_t count = 0;
  ~LinkPool();
};
thread_local LinkPool t_linkPool;
thread_local bool t_linkPoolGone = false;

LinkPool::~LinkPool() {
  t_linkPoolGone = true;
  while (first) {
    void* next = *static_cast<void**>(first);
    ::operator delete(first);
    first = next;
  }
  count = 0;
}

}  // namespace

void* TLink::operator new(size_t size) {
  LinkPool& pool = t_linkPool;
  if (size == sizeof(TLink) && pool.first) {
    void* block = pool.first;
    pool.first = *static_cast<void**>(block);
    --pool.count;
    return block;
  }
  return ::operator new(size);
}

void TLink::operator delete(void* block, size_t size) noexcept {
  if (!block) return;
  if (size == sizeof(TLink) && !t_linkPoolGone) {
    LinkPool& pool = t_linkPool;
    if (pool.count < LinkPool::kPoolMost) {
      *static_cast<void**>(block) = pool.first;
      pool.first = block;
      ++pool.count;
      return;
    }
  }
  ::operator delete(block);  // unsized: clang has the sized one only with -fsized-deallocation
}

Ref<TLink> TLink::NextLink() const {
  return _succ && !_succ->_IsSentinel() ? _succ : Ref<TLink>();
}

Ref<TLink> TLink::PrevLink() const {
  return _pred && !_pred->_IsSentinel() ? _pred : Ref<TLink>();
}

void TLink::Remove() {
  if (_IsSentinel()) return;  // the end marker never leaves its list
  _value = nullptr;
  if (!_InList()) return;  // already out: its neighbours have moved on
  Ref<TLink> self(this);   // the ring's references to this link go below
  _succ->_pred = _pred;
  _pred->_succ = _succ;
}

void TLink::_SetValue(const Ref<Object>& value) {
  if (_IsSentinel() || value.Get() == this) ThrowBoxError();
  _value = value;
}

void TLink::Bind(ClassBinder<TLink>& b) {
  // The end marker of a list is the link whose value is itself.
  b.AccessorField<&TLink::Value, &TLink::_SetValue>("_value");
  b.ReadOnlyField<&TLink::_succ>("_succ");
  b.ReadOnlyField<&TLink::_pred>("_pred");
  b.Method<&TLink::NextLink>("NextLink");
  b.Method<&TLink::PrevLink>("PrevLink");
  b.Method<&TLink::Remove>("Remove");
}

// A removed link still leads, through the neighbours it had, to the link that followed it; that
// walk ends at a link in the list or at the sentinel (Null once the list itself is gone).
void TListEnum::_SkipRemoved() {
  while (_link && !_link->_IsSentinel() && !_link->_InList())
    _link = _link->_succ;
}

bool TListEnum::HasNext() {
  _SkipRemoved();
  return _link && !_link->_IsSentinel();
}

Ref<Object> TListEnum::NextObject() {
  if (!HasNext()) return Ref<Object>();
  Ref<Object> value = _link->_value;
  _link = _link->_succ;
  return value;
}

void TListEnum::Bind(ClassBinder<TListEnum>& b) {
  b.ReadOnlyField<&TListEnum::_link>("_link");
  b.Method<&TListEnum::NextObject>("NextObject");
}

int32_t DefaultCompare(const Ref<Object>& a, const Ref<Object>& b) {
  return a->Compare(b.Get());
}

TList::TList() : _head(New<TLink>()) {
  _head->_value = _head;
  _head->_succ = _head;
  _head->_pred = _head;
}

TList::~TList() {
  Clear();
  // The sentinel refers to itself three times; cut that so it goes with the list.
  _head->_value = nullptr;
  _head->_succ = nullptr;
  _head->_pred = nullptr;
}

Ref<TDataType> TList::DataType() const {
  return g_listDataType;
}

void TList::Clear() {
  // Every link leaves as Remove would take it from the front: its value cleared, the sentinel
  // its predecessor, the link that followed it its successor (so an enumerator standing on it
  // walks off to the end). The chain is cut from the sentinel first, so the list is whole and
  // empty while values are released; what their release adds is cleared in the next round.
  TLink* head = _head.Get();
  while (!IsEmpty()) {
    Ref<TLink> link = std::move(head->_succ);
    head->_succ = _head;
    head->_pred = _head;
    while (link.Get() != head) {
      // The value a few links on is fetched while this one is let go of: values are often cold.
      TLink* ahead = link->_succ.Get();
      for (int k = 0; k < 3 && ahead != head; ++k)
        ahead = ahead->_succ.Get();
      if (ahead != head) __builtin_prefetch(ahead->_value.Get(), 1);
      link->_value = nullptr;
      link->_pred = _head;  // lets go of the link before, which nothing else may hold
      link = Ref<TLink>(link->_succ);
    }
  }
}

Ref<Object> TList::First() const {
  return IsEmpty() ? Ref<Object>() : _head->_succ->_value;
}
Ref<Object> TList::Last() const {
  return IsEmpty() ? Ref<Object>() : _head->_pred->_value;
}

Ref<Object> TList::RemoveFirst() {
  if (IsEmpty()) return Ref<Object>();
  Ref<TLink> link = _head->_succ;
  Ref<Object> value = link->_value;
  link->Remove();
  return value;
}

Ref<Object> TList::RemoveLast() {
  if (IsEmpty()) return Ref<Object>();
  Ref<TLink> link = _head->_pred;
  Ref<Object> value = link->_value;
  link->Remove();
  return value;
}

Ref<TLink> TList::FirstLink() const {
  return IsEmpty() ? Ref<TLink>() : _head->_succ;
}
Ref<TLink> TList::LastLink() const {
  return IsEmpty() ? Ref<TLink>() : _head->_pred;
}

Ref<TLink> TList::InsertBeforeLink(const Ref<Object>& value, const Ref<TLink>& succ) {
  CheckInList(succ);
  auto link = New<TLink>();
  link->_value = value;
  link->_succ = succ;
  link->_pred = succ->_pred;
  link->_pred->_succ = link;
  succ->_pred = link;
  return link;
}

Ref<TLink> TList::InsertAfterLink(const Ref<Object>& value, const Ref<TLink>& pred) {
  CheckInList(pred);
  auto link = New<TLink>();
  link->_value = value;
  link->_pred = pred;
  link->_succ = pred->_succ;
  link->_succ->_pred = link;
  pred->_succ = link;
  return link;
}

// The walk holds the link it stands on and that link's value while the element's Compare runs:
// a Compare that removes elements or clears the list frees neither, and a removed link still
// leads on to the end of the ring.
Ref<TLink> TList::FindLink(const Ref<Object>& value) const {
  const Ref<TLink> head = _head;
  for (Ref<TLink> link = head->_succ; link != head; link = link->_succ) {
    const Ref<Object> element = link->_value;
    if (ElementEquals(element.Get(), value.Get()) && link->_InList()) return link;
  }
  return Ref<TLink>();
}

Ref<Object> TList::ValueAtIndex(int32_t index) const {
  TLink* head = _head.Get();
  if (index >= 0) {
    for (TLink* link = head->_succ.Get(); link != head; link = link->_succ.Get()) {
      if (index-- == 0) return link->_value;
    }
  }
  RaiseRuntimeError("List index out of range");
}

int32_t TList::Count() const {
  int32_t n = 0;
  TLink* head = _head.Get();
  for (TLink* link = head->_succ.Get(); link != head; link = link->_succ.Get())
    ++n;
  return n;
}

bool TList::Remove(const Ref<Object>& value) {
  Ref<TLink> link = FindLink(value);
  if (!link) return false;
  link->Remove();
  return true;
}

void TList::Swap(const Ref<TList>& list) {
  _head.Swap(list->_head);
}

Ref<TList> TList::Copy() const {
  auto copy = New<TList>();
  TLink* head = _head.Get();
  for (TLink* link = head->_succ.Get(); link != head; link = link->_succ.Get()) {
    copy->AddLast(link->_value);
  }
  return copy;
}

void TList::Reverse() {
  // Every link of the ring, the sentinel included, exchanges its two neighbours.
  TLink* head = _head.Get();
  TLink* link = head;
  do {
    TLink* next = link->_succ.Get();
    link->_succ.Swap(link->_pred);
    link = next;
  } while (link != head);
}

Ref<TList> TList::Reversed() const {
  auto reversed = New<TList>();
  TLink* head = _head.Get();
  for (TLink* link = head->_succ.Get(); link != head; link = link->_succ.Get()) {
    reversed->AddFirst(link->_value);
  }
  return reversed;
}

namespace {

// One element while sorting: its value and its link, as plain pointers (Sort holds both).
struct SortEntry {
  Object* value;
  TLink* link;
};

// A Ref over a value Sort already holds: no count is taken, none is given back.
class Borrowed {
 public:
  explicit Borrowed(Object* value) : ref_(Ref<Object>::Adopt(value)) {}
  ~Borrowed() { ref_.Leak(); }
  Borrowed(const Borrowed&) = delete;
  Borrowed& operator=(const Borrowed&) = delete;
  const Ref<Object>& Get() const { return ref_; }

 private:
  Ref<Object> ref_;
};

// The elements of a list being sorted, in list order, each link and value held by a counted
// reference until the sort ends: a comparison that empties or changes the list frees nothing the
// sort still compares or relinks.
class HeldEntries {
 public:
  explicit HeldEntries(TLink* head) {
    try {
      for (TLink* link = head->_succ.Get(); link != head; link = link->_succ.Get()) {
        entries_.push_back({link->_value.Get(), link});
        link->AddRef();
        if (link->_value) link->_value->AddRef();
      }
    } catch (...) {  // out of memory: give back what is held so far
      ReleaseAll();
      throw;
    }
  }
  ~HeldEntries() { ReleaseAll(); }
  HeldEntries(const HeldEntries&) = delete;
  HeldEntries& operator=(const HeldEntries&) = delete;

  const std::vector<SortEntry>& Get() const { return entries_; }

  // True when the ring starting at `head` still consists of exactly these links, in this order,
  // with these values. Every link is held, so each is read from the array independently rather
  // than by following the ring one link after another.
  bool Unchanged(const TLink* head) const {
    const size_t n = entries_.size();
    if (head->_succ.Get() != entries_[0].link || head->_pred.Get() != entries_[n - 1].link)
      return false;
    const TLink* pred = head;
    for (size_t i = 0; i < n; ++i) {
      const TLink* link = entries_[i].link;
      const TLink* succ = i + 1 < n ? entries_[i + 1].link : head;
      if (link->_value.Get() != entries_[i].value || link->_pred.Get() != pred ||
          link->_succ.Get() != succ)
        return false;
      pred = link;
    }
    return true;
  }

 private:
  void ReleaseAll() {
    for (const SortEntry& e : entries_) {
      if (e.value) e.value->Release();
      e.link->Release();
    }
    entries_.clear();
  }

  std::vector<SortEntry> entries_;
};

class RunMerger {
 public:
  RunMerger(int32_t ascending, const ListCompareFunc& compare)
      : ascending_(ascending), compare_(compare) {}

  // True when `later` must come before `earlier`: exactly when the bubble sort would exchange
  // them as neighbours. Equal elements never are, which keeps the sort stable.
  bool OutOfOrder(const SortEntry& earlier, const SortEntry& later) const {
    Borrowed a(earlier.value), b(later.value);
    int32_t c = compare_(a.Get(), b.Get());
    return ascending_ ? c > 0 : c < 0;
  }

  // Merges the ordered runs lo..hi-1 (run k spans runs[k] to runs[k+1]) from `src` into `dst`.
  // Both arrays start with the same entries; each level merges what the level below left in the
  // other array. Depth-first, so small merges work on memory that is still in the cache.
  void Merge(SortEntry* src, SortEntry* dst, const size_t* runs, size_t lo, size_t hi) const {
    if (hi - lo < 2) return;
    size_t mid = lo + (hi - lo) / 2;
    Merge(dst, src, runs, lo, mid);
    Merge(dst, src, runs, mid, hi);
    size_t i = runs[lo], middle = runs[mid], j = middle, end = runs[hi], out = i;
    while (i < middle && j < end)
      dst[out++] = OutOfOrder(src[i], src[j]) ? src[j++] : src[i++];
    while (i < middle)
      dst[out++] = src[i++];
    while (j < end)
      dst[out++] = src[j++];
  }

 private:
  int32_t ascending_;
  const ListCompareFunc& compare_;
};

}  // namespace

// A natural merge sort over the links. It yields exactly the order of a stable bubble sort that
// exchanges neighbours only when they are out of order. One pass finds the ordered runs (n - 1
// comparisons, all a sorted list costs); the runs are then merged, O(n log n) comparisons in all.
// The ring is relinked only after the last comparison, so a throwing compareFunc leaves the list
// as it was. The links and values are held for the whole sort, so a compareFunc that clears or
// changes the list frees nothing the sort compares; the change is found before relinking and
// raises "List modified during sort", leaving the list as compareFunc left it.
void TList::Sort(int32_t ascending, ListCompareFunc compareFunc) {
  if (!compareFunc.IsAssigned()) ThrowNullFunction();
  const Ref<TLink> head = _head;  // a comparison may swap the list's links away
  HeldEntries held(head.Get());
  const size_t n = held.Get().size();
  if (n < 2) return;
  std::vector<SortEntry> entries(held.Get());
  RunMerger merger(ascending, compareFunc);
  std::vector<size_t> runs{0};  // start of each run, then n
  for (size_t i = 1; i < n; ++i) {
    if (merger.OutOfOrder(entries[i - 1], entries[i])) runs.push_back(i);
  }
  if (runs.size() > 1) {
    runs.push_back(n);
    std::vector<SortEntry> scratch(entries);
    merger.Merge(scratch.data(), entries.data(), runs.data(), 0, runs.size() - 1);
  }
  if (_head != head || !held.Unchanged(head.Get())) RaiseRuntimeError("List modified during sort");
  if (runs.size() == 1) return;

  // Relink. Besides the sort's own hold, each link is held by exactly two ring references (its
  // predecessor's _succ and its successor's _pred) before and after, so the references are handed
  // over without counting.
  head->_succ.Leak();
  head->_pred.Leak();
  for (const SortEntry& e : entries) {
    e.link->_succ.Leak();
    e.link->_pred.Leak();
  }
  TLink* pred = head.Get();
  for (const SortEntry& e : entries) {
    pred->_succ = Ref<TLink>::Adopt(e.link);
    e.link->_pred = Ref<TLink>::Adopt(pred);
    pred = e.link;
  }
  pred->_succ = Ref<TLink>::Adopt(head.Get());
  head->_pred = Ref<TLink>::Adopt(pred);
}

Ref<TListEnum> TList::ObjectEnumerator() const {
  auto e = New<TListEnum>();
  e->_link = _head->_succ;
  return e;
}

Array<Ref<Object>> TList::ToArray() const {
  auto array = Array<Ref<Object>>::New(Count());
  int32_t i = 0;
  TLink* head = _head.Get();
  for (TLink* link = head->_succ.Get(); link != head; link = link->_succ.Get()) {
    array.Data()[i++] = link->_value;
  }
  return array;
}

Ref<TList> TList::FromArray(const Array<Ref<Object>>& array) {
  auto list = New<TList>();
  for (const Ref<Object>& value : array)
    list->AddLast(value);
  return list;
}

void TList::Bind(ClassBinder<TList>& b) {
  b.ReadOnlyField<&TList::_head>("_head");
  b.Method<&TList::DataType>("DataType");
  b.Method<&TList::Clear>("Clear");
  b.Method<&TList::AddFirst>("AddFirst");
  b.Method<&TList::AddLast>("AddLast");
  b.Method<&TList::First>("First");
  b.Method<&TList::Last>("Last");
  b.Method<&TList::RemoveFirst>("RemoveFirst");
  b.Method<&TList::RemoveLast>("RemoveLast");
  b.Method<&TList::FirstLink>("FirstLink");
  b.Method<&TList::LastLink>("LastLink");
  b.Method<&TList::InsertBeforeLink>("InsertBeforeLink");
  b.Method<&TList::InsertAfterLink>("InsertAfterLink");
  b.Method<&TList::FindLink>("FindLink");
  b.Method<&TList::ValueAtIndex>("ValueAtIndex");
  b.Method<&TList::Count>("Count");
  b.Method<&TList::Swap>("Swap");
  b.Method<&TList::Copy>("Copy");
  b.Method<&TList::Reverse>("Reverse");
  b.Method<&TList::Reversed>("Reversed");
  b.Method<&TList::ObjectEnumerator>("ObjectEnumerator");
  b.Method<&TList::ToArray>("ToArray");
}

String TListDataType::Tag() const {
  return "VXL.LinkedList.TList";
}

void TListDataType::WriteObject(const Ref<Object>& object, const Ref<TStream>& stream) {
  auto list = object.As<TList>();
  stream->WriteInt(list->Count());
  for (Ref<Object> value : list)
    stream->WriteObject(value);
}

Ref<Object> TListDataType::ReadObject(const Ref<TStream>& stream) {
  auto list = New<TList>();
  // Every value takes at least one byte, so a count the stream cannot hold is damage.
  int32_t count = ReadDataCount(stream, 1);
  for (int32_t i = 0; i < count; ++i)
    list->AddLast(stream->ReadObject());
  return list;
}

Ref<TList> NewList() {
  return New<TList>();
}
void WipeList(const Ref<TList>& list) {
  list->Clear();
}
int32_t SizeOfList(const Ref<TList>& list) {
  return list->Count();
}
bool IsListEmpty(const Ref<TList>& list) {
  return list->IsEmpty();
}
bool IsInList(const Ref<TList>& list, const Ref<Object>& value) {
  return list->Contains(value);
}
void OrderList(const Ref<TList>& list, int32_t ascending, ListCompareFunc compareFunc) {
  list->Sort(ascending, compareFunc);
}
Ref<TList> ArrayToList(const Array<Ref<Object>>& array) {
  return TList::FromArray(array);
}
Array<Ref<Object>> ListAsArray(const Ref<TList>& list) {
  return list->ToArray();
}
void ExchangeLists(const Ref<TList>& list1, const Ref<TList>& list2) {
  list1->Swap(list2);
}
void InvertList(const Ref<TList>& list) {
  list->Reverse();
}
Ref<TLink> LinkOfValue(const Ref<TList>& list, const Ref<Object>& value) {
  return list->FindLink(value);
}
Ref<TLink> AppendToList(const Ref<TList>& list, const Ref<Object>& value) {
  return list->AddLast(value);
}
Ref<TLink> PrependToList(const Ref<TList>& list, const Ref<Object>& value) {
  return list->AddFirst(value);
}
bool DropFromList(const Ref<TList>& list, const Ref<Object>& value) {
  return list->Remove(value);
}
void UnlinkLink(const Ref<TLink>& link) {
  link->Remove();
}

int InitListModule() {
  static ModuleGuard guard("linked list");
  return guard.Run({InitCoreModule, InitDataModule}, [] {
    RegisterClass<TLink>();
    RegisterClass<TListEnum>();
    RegisterClass<TList>();
    RegisterClass<TListDataType>();
    if (!g_listDataType) g_listDataType = New<TListDataType>().Leak();
  });
}

}  // namespace vxl
