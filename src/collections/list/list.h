// The linked list: a circular doubly linked list of object references with one sentinel link.
//
//   Ref<TList> players = NewList();
//   Ref<TLink> link = players->AddLast(player);     // keep the link to remove in constant time
//   for (Ref<Object> p : players) {                 // removing p inside the loop is fine
//     if (Gone(p)) players->Remove(p);
//   }
//   players->Sort(1, DefaultCompare);               // stable; links stay with their values
//   link->Remove();
//
// The sentinel's value is the sentinel itself: that is the end marker. Elements may be Null and
// may repeat; equality is the element's own Compare. A list is a TData, so it can be written to a
// data stream (count, then each value as an object).
#pragma once

#include "data/data.h"

namespace vxl {

class TList;

class TLink : public Object {
 public:
  VXL_CLASS(TLink, Object)
  Ref<Object> _value;
  Ref<TLink> _succ;
  Ref<TLink> _pred;

  const Ref<Object>& Value() const { return _value; }
  // The neighbouring element links; Null at either end of the list.
  Ref<TLink> NextLink() const;
  Ref<TLink> PrevLink() const;
  // Takes the link out of its list and clears its value. The link keeps its own neighbours so an
  // enumerator standing on it can step off; removing it again does nothing.
  void Remove();
  // The value as reflection writes it: a list's end marker keeps its mark, and no link takes
  // itself as its value (that would make it an end marker); both throw the string "ERROR".
  void _SetValue(const Ref<Object>& value);

  // True while the link is in a ring (the sentinel included).
  bool _InList() const { return _succ && _succ->_pred.Get() == this; }
  bool _IsSentinel() const { return _value.Get() == this; }

  // Links come from a small per-thread pool of freed ones: a list emptied and filled again (the
  // changes of each frame) reuses the same blocks, still in the cache.
  static void* operator new(size_t size);
  static void operator delete(void* block, size_t size) noexcept;

  static void Bind(ClassBinder<TLink>& b);
};

// Enumerates a list's values; skips links removed before it reached them.
class TListEnum : public Object {
 public:
  VXL_CLASS(TListEnum, Object)
  // The link whose value the next NextObject returns.
  Ref<TLink> _link;

  bool HasNext();
  // The next value, or Null when there is none.
  Ref<Object> NextObject();

  static void Bind(ClassBinder<TListEnum>& b);

 private:
  void _SkipRemoved();
};

// The comparison Sort takes: negative, zero or positive for less, equal, greater.
// An unassigned one throws TNullFunctionException when Sort calls it.
using ListCompareFunc = Function<int32_t(const Ref<Object>& a, const Ref<Object>& b)>;

// a.Compare(b): the elements' own order.
int32_t DefaultCompare(const Ref<Object>& a, const Ref<Object>& b);

class TList : public TData {
 public:
  VXL_CLASS(TList, TData)
  TList();
  ~TList() override;

  // The sentinel link.
  Ref<TLink> _head;

  Ref<TDataType> DataType() const override;
  void Clear();
  bool IsEmpty() const { return _head->_succ.Get() == _head.Get(); }
  // True when some element's Compare(value) is 0 (a Null element matches only a Null value).
  bool Contains(const Ref<Object>& value) const { return !FindLink(value).IsNull(); }
  Ref<TLink> AddFirst(const Ref<Object>& value) { return InsertAfterLink(value, _head); }
  Ref<TLink> AddLast(const Ref<Object>& value) { return InsertBeforeLink(value, _head); }
  // The first and last values; Null for an empty list.
  Ref<Object> First() const;
  Ref<Object> Last() const;
  // Remove and return the first or last value; Null (and no change) for an empty list.
  Ref<Object> RemoveFirst();
  Ref<Object> RemoveLast();
  // The first and last element links; Null for an empty list.
  Ref<TLink> FirstLink() const;
  Ref<TLink> LastLink() const;
  // Insert next to a link of a list (the sentinel stands for the ends). A link that has been
  // removed is no place to insert: that raises a runtime error.
  Ref<TLink> InsertBeforeLink(const Ref<Object>& value, const Ref<TLink>& succ);
  Ref<TLink> InsertAfterLink(const Ref<Object>& value, const Ref<TLink>& pred);
  // The first link whose element compares equal to value, or Null.
  Ref<TLink> FindLink(const Ref<Object>& value) const;
  // Zero-based; "List index out of range" outside 0..Count()-1.
  Ref<Object> ValueAtIndex(int32_t index) const;
  int32_t Count() const;
  // Removes the first element equal to value; false when there is none.
  bool Remove(const Ref<Object>& value);
  // Exchanges the contents of the two lists in constant time.
  void Swap(const Ref<TList>& list);
  // A new list with the same values (shared, not copied).
  Ref<TList> Copy() const;
  void Reverse();
  Ref<TList> Reversed() const;
  // Stable sort in place, ascending when `ascending` is non-zero. Links move with their values.
  // An already sorted list costs Count()-1 comparisons; the list is unchanged if compareFunc
  // throws.
  void Sort(int32_t ascending = 1, ListCompareFunc compareFunc = DefaultCompare);
  Ref<TListEnum> ObjectEnumerator() const;
  Array<Ref<Object>> ToArray() const;
  static Ref<TList> FromArray(const Array<Ref<Object>>& array);

  static void Bind(ClassBinder<TList>& b);
};

class TListDataType : public TDataType {
 public:
  VXL_CLASS(TListDataType, TDataType)
  // "VXL.LinkedList.TList".
  String Tag() const override;
  Ref<Object> ReadObject(const Ref<TStream>& stream) override;
  void WriteObject(const Ref<Object>& object, const Ref<TStream>& stream) override;
};

// Module functions.
Ref<TList> NewList();
void WipeList(const Ref<TList>& list);
int32_t SizeOfList(const Ref<TList>& list);
bool IsListEmpty(const Ref<TList>& list);
bool IsInList(const Ref<TList>& list, const Ref<Object>& value);
void OrderList(const Ref<TList>& list, int32_t ascending, ListCompareFunc compareFunc);
Ref<TList> ArrayToList(const Array<Ref<Object>>& array);
Array<Ref<Object>> ListAsArray(const Ref<TList>& list);
void ExchangeLists(const Ref<TList>& list1, const Ref<TList>& list2);
void InvertList(const Ref<TList>& list);
Ref<TLink> LinkOfValue(const Ref<TList>& list, const Ref<Object>& value);
Ref<TLink> AppendToList(const Ref<TList>& list, const Ref<Object>& value);
Ref<TLink> PrependToList(const Ref<TList>& list, const Ref<Object>& value);
bool DropFromList(const Ref<TList>& list, const Ref<Object>& value);
void UnlinkLink(const Ref<TLink>& link);

// Registers the list classes and creates the list data type.
int InitListModule();

}  // namespace vxl
