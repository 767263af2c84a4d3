#include "collections/list/list.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "support/test_streams.h"
#include "support/thrown_text.h"

namespace vxl {
namespace {

// An element with a sort key and a label: equal keys, different labels show stability.
class TItem : public Object {
 public:
  VXL_CLASS(TItem, Object)
  TItem(int32_t k = 0, std::string l = "") : key(k), label(std::move(l)) {}
  int Compare(const Object* other) const override {
    int32_t o = static_cast<const TItem*>(other)->key;
    return key < o ? -1 : (key > o ? 1 : 0);
  }
  int32_t key;
  std::string label;
};
VXL_DEFINE_CLASS(TItem)

Ref<Object> Item(int32_t key, std::string label = "") {
  return New<TItem>(key, label);
}
const TItem& ItemOf(const Ref<Object>& o) {
  return *o.As<TItem>();
}

int g_comparisons = 0;
int32_t CountingCompare(const Ref<Object>& a, const Ref<Object>& b) {
  ++g_comparisons;
  return a->Compare(b.Get());
}

std::string Labels(const Ref<TList>& list) {
  std::string s;
  for (Ref<Object> v : list)
    s += v ? ItemOf(v).label : std::string("~");
  return s;
}

Ref<TList> ListOf(const std::string& labels) {
  auto list = NewList();
  for (char c : labels)
    list->AddLast(Item(c, std::string(1, c)));
  return list;
}

// The ring is intact: every _succ/_pred pair is inverse, and both directions count the same.
void ExpectRing(const Ref<TList>& list) {
  TLink* head = list->_head.Get();
  ASSERT_TRUE(head->_IsSentinel());
  int forward = 0;
  for (TLink* l = head->_succ.Get(); l != head; l = l->_succ.Get()) {
    ASSERT_EQ(l->_succ->_pred.Get(), l);
    ASSERT_EQ(l->_pred->_succ.Get(), l);
    ASSERT_FALSE(l->_IsSentinel());
    ++forward;
  }
  int backward = 0;
  for (TLink* l = head->_pred.Get(); l != head; l = l->_pred.Get())
    ++backward;
  EXPECT_EQ(forward, backward);
  EXPECT_EQ(list->Count(), forward);
}

class ListTest : public ::testing::Test {
 protected:
  void SetUp() override { InitListModule(); }
};

TEST_F(ListTest, NewListIsEmpty) {
  auto list = NewList();
  EXPECT_TRUE(list->IsEmpty());
  EXPECT_EQ(list->Count(), 0);
  EXPECT_TRUE(list->FirstLink().IsNull());
  EXPECT_TRUE(list->LastLink().IsNull());
  EXPECT_EQ(list->ToArray().Length(), 0);
  int n = 0;
  for (Ref<Object> v : list)
    ++n;
  EXPECT_EQ(n, 0);
}

TEST_F(ListTest, EmptyListEndsGiveNullAndChangeNothing) {
  auto list = NewList();
  EXPECT_TRUE(list->First().IsNull());
  EXPECT_TRUE(list->Last().IsNull());
  EXPECT_TRUE(list->RemoveFirst().IsNull());
  EXPECT_TRUE(list->RemoveLast().IsNull());
  EXPECT_TRUE(list->IsEmpty());
  ExpectRing(list);
  list->AddLast(Item(1, "a"));
  EXPECT_EQ(Labels(list), "a");
}

TEST_F(ListTest, AddingAtBothEndsAndIndexing) {
  auto list = NewList();
  auto a = Item(1, "a"), b = Item(2, "b"), c = Item(3, "c");
  list->AddFirst(a);
  list->AddLast(b);
  list->AddFirst(c);
  EXPECT_EQ(Labels(list), "cab");
  EXPECT_EQ(list->ValueAtIndex(2), b);
  EXPECT_EQ(list->First(), c);
  EXPECT_EQ(list->Last(), b);
  for (int32_t bad : {3, -1, INT32_MIN})
    EXPECT_THROW_TEXT_AS(TRuntimeException, list->ValueAtIndex(bad), "List index out of range")
        << bad;
  EXPECT_TRUE(list->LastLink()->NextLink().IsNull());
  EXPECT_TRUE(list->FirstLink()->PrevLink().IsNull());
  EXPECT_EQ(list->FirstLink()->NextLink()->Value(), a);
  EXPECT_EQ(list->LastLink()->PrevLink()->Value(), a);
  EXPECT_EQ(list->RemoveFirst(), c);
  EXPECT_EQ(list->RemoveLast(), b);
  EXPECT_EQ(Labels(list), "a");
  ExpectRing(list);
}

TEST_F(ListTest, InsertingNextToLinks) {
  auto list = ListOf("ac");
  auto b = list->InsertAfterLink(Item('b', "b"), list->FirstLink());
  list->InsertBeforeLink(Item('x', "x"), b);
  list->InsertBeforeLink(Item('z', "z"), list->_head);  // the sentinel: the end
  list->InsertAfterLink(Item('y', "y"), list->_head);   // and the front
  EXPECT_EQ(Labels(list), "yaxbcz");
  ExpectRing(list);
}

TEST_F(ListTest, RemoveTakesTheFirstEqualElement) {
  auto list = NewList();
  list->AddLast(Item(1, "a"));
  list->AddLast(Item(2, "b"));
  list->AddLast(Item(1, "c"));
  EXPECT_TRUE(list->Contains(Item(1)));
  EXPECT_EQ(ItemOf(list->FindLink(Item(1))->Value()).label, "a");
  EXPECT_TRUE(list->Remove(Item(1)));
  EXPECT_EQ(Labels(list), "bc");
  EXPECT_FALSE(list->Remove(Item(5)));
  EXPECT_FALSE(list->Contains(Item(5)));
  EXPECT_EQ(Labels(list), "bc");
}

TEST_F(ListTest, NullElementsEqualOnlyNull) {
  auto list = NewList();
  list->AddLast(Item(1, "a"));
  list->AddLast(nullptr);
  list->AddLast(Item(2, "b"));
  // Searching for Null finds the Null element without calling Compare on anything; searching
  // for an item passes over the Null element.
  auto link = list->FindLink(nullptr);
  ASSERT_TRUE(link);
  EXPECT_EQ(link, list->FirstLink()->NextLink());
  EXPECT_TRUE(list->Contains(Item(2)));
  EXPECT_TRUE(list->Remove(nullptr));
  EXPECT_FALSE(list->Contains(nullptr));
  EXPECT_FALSE(list->Remove(nullptr));
  EXPECT_EQ(Labels(list), "ab");
}

TEST_F(ListTest, RemovingALinkTwiceLeavesTheListIntact) {
  auto list = ListOf("abc");
  auto b = list->FirstLink()->NextLink();
  b->Remove();
  EXPECT_TRUE(b->Value().IsNull());
  list->InsertAfterLink(Item('x', "x"), list->FirstLink());
  b->Remove();  // its old neighbours have a new element between them now
  UnlinkLink(b);
  EXPECT_EQ(Labels(list), "axc");
  ExpectRing(list);
  // A removed link is no place to insert.
  EXPECT_THROW_TEXT_AS(TRuntimeException, list->InsertBeforeLink(Item('y', "y"), b),
                       "Link is not in a list");
  EXPECT_EQ(Labels(list), "axc");
  ExpectRing(list);
}

TEST_F(ListTest, EnumerationToleratesRemoval) {
  auto list = ListOf("abcdef");
  std::string seen;
  for (Ref<Object> v : list) {
    seen += ItemOf(v).label;
    if (ItemOf(v).label != "c") list->Remove(v);  // the element just returned
  }
  EXPECT_EQ(seen, "abcdef");
  EXPECT_EQ(Labels(list), "c");

  // Links removed ahead of the enumerator are skipped, Null values are still returned.
  auto ahead = ListOf("abcde");
  ahead->InsertAfterLink(nullptr, ahead->FirstLink());
  auto e = ahead->ObjectEnumerator();
  std::string got;
  while (e->HasNext()) {
    Ref<Object> v = e->NextObject();
    got += v ? ItemOf(v).label : "~";
    if (v && ItemOf(v).label == "b") {
      ahead->FindLink(Item('c'))->Remove();
      ahead->FindLink(Item('d'))->Remove();
    }
  }
  EXPECT_EQ(got, "a~be");
  EXPECT_TRUE(e->NextObject().IsNull());  // past the end: Null, not the sentinel

  // The list going away under an enumerator ends the enumeration.
  auto doomed = ListOf("xyz");
  auto held = doomed->ObjectEnumerator();
  held->NextObject();
  doomed = nullptr;
  EXPECT_FALSE(held->HasNext());
}

TEST_F(ListTest, ReverseSwapCopyAndArrays) {
  auto list = ListOf("abc");
  auto first = list->FirstLink();
  list->Reverse();
  EXPECT_EQ(Labels(list), "cba");
  EXPECT_EQ(list->LastLink(), first);
  ExpectRing(list);
  list->Reverse();
  EXPECT_EQ(Labels(list), "abc");
  auto empty = NewList();
  empty->Reverse();
  EXPECT_TRUE(empty->IsEmpty());

  EXPECT_EQ(Labels(list->Reversed()), "cba");
  EXPECT_EQ(Labels(list), "abc");
  auto copy = list->Copy();
  EXPECT_EQ(copy->First(), list->First());  // values are shared
  copy->AddLast(Item('d', "d"));
  EXPECT_EQ(Labels(list), "abc");

  ExchangeLists(list, empty);
  EXPECT_TRUE(list->IsEmpty());
  EXPECT_EQ(Labels(empty), "abc");
  ExpectRing(list);
  ExpectRing(empty);

  auto array = empty->ToArray();
  ASSERT_EQ(array.Length(), 3);
  EXPECT_EQ(ItemOf(array[2]).label, "c");
  EXPECT_EQ(Labels(TList::FromArray(array)), "abc");
  EXPECT_EQ(Labels(ArrayToList(ListAsArray(empty))), "abc");
}

TEST_F(ListTest, SortIsStableBothWays) {
  auto list = NewList();
  list->AddLast(Item(3, "3"));
  list->AddLast(Item(1, "1"));
  list->AddLast(Item(2, "2"));
  list->AddLast(Item(1, "1'"));
  list->Sort(1, DefaultCompare);
  EXPECT_EQ(Labels(list), "11'23");
  list->Sort(0, DefaultCompare);
  EXPECT_EQ(Labels(list), "3211'");
  ExpectRing(list);
}

// The bubble sort the list's order is defined by: neighbours are exchanged only when they are
// out of order, passes shrink from the end, it stops after a pass without exchanges.
void BubbleSort(std::vector<Ref<Object>>& v, int32_t ascending) {
  size_t tail = v.size();
  bool sorted = false;
  while (!sorted && tail > 1) {
    sorted = true;
    size_t i = 0;
    for (; i + 1 < tail; ++i) {
      int32_t c = v[i]->Compare(v[i + 1].Get());
      if ((c > 0 && ascending) || (c < 0 && !ascending)) {
        std::swap(v[i], v[i + 1]);
        sorted = false;
      }
    }
    tail = i;
  }
}

TEST_F(ListTest, SortMatchesTheBubbleSortOnRandomInputs) {
  std::mt19937 rng(7);
  for (int round = 0; round < 200; ++round) {
    int n = static_cast<int>(rng() % 60);
    int keys = 1 + static_cast<int>(rng() % 12);  // few keys: many duplicates
    auto list = NewList();
    std::vector<Ref<Object>> reference;
    std::vector<Ref<TLink>> links;
    for (int i = 0; i < n; ++i) {
      auto item = Item(static_cast<int32_t>(rng() % keys), std::to_string(i) + ",");
      links.push_back(list->AddLast(item));
      reference.push_back(item);
    }
    int32_t ascending = static_cast<int32_t>(round % 2);
    list->Sort(ascending, DefaultCompare);
    BubbleSort(reference, ascending);
    ASSERT_EQ(list->Count(), n);
    int i = 0;
    for (Ref<Object> v : list)
      EXPECT_EQ(v, reference[i++]) << "round " << round;
    for (int k = 0; k < n; ++k) {
      EXPECT_TRUE(links[k]->_InList());  // links moved with their values
    }
    ExpectRing(list);
  }
}

TEST_F(ListTest, SortingASortedListCostsOneComparisonPerNeighbourPair) {
  auto list = NewList();
  for (int i = 0; i < 1000; ++i)
    list->AddLast(Item(i / 3));
  g_comparisons = 0;
  list->Sort(1, CountingCompare);
  EXPECT_EQ(g_comparisons, 999);
  // A reversed list of distinct keys sorts in O(n log n) comparisons.
  auto reversed = NewList();
  for (int i = 0; i < 1024; ++i)
    reversed->AddFirst(Item(i));
  g_comparisons = 0;
  reversed->Sort(1, CountingCompare);
  EXPECT_LE(g_comparisons, 1023 + 1024 * 10);
  EXPECT_EQ(ItemOf(reversed->First()).key, 0);
  EXPECT_EQ(ItemOf(reversed->Last()).key, 1023);
}

int32_t ThrowingCompare(const Ref<Object>& a, const Ref<Object>& b) {
  if (++g_comparisons == 20) RaiseRuntimeError("compare failed");
  return a->Compare(b.Get());
}

TEST_F(ListTest, SortLeavesTheListAloneWhenTheComparisonThrows) {
  auto list = NewList();
  for (int i = 0; i < 50; ++i)
    list->AddLast(Item((i * 17) % 50, std::to_string(i) + ","));
  std::string before = Labels(list);
  g_comparisons = 0;
  EXPECT_THROW(OrderList(list, 1, ThrowingCompare), Thrown);
  EXPECT_EQ(Labels(list), before);
  ExpectRing(list);
  EXPECT_THROW(list->Sort(1, ListCompareFunc()), Thrown);  // no comparison at all
}

// A comparison that changes the list under sort once, at the fifth call.
std::function<void()> g_change;
int32_t ChangingCompare(const Ref<Object>& a, const Ref<Object>& b) {
  if (++g_comparisons == 5) g_change();
  return a->Compare(b.Get());  // a and b stay alive even when the list let go of them
}

TEST_F(ListTest, SortRefusesAComparisonThatChangesTheList) {
  // Each change is made once, at the fifth comparison, to a list of unsorted distinct elements.
  struct Case {
    const char* name;
    std::function<void(const Ref<TList>&)> change;
    const char* after;  // the list as the change left it
  };
  auto other = ListOf("xy");
  const Case cases[] = {
      {"clear", [](const Ref<TList>& l) { l->Clear(); }, ""},
      {"remove", [](const Ref<TList>& l) { l->RemoveFirst(); }, "bdcfe"},
      {"add", [](const Ref<TList>& l) { l->AddLast(Item('z', "z")); }, "abdcfez"},
      {"swap", [&](const Ref<TList>& l) { l->Swap(other); }, "xy"},
      {"reverse", [](const Ref<TList>& l) { l->Reverse(); }, "efcdba"},
      {"replace", [](const Ref<TList>& l) { l->FirstLink()->_value = Item('q', "q"); }, "qbdcfe"},
  };
  for (const Case& c : cases) {
    auto list = ListOf("abdcfe");
    g_comparisons = 0;
    g_change = [&] { c.change(list); };
    EXPECT_THROW_TEXT_AS(TRuntimeException, list->Sort(1, ChangingCompare),
                         "List modified during sort")
        << c.name;
    EXPECT_EQ(Labels(list), c.after) << c.name;
    ExpectRing(list);
  }
}

// An element whose Compare runs g_change once: user code that changes the list it is in.
class TMeddlingItem : public TItem {
 public:
  VXL_CLASS(TMeddlingItem, TItem)
  using TItem::TItem;
  int Compare(const Object* other) const override {
    if (auto change = std::exchange(g_change, nullptr)) change();
    return TItem::Compare(other);
  }
};
VXL_DEFINE_CLASS(TMeddlingItem)

TEST_F(ListTest, SearchingSurvivesAnElementCompareThatChangesTheList) {
  // The search compares the elements with the value; the second element meddles.
  struct Case {
    const char* name;
    std::function<void(const Ref<TList>&)> change;
    bool found;  // whether 'c' is still found and removed
    const char* after;
  };
  const Case cases[] = {
      {"clear", [](const Ref<TList>& l) { l->Clear(); }, false, ""},
      {"remove itself", [](const Ref<TList>& l) { l->FirstLink()->NextLink()->Remove(); }, true,
       "ad"},
      {"remove the rest",
       [](const Ref<TList>& l) {
         while (l->Count() > 1)
           l->RemoveLast();
       },
       false, "a"},
      {"add", [](const Ref<TList>& l) { l->AddLast(Item('z', "z")); }, true, "abdz"},
  };
  for (const Case& c : cases) {
    auto list = NewList();
    list->AddLast(Item('a', "a"));
    list->AddLast(New<TMeddlingItem>('b', "b"));
    list->AddLast(Item('c', "c"));
    list->AddLast(Item('d', "d"));
    g_change = [&] { c.change(list); };
    EXPECT_EQ(list->Remove(Item('c')), c.found) << c.name;
    EXPECT_EQ(Labels(list), c.after) << c.name;
    ExpectRing(list);
  }
  g_change = nullptr;
}

// An element that, once, adds an element to a list as it is released.
class TAddingItem : public TItem {
 public:
  VXL_CLASS(TAddingItem, TItem)
  using TItem::TItem;
  ~TAddingItem() override {
    if (target) target->AddLast(Item('z', "z"));
  }
  TList* target = nullptr;
};
VXL_DEFINE_CLASS(TAddingItem)

TEST_F(ListTest, ClearLeavesLinksAsRemovingFromTheFrontDoes) {
  // The oracle: the same list emptied with RemoveFirst. Every link held from outside must end
  // with the same value, neighbours and ring state, and enumerators standing anywhere must end.
  for (const std::string labels : {"a", "ab", "abcde"}) {
    auto cleared = ListOf(labels), removed = ListOf(labels);
    auto held = [](const Ref<TList>& list) {
      std::vector<Ref<TLink>> links;
      for (Ref<TLink> l = list->FirstLink(); l; l = l->NextLink())
        links.push_back(l);
      return links;
    };
    std::vector<Ref<TLink>> a = held(cleared), b = held(removed);
    std::vector<Ref<TListEnum>> walkers;
    for (size_t i = 0; i < a.size(); ++i) {
      walkers.push_back(cleared->ObjectEnumerator());
      for (size_t k = 0; k < i; ++k)
        walkers.back()->NextObject();
    }
    cleared->Clear();
    while (!removed->IsEmpty())
      removed->RemoveFirst();
    // Where a link points, as an index among the held links (-1 the sentinel, -2 Null).
    auto where = [](const std::vector<Ref<TLink>>& links, const Ref<TList>& list, TLink* to) {
      if (!to) return -2;
      if (to == list->_head.Get()) return -1;
      for (size_t i = 0; i < links.size(); ++i)
        if (links[i].Get() == to) return int(i);
      return -3;
    };
    for (size_t i = 0; i < a.size(); ++i) {
      EXPECT_TRUE(a[i]->Value().IsNull()) << labels << " " << i;
      EXPECT_FALSE(a[i]->_InList()) << labels << " " << i;
      EXPECT_EQ(where(a, cleared, a[i]->_succ.Get()), where(b, removed, b[i]->_succ.Get()))
          << labels << " " << i;
      EXPECT_EQ(where(a, cleared, a[i]->_pred.Get()), where(b, removed, b[i]->_pred.Get()))
          << labels << " " << i;
      EXPECT_FALSE(walkers[i]->HasNext()) << labels << " " << i;
    }
    EXPECT_TRUE(cleared->IsEmpty());
    ExpectRing(cleared);
  }

  // What releasing a value adds is cleared as well, and every value is let go of.
  auto list = NewList();
  Ref<Object> kept = Item('k', "k");
  auto adding = New<TAddingItem>('x', "x");
  adding->target = list.Get();
  list->AddLast(kept);
  list->AddLast(adding);
  list->AddLast(kept);
  adding = nullptr;
  list->Clear();
  EXPECT_TRUE(list->IsEmpty());
  ExpectRing(list);
  EXPECT_EQ(kept->RefCount(), 1);
}

TEST_F(ListTest, ReleasingAListReleasesItsLinksAndValues) {
  Ref<Object> value = Item(1);
  Ref<TLink> kept;
  {
    auto list = NewList();
    for (int i = 0; i < 100000; ++i)
      list->AddLast(value);
    kept = list->FirstLink();
    EXPECT_EQ(value->RefCount(), 100001);
  }
  EXPECT_EQ(value->RefCount(), 1);
  EXPECT_TRUE(kept->Value().IsNull());
  EXPECT_FALSE(kept->_InList());
}

TEST_F(ListTest, DataTypeWritesCountThenValues) {
  auto list = NewList();
  list->AddLast(nullptr);
  list->AddLast(NewList());
  auto out = test::TMemoryStream::Of("");
  auto data = TDataStream::WithStream(out);
  list->DataType()->WriteObject(list, data);
  EXPECT_EQ(out->bytes, std::string("\x02\0\0\0\0\x01VXL.LinkedList.TList\r\n\0\0\0\0", 32));
  out->Seek(0);
  auto back = list->DataType()->ReadObject(TDataStream::WithStream(out)).As<TList>();
  ASSERT_TRUE(back);
  EXPECT_EQ(back->Count(), 2);
  EXPECT_TRUE(back->First().IsNull());
  EXPECT_TRUE(back->Last().As<TList>());
}

TEST_F(ListTest, ModuleFunctionsForward) {
  auto list = NewList();
  auto a = Item(1, "a");
  AppendToList(list, a);
  PrependToList(list, Item(2, "b"));
  EXPECT_EQ(SizeOfList(list), 2);
  EXPECT_FALSE(IsListEmpty(list));
  EXPECT_TRUE(IsInList(list, Item(1)));
  EXPECT_EQ(LinkOfValue(list, Item(1))->Value(), a);
  OrderList(list, 1, DefaultCompare);
  EXPECT_EQ(Labels(list), "ab");
  InvertList(list);
  EXPECT_EQ(Labels(list), "ba");
  EXPECT_TRUE(DropFromList(list, Item(2)));
  WipeList(list);
  EXPECT_TRUE(IsListEmpty(list));
}

}  // namespace
}  // namespace vxl
