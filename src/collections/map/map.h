// The ordered map: a red-black tree of key/value pairs ordered by the keys' own Compare.
//
//   Ref<TMap> ages = NewMap();
//   ages->Insert(String("ann"), someValue);       // an equal key only has its value replaced
//   Ref<Object> v = ages->ValueForKey(String("ann"));
//   for (Ref<Object> key : ages->Keys()) { ... }  // ascending key order
//   for (Ref<Object> n : ages) { n.As<TNode>()->Value(); }
//
// Every absent child, the root's parent and the root of an empty map are one shared nil node,
// created by InitMapModule. Keys must order consistently through Compare; Null is not a key.
#pragma once

#include "runtime/runtime.h"

namespace vxl {

class TNode;
class TMapEnumerator;

class TKeyValue : public Object {
 public:
  VXL_CLASS(TKeyValue, Object)
  Ref<Object> _key;
  Ref<Object> _value;

  const Ref<Object>& Key() const { return _key; }
  const Ref<Object>& Value() const { return _value; }

  static void Bind(ClassBinder<TKeyValue>& b);
};

// One pair of a map, with its place in the tree.
class TNode : public TKeyValue {
 public:
  VXL_CLASS(TNode, TKeyValue)
  // A node whose three links are the nil node (once the map module is initialised).
  TNode();

  int32_t _color = 0;
  Ref<TNode> _parent;
  Ref<TNode> _left;
  Ref<TNode> _right;

  // In-order successor and predecessor; the nil node past either end.
  Ref<TNode> NextNode() const;
  Ref<TNode> PrevNode() const;
  // Cuts this subtree's parent links so that reference counting can release it.
  void Clear();
  // A copy of this subtree (keys and values shared) hung under `parent`.
  Ref<TNode> Copy(const Ref<TNode>& parent) const;

  // The shared nil node (created on first use; InitMapModule creates it).
  static TNode* Nil();
  bool IsNil() const { return this == Nil(); }

  static void Bind(ClassBinder<TNode>& b);

 private:
  struct NilTag {};
  explicit TNode(NilTag) {}
};

// Enumerates the nodes of a map in ascending key order.
class TNodeEnumerator : public Object {
 public:
  VXL_CLASS(TNodeEnumerator, Object)
  Ref<TNode> _node;

  bool HasNext() const { return !_node->IsNil(); }
  // The next node (key, value), or Null when there is none.
  virtual Ref<Object> NextObject();

  static void Bind(ClassBinder<TNodeEnumerator>& b);

 protected:
  Ref<TNode> _Advance();
};

class TKeyEnumerator : public TNodeEnumerator {
 public:
  VXL_CLASS(TKeyEnumerator, TNodeEnumerator)
  Ref<Object> NextObject() override;
};

class TValueEnumerator : public TNodeEnumerator {
 public:
  VXL_CLASS(TValueEnumerator, TNodeEnumerator)
  Ref<Object> NextObject() override;
};

// What Keys() and Values() return: something that can itself be enumerated.
class TMapEnumerator : public Object {
 public:
  VXL_CLASS(TMapEnumerator, Object)
  Ref<TNodeEnumerator> _enumerator;

  const Ref<TNodeEnumerator>& ObjectEnumerator() const { return _enumerator; }

  static void Bind(ClassBinder<TMapEnumerator>& b);
};

class TMap : public Object {
 public:
  VXL_CLASS(TMap, Object)
  static constexpr int32_t RED = -1;
  static constexpr int32_t BLACK = 1;

  TMap();
  ~TMap() override;

  Ref<TNode> _root;

  void Clear();
  bool IsEmpty() const { return _root->IsNil(); }
  // Adds the pair; when an equal key is present only its value is replaced.
  void Insert(const Ref<Object>& key, const Ref<Object>& value);
  bool Contains(const Ref<Object>& key) const { return !_FindNode(key)->IsNil(); }
  // The value stored for key, or Null when the key is absent.
  Ref<Object> ValueForKey(const Ref<Object>& key) const;
  // False when the key is absent.
  bool Remove(const Ref<Object>& key);
  Ref<TMapEnumerator> Keys() const;
  Ref<TMapEnumerator> Values() const;
  // A new map with the same pairs; keys and values are shared, not copied.
  Ref<TMap> Copy() const;
  // Enumerates the TNode objects in ascending key order.
  Ref<TNodeEnumerator> ObjectEnumerator() const;

  Ref<TNode> _FirstNode() const;
  Ref<TNode> _LastNode() const;
  // The node whose key compares equal (the searched key is the receiver), or the nil node.
  TNode* _FindNode(const Ref<Object>& key) const;
  void _RemoveNode(TNode* node);
  void _InsertFixup(TNode* node);
  void _RotateLeft(TNode* x);
  void _RotateRight(TNode* x);
  void _DeleteFixup(TNode* node, TNode* parent);

  static void Bind(ClassBinder<TMap>& b);

 private:
  // key.Compare(node's key) while walking the tree. A comparison that adds to, removes from or
  // clears this map raises "Map modified during key comparison" instead of walking on through
  // nodes it may have freed.
  int _CompareWithNode(const Object* key, TNode* node) const;

  // Counts the changes to the tree's shape.
  uint32_t edits_ = 0;
};

// Module functions.
Ref<TMap> NewMap();
void WipeMap(const Ref<TMap>& map);
bool IsMapEmpty(const Ref<TMap>& map);
void PutInMap(const Ref<TMap>& map, const Ref<Object>& key, const Ref<Object>& value);
Ref<Object> LookUpInMap(const Ref<TMap>& map, const Ref<Object>& key);
bool IsKeyInMap(const Ref<TMap>& map, const Ref<Object>& key);
bool DropFromMap(const Ref<TMap>& map, const Ref<Object>& key);
Ref<TMapEnumerator> KeysOfMap(const Ref<TMap>& map);
Ref<TMapEnumerator> ValuesOfMap(const Ref<TMap>& map);
Ref<TMap> DuplicateMap(const Ref<TMap>& map);

// Registers the map classes and creates the nil node.
int InitMapModule();

}  // namespace vxl
