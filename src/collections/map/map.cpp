#include "collections/map/map.h"

#include "runtime/class_binder.h"

namespace vxl {

VXL_DEFINE_CLASS(TKeyValue)
VXL_DEFINE_CLASS(TNode)
VXL_DEFINE_CLASS(TNodeEnumerator)
VXL_DEFINE_CLASS(TKeyEnumerator)
VXL_DEFINE_CLASS(TValueEnumerator)
VXL_DEFINE_CLASS(TMapEnumerator)
VXL_DEFINE_CLASS(TMap)

namespace {

// The nil node refers to itself three times, so it lives for the whole process.
TNode* g_nil = nullptr;

// A node's parent; a node cut loose by Clear has none, and stepping past it is a Null access.
TNode* ParentOf(const TNode* node) {
  TNode* parent = node->_parent.Get();
  if (!parent) ThrowNullObject();
  return parent;
}

}  // namespace

void TKeyValue::Bind(ClassBinder<TKeyValue>& b) {
  b.ReadOnlyField<&TKeyValue::_key>("_key");
  b.Field<&TKeyValue::_value>("_value");
}

TNode* TNode::Nil() {
  if (!g_nil) {
    Ref<TNode> nil = Ref<TNode>::Adopt(new TNode(NilTag{}));
    nil->_color = TMap::BLACK;
    nil->_parent = nil;
    nil->_left = nil;
    nil->_right = nil;
    g_nil = nil.Get();
  }
  return g_nil;
}

TNode::TNode() {
  TNode* nil = Nil();
  _parent = nil;
  _left = nil;
  _right = nil;
}

Ref<TNode> TNode::NextNode() const {
  TNode* nil = Nil();
  const TNode* node = this;
  if (node->_right.Get() != nil) {
    TNode* n = node->_right.Get();
    while (n->_left.Get() != nil)
      n = n->_left.Get();
    return Ref<TNode>(n);
  }
  TNode* parent = ParentOf(node);
  while (parent != nil && node == parent->_right.Get()) {
    node = parent;
    parent = ParentOf(parent);
  }
  return Ref<TNode>(parent);
}

Ref<TNode> TNode::PrevNode() const {
  TNode* nil = Nil();
  const TNode* node = this;
  if (node->_left.Get() != nil) {
    TNode* n = node->_left.Get();
    while (n->_right.Get() != nil)
      n = n->_right.Get();
    return Ref<TNode>(n);
  }
  TNode* parent = ParentOf(node);
  while (parent != nil && node == parent->_left.Get()) {
    node = parent;
    parent = ParentOf(parent);
  }
  return Ref<TNode>(parent);
}

void TNode::Clear() {
  TNode* nil = Nil();
  _parent = nullptr;
  if (_left.Get() != nil) _left->Clear();
  if (_right.Get() != nil) _right->Clear();
}

Ref<TNode> TNode::Copy(const Ref<TNode>& parent) const {
  TNode* nil = Nil();
  Ref<TNode> node = New<TNode>();
  node->_key = _key;
  node->_value = _value;
  node->_color = _color;
  node->_parent = parent;
  if (_left.Get() != nil) node->_left = _left->Copy(node);
  if (_right.Get() != nil) node->_right = _right->Copy(node);
  return node;
}

void TNode::Bind(ClassBinder<TNode>& b) {
  b.ReadOnlyField<&TNode::_color>("_color");
  b.ReadOnlyField<&TNode::_parent>("_parent");
  b.ReadOnlyField<&TNode::_left>("_left");
  b.ReadOnlyField<&TNode::_right>("_right");
  b.Method<&TNode::NextNode>("NextNode");
  b.Method<&TNode::PrevNode>("PrevNode");
  b.Method<&TNode::Clear>("Clear");
  b.Method<&TNode::Copy>("Copy");
}

// The node taken, or Null past the end (the shared nil node is never handed out).
Ref<TNode> TNodeEnumerator::_Advance() {
  if (_node->IsNil()) return Ref<TNode>();
  Ref<TNode> node = _node;
  _node = node->NextNode();
  return node;
}

Ref<Object> TNodeEnumerator::NextObject() {
  return _Advance();
}

Ref<Object> TKeyEnumerator::NextObject() {
  Ref<TNode> node = _Advance();
  return node ? node->_key : Ref<Object>();
}

Ref<Object> TValueEnumerator::NextObject() {
  Ref<TNode> node = _Advance();
  return node ? node->_value : Ref<Object>();
}

void TNodeEnumerator::Bind(ClassBinder<TNodeEnumerator>& b) {
  b.ReadOnlyField<&TNodeEnumerator::_node>("_node");
  b.Method<&TNodeEnumerator::NextObject>("NextObject");
}

void TMapEnumerator::Bind(ClassBinder<TMapEnumerator>& b) {
  b.ReadOnlyField<&TMapEnumerator::_enumerator>("_enumerator");
}

TMap::TMap() : _root(TNode::Nil()) {}

TMap::~TMap() {
  Clear();
  _root = nullptr;
}

void TMap::Clear() {
  ++edits_;
  TNode* nil = TNode::Nil();
  if (_root.Get() != nil) {
    _root->Clear();
    _root = nil;
  }
}

void TMap::Insert(const Ref<Object>& key, const Ref<Object>& value) {
  // Keys are compared as receivers, so a Null key could never be found again: refuse it here,
  // before any key's Compare is handed a Null argument.
  if (!key) ThrowNullObject();
  TNode* nil = TNode::Nil();
  TNode* node = _root.Get();
  TNode* parent = nil;
  int c = 0;
  while (node != nil) {
    c = _CompareWithNode(key.Get(), node);
    parent = node;
    if (c == 0) {
      node->_value = value;
      return;
    }
    node = c > 0 ? node->_right.Get() : node->_left.Get();
  }
  ++edits_;
  Ref<TNode> fresh = New<TNode>();
  fresh->_key = key;
  fresh->_value = value;
  fresh->_color = RED;
  fresh->_parent = parent;
  if (parent == nil) {
    _root = std::move(fresh);
    return;
  }
  TNode* added = fresh.Get();
  if (c > 0) {
    parent->_right = std::move(fresh);
  } else {
    parent->_left = std::move(fresh);
  }
  _InsertFixup(added);
}

Ref<Object> TMap::ValueForKey(const Ref<Object>& key) const {
  TNode* node = _FindNode(key);
  return node->IsNil() ? Ref<Object>() : node->_value;
}

bool TMap::Remove(const Ref<Object>& key) {
  TNode* node = _FindNode(key);
  if (node->IsNil()) return false;
  _RemoveNode(node);
  return true;
}

Ref<TMapEnumerator> TMap::Keys() const {
  auto e = New<TKeyEnumerator>();
  e->_node = _FirstNode();
  auto m = New<TMapEnumerator>();
  m->_enumerator = std::move(e);
  return m;
}

Ref<TMapEnumerator> TMap::Values() const {
  auto e = New<TValueEnumerator>();
  e->_node = _FirstNode();
  auto m = New<TMapEnumerator>();
  m->_enumerator = std::move(e);
  return m;
}

Ref<TMap> TMap::Copy() const {
  auto copy = New<TMap>();
  if (!_root->IsNil()) copy->_root = _root->Copy(Ref<TNode>(TNode::Nil()));
  return copy;
}

Ref<TNodeEnumerator> TMap::ObjectEnumerator() const {
  auto e = New<TNodeEnumerator>();
  e->_node = _FirstNode();
  return e;
}

Ref<TNode> TMap::_FirstNode() const {
  TNode* nil = TNode::Nil();
  TNode* node = _root.Get();
  if (node != nil) {
    while (node->_left.Get() != nil)
      node = node->_left.Get();
  }
  return Ref<TNode>(node);
}

Ref<TNode> TMap::_LastNode() const {
  TNode* nil = TNode::Nil();
  TNode* node = _root.Get();
  if (node != nil) {
    while (node->_right.Get() != nil)
      node = node->_right.Get();
  }
  return Ref<TNode>(node);
}

int TMap::_CompareWithNode(const Object* key, TNode* node) const {
  const uint32_t edits = edits_;
  Ref<TNode> hold(node);  // whatever the comparison does, the node and its key outlive it
  int c = key->Compare(node->_key.Get());
  if (edits_ != edits) RaiseRuntimeError("Map modified during key comparison");
  return c;
}

TNode* TMap::_FindNode(const Ref<Object>& key) const {
  TNode* nil = TNode::Nil();
  TNode* node = _root.Get();
  if (node == nil) return nil;
  const Object* k = key.operator->();
  while (node != nil) {
    int c = _CompareWithNode(k, node);
    if (c == 0) return node;
    node = c < 0 ? node->_left.Get() : node->_right.Get();
  }
  return nil;
}

// Rotations keep every node alive through the link that is written first, so no node is
// released half-way, and they never write the nil node's own links.
void TMap::_RotateLeft(TNode* x) {
  TNode* nil = TNode::Nil();
  TNode* parent = ParentOf(x);
  Ref<TNode> y = x->_right;
  x->_right = y->_left;
  if (x->_right.Get() != nil) x->_right->_parent = x;
  y->_parent = parent;
  y->_left = x;
  if (parent == nil) {
    _root = y;
  } else if (x == parent->_left.Get()) {
    parent->_left = y;
  } else {
    parent->_right = y;
  }
  x->_parent = std::move(y);
}

void TMap::_RotateRight(TNode* x) {
  TNode* nil = TNode::Nil();
  TNode* parent = ParentOf(x);
  Ref<TNode> y = x->_left;
  x->_left = y->_right;
  if (x->_left.Get() != nil) x->_left->_parent = x;
  y->_parent = parent;
  y->_right = x;
  if (parent == nil) {
    _root = y;
  } else if (x == parent->_right.Get()) {
    parent->_right = y;
  } else {
    parent->_left = y;
  }
  x->_parent = std::move(y);
}

void TMap::_InsertFixup(TNode* node) {
  TNode* nil = TNode::Nil();
  while (ParentOf(node)->_color == RED && ParentOf(ParentOf(node)) != nil) {
    TNode* parent = ParentOf(node);
    TNode* grand = ParentOf(parent);
    if (parent == grand->_left.Get()) {
      TNode* uncle = grand->_right.Get();
      if (uncle->_color == RED) {
        parent->_color = BLACK;
        uncle->_color = BLACK;
        grand->_color = RED;
        node = grand;
      } else {
        if (node == parent->_right.Get()) {
          node = parent;
          _RotateLeft(node);
        }
        node->_parent->_color = BLACK;
        node->_parent->_parent->_color = RED;
        _RotateRight(node->_parent->_parent.Get());
      }
    } else {
      TNode* uncle = grand->_left.Get();
      if (uncle->_color == RED) {
        parent->_color = BLACK;
        uncle->_color = BLACK;
        grand->_color = RED;
        node = grand;
      } else {
        if (node == parent->_left.Get()) {
          node = parent;
          _RotateRight(node);
        }
        node->_parent->_color = BLACK;
        node->_parent->_parent->_color = RED;
        _RotateLeft(node->_parent->_parent.Get());
      }
    }
  }
  _root->_color = BLACK;
}

void TMap::_RemoveNode(TNode* target) {
  ++edits_;
  TNode* nil = TNode::Nil();
  Ref<TNode> node(target);  // the node that leaves the tree, kept alive until the end
  Ref<TNode> child;
  if (node->_left.Get() == nil) {
    child = node->_right;
  } else if (node->_right.Get() == nil) {
    child = node->_left;
  } else {
    // Two children: the in-order predecessor's pair moves here and the predecessor leaves.
    TNode* pred = node->_left.Get();
    while (pred->_right.Get() != nil)
      pred = pred->_right.Get();
    node->_key = pred->_key;
    node->_value = pred->_value;
    node = pred;
    child = node->_left;
  }
  TNode* parent = ParentOf(node.Get());
  if (child.Get() != nil) child->_parent = parent;
  if (parent == nil) {
    _root = child;
    return;
  }
  if (node.Get() == parent->_left.Get()) {
    parent->_left = child;
  } else {
    parent->_right = child;
  }
  if (node->_color == BLACK) _DeleteFixup(child.Get(), parent);
}

void TMap::_DeleteFixup(TNode* node, TNode* parent) {
  while (node != _root.Get() && node->_color == BLACK) {
    if (node == parent->_left.Get()) {
      TNode* sibling = parent->_right.Get();
      if (sibling->_color == RED) {
        sibling->_color = BLACK;
        parent->_color = RED;
        _RotateLeft(parent);
        sibling = parent->_right.Get();
      }
      if (sibling->_left->_color == BLACK && sibling->_right->_color == BLACK) {
        sibling->_color = RED;
        node = parent;
        parent = ParentOf(parent);
      } else {
        if (sibling->_right->_color == BLACK) {
          sibling->_left->_color = BLACK;
          sibling->_color = RED;
          _RotateRight(sibling);
          sibling = parent->_right.Get();
        }
        sibling->_color = parent->_color;
        parent->_color = BLACK;
        sibling->_right->_color = BLACK;
        _RotateLeft(parent);
        node = _root.Get();
      }
    } else {
      TNode* sibling = parent->_left.Get();
      if (sibling->_color == RED) {
        sibling->_color = BLACK;
        parent->_color = RED;
        _RotateRight(parent);
        sibling = parent->_left.Get();
      }
      if (sibling->_right->_color == BLACK && sibling->_left->_color == BLACK) {
        sibling->_color = RED;
        node = parent;
        parent = ParentOf(parent);
      } else {
        if (sibling->_left->_color == BLACK) {
          sibling->_right->_color = BLACK;
          sibling->_color = RED;
          _RotateLeft(sibling);
          sibling = parent->_left.Get();
        }
        sibling->_color = parent->_color;
        parent->_color = BLACK;
        sibling->_left->_color = BLACK;
        _RotateRight(parent);
        node = _root.Get();
      }
    }
  }
  node->_color = BLACK;
}

void TMap::Bind(ClassBinder<TMap>& b) {
  b.ReadOnlyField<&TMap::_root>("_root");
  b.Method<&TMap::Clear>("Clear");
  b.Method<&TMap::Insert>("Insert");
  b.Method<&TMap::ValueForKey>("ValueForKey");
  b.Method<&TMap::Keys>("Keys");
  b.Method<&TMap::Values>("Values");
  b.Method<&TMap::Copy>("Copy");
  b.Method<&TMap::ObjectEnumerator>("ObjectEnumerator");
}

Ref<TMap> NewMap() {
  return New<TMap>();
}
void WipeMap(const Ref<TMap>& map) {
  map->Clear();
}
bool IsMapEmpty(const Ref<TMap>& map) {
  return map->IsEmpty();
}
void PutInMap(const Ref<TMap>& map, const Ref<Object>& key, const Ref<Object>& value) {
  map->Insert(key, value);
}
Ref<Object> LookUpInMap(const Ref<TMap>& map, const Ref<Object>& key) {
  return map->ValueForKey(key);
}
bool IsKeyInMap(const Ref<TMap>& map, const Ref<Object>& key) {
  return map->Contains(key);
}
bool DropFromMap(const Ref<TMap>& map, const Ref<Object>& key) {
  return map->Remove(key);
}
Ref<TMapEnumerator> KeysOfMap(const Ref<TMap>& map) {
  return map->Keys();
}
Ref<TMapEnumerator> ValuesOfMap(const Ref<TMap>& map) {
  return map->Values();
}
Ref<TMap> DuplicateMap(const Ref<TMap>& map) {
  return map->Copy();
}

int InitMapModule() {
  static ModuleGuard guard("ordered map");
  return guard.Run({InitCoreModule}, [] {
    RegisterClass<TKeyValue>();
    RegisterClass<TNode>();
    RegisterClass<TNodeEnumerator>();
    RegisterClass<TKeyEnumerator>();
    RegisterClass<TValueEnumerator>();
    RegisterClass<TMapEnumerator>();
    RegisterClass<TMap>();
    TNode::Nil();
  });
}

}  // namespace vxl
