#include "collections/map/map.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <random>
#include <utility>
#include <vector>

#include "support/thrown_text.h"

namespace vxl {
namespace {

int g_keysAlive = 0;

class TIntKey : public Object {
 public:
  VXL_CLASS(TIntKey, Object)
  explicit TIntKey(int32_t v = 0) : value(v) { ++g_keysAlive; }
  ~TIntKey() override { --g_keysAlive; }
  int Compare(const Object* other) const override {
    int32_t o = static_cast<const TIntKey*>(other)->value;
    return value < o ? -1 : (value > o ? 1 : 0);
  }
  int32_t value;
};
VXL_DEFINE_CLASS(TIntKey)

Ref<Object> Key(int32_t v) {
  return New<TIntKey>(v);
}
int32_t IntOf(const Ref<Object>& o) {
  return o.As<TIntKey>()->value;
}

class MapTest : public ::testing::Test {
 protected:
  void SetUp() override { InitMapModule(); }
};

// Checks every red-black invariant of the tree below `map` and returns its number of nodes.
int ValidateTree(const TMap& map) {
  TNode* nil = TNode::Nil();
  EXPECT_EQ(nil->_color, TMap::BLACK);
  EXPECT_EQ(nil->_left.Get(), nil);
  EXPECT_EQ(nil->_right.Get(), nil);
  EXPECT_EQ(nil->_parent.Get(), nil);
  EXPECT_TRUE(nil->_key.IsNull());
  EXPECT_EQ(map._root->_parent.Get(), nil);
  int count = 0;
  // Returns the black height; checks order against the bounds lo < key < hi.
  auto walk = [&](auto&& self, TNode* node, const Object* lo, const Object* hi) -> int {
    if (node == nil) return 1;
    ++count;
    EXPECT_TRUE(node->_color == TMap::RED || node->_color == TMap::BLACK);
    if (lo) {
      EXPECT_LT(lo->Compare(node->_key.Get()), 0);
    }
    if (hi) {
      EXPECT_GT(hi->Compare(node->_key.Get()), 0);
    }
    for (TNode* child : {node->_left.Get(), node->_right.Get()}) {
      if (child != nil) {
        EXPECT_EQ(child->_parent.Get(), node);
        if (node->_color == TMap::RED) {
          EXPECT_EQ(child->_color, TMap::BLACK) << "red-red";
        }
      }
    }
    int left = self(self, node->_left.Get(), lo, node->_key.Get());
    int right = self(self, node->_right.Get(), node->_key.Get(), hi);
    EXPECT_EQ(left, right) << "black heights differ";
    return left + (node->_color == TMap::BLACK ? 1 : 0);
  };
  walk(walk, map._root.Get(), nullptr, nullptr);
  // A red root is only allowed as a single node (first insertion or root replacement).
  if (map._root->_color == TMap::RED) {
    EXPECT_EQ(count, 1);
  }
  return count;
}

std::vector<int32_t> KeysOf(const Ref<TMap>& map) {
  std::vector<int32_t> keys;
  for (Ref<Object> k : map->Keys())
    keys.push_back(IntOf(k));
  return keys;
}

TEST_F(MapTest, EmptyMap) {
  auto map = NewMap();
  EXPECT_TRUE(map->IsEmpty());
  EXPECT_TRUE(map->ValueForKey(Key(1)).IsNull());
  EXPECT_FALSE(map->Remove(Key(1)));
  EXPECT_FALSE(map->Contains(Key(1)));
  int n = 0;
  for (Ref<Object> node : map)
    ++n;
  for (Ref<Object> k : map->Keys())
    ++n;
  for (Ref<Object> v : map->Values())
    ++n;
  EXPECT_EQ(n, 0);
  EXPECT_TRUE(map->_FirstNode()->IsNil());
  EXPECT_TRUE(map->_LastNode()->IsNil());
  EXPECT_TRUE(map->Copy()->IsEmpty());
}

TEST_F(MapTest, OrderedEnumerationOfNodesKeysAndValues) {
  auto map = NewMap();
  for (int32_t k : {5, 3, 8, 1, 4})
    map->Insert(Key(k), String::FromInt(k * 10));
  EXPECT_EQ(KeysOf(map), (std::vector<int32_t>{1, 3, 4, 5, 8}));
  std::vector<std::string> values;
  for (Ref<Object> v : map->Values())
    values.push_back(String::Of(v).ToCString());
  EXPECT_EQ(values, (std::vector<std::string>{"10", "30", "40", "50", "80"}));
  std::vector<int32_t> nodeKeys;
  for (Ref<Object> n : map)
    nodeKeys.push_back(IntOf(n.As<TNode>()->Key()));
  EXPECT_EQ(nodeKeys, (std::vector<int32_t>{1, 3, 4, 5, 8}));
  EXPECT_EQ(IntOf(map->_FirstNode()->_key), 1);
  EXPECT_EQ(IntOf(map->_LastNode()->_key), 8);
  EXPECT_EQ(IntOf(map->_LastNode()->PrevNode()->_key), 5);
  EXPECT_TRUE(map->_FirstNode()->PrevNode()->IsNil());
  ValidateTree(*map);
  // Past the end the enumerators give Null, never the shared nil node.
  auto nodes = map->ObjectEnumerator();
  while (nodes->HasNext())
    nodes->NextObject();
  EXPECT_TRUE(nodes->NextObject().IsNull());
  auto keys = map->Keys()->ObjectEnumerator();
  while (keys->HasNext())
    keys->NextObject();
  EXPECT_TRUE(keys->NextObject().IsNull());
}

TEST_F(MapTest, FirstNodeStaysRedUntilSecondInsert) {
  auto map = NewMap();
  map->Insert(Key(1), nullptr);
  EXPECT_EQ(map->_root->_color, TMap::RED);
  map->Insert(Key(2), nullptr);
  EXPECT_EQ(map->_root->_color, TMap::BLACK);
}

TEST_F(MapTest, InsertingAnEqualKeyReplacesOnlyTheValue) {
  auto map = NewMap();
  Ref<Object> first = Key(7);
  map->Insert(first, String("a"));
  map->Insert(Key(7), String("b"));
  EXPECT_EQ(ValidateTree(*map), 1);
  EXPECT_EQ(map->_root->_key, first);
  EXPECT_EQ(String::Of(map->ValueForKey(Key(7))).ToCString(), "b");
  // A stored Null value reads like an absent key, but Contains tells them apart.
  map->Insert(Key(7), nullptr);
  EXPECT_TRUE(map->ValueForKey(Key(7)).IsNull());
  EXPECT_TRUE(map->Contains(Key(7)));
}

TEST_F(MapTest, NullKeyIsRefused) {
  auto map = NewMap();
  EXPECT_THROW_TEXT_AS(TNullObjectException, map->Insert(nullptr, String("x")),
                       "Attempt to access field or method of Null object");
  EXPECT_TRUE(map->IsEmpty());
}

TEST_F(MapTest, RemovingANodeWithTwoChildrenTakesItsPredecessorsPair) {
  auto map = NewMap();
  for (int32_t k : {5, 3, 8, 1, 4})
    map->Insert(Key(k), String::FromInt(k));
  Ref<TNode> root = map->_root;
  ASSERT_EQ(IntOf(root->_key), 5);  // 5 at the root, 3 (over 1 and 4) and 8 below
  ASSERT_FALSE(root->_left->IsNil());
  ASSERT_FALSE(root->_right->IsNil());
  EXPECT_TRUE(map->Remove(Key(5)));
  EXPECT_EQ(map->_root, root);
  EXPECT_EQ(IntOf(root->_key), 4);
  EXPECT_EQ(String::Of(root->_value).ToCString(), "4");
  EXPECT_EQ(KeysOf(map), (std::vector<int32_t>{1, 3, 4, 8}));
  ValidateTree(*map);
}

TEST_F(MapTest, InvariantsHoldAfterRandomInsertsAndRemoves) {
  for (uint32_t seed : {1u, 2u, 3u, 4u}) {
    std::mt19937 rng(seed);
    auto map = NewMap();
    std::map<int32_t, int32_t> reference;
    for (int step = 0; step < 4000; ++step) {
      int32_t k = static_cast<int32_t>(rng() % 500);
      if (rng() % 3 != 0) {
        map->Insert(Key(k), String::FromInt(step));
        reference[k] = step;
      } else {
        EXPECT_EQ(map->Remove(Key(k)), reference.erase(k) == 1);
      }
      if (step % 97 == 0) {
        ASSERT_EQ(ValidateTree(*map), static_cast<int>(reference.size()));
      }
    }
    ASSERT_EQ(ValidateTree(*map), static_cast<int>(reference.size()));
    std::vector<int32_t> expected;
    for (auto& [k, v] : reference) {
      expected.push_back(k);
      EXPECT_EQ(String::Of(map->ValueForKey(Key(k))).ToInt(), v);
    }
    EXPECT_EQ(KeysOf(map), expected);
    // Drain in random order, checking as the tree shrinks to nothing.
    std::shuffle(expected.begin(), expected.end(), rng);
    for (size_t i = 0; i < expected.size(); ++i) {
      ASSERT_TRUE(map->Remove(Key(expected[i])));
      if (i % 13 == 0) ValidateTree(*map);
    }
    EXPECT_TRUE(map->IsEmpty());
  }
}

TEST_F(MapTest, RemovingTheKeyJustReturnedDoesNotDisturbEnumeration) {
  auto map = NewMap();
  for (int32_t k = 0; k < 200; ++k)
    map->Insert(Key((k * 37) % 200), nullptr);
  std::vector<int32_t> seen;
  for (Ref<Object> k : map->Keys()) {
    seen.push_back(IntOf(k));
    if (IntOf(k) % 2 == 0) {
      EXPECT_TRUE(map->Remove(k));
    }
  }
  ASSERT_EQ(seen.size(), 200u);
  for (int32_t i = 0; i < 200; ++i)
    EXPECT_EQ(seen[i], i);
  auto left = KeysOf(map);
  ASSERT_EQ(left.size(), 100u);
  for (int32_t k : left)
    EXPECT_EQ(k % 2, 1);
  ValidateTree(*map);
  // Removing every node as it is returned empties the map.
  int n = 0;
  for (Ref<Object> node : map) {
    EXPECT_TRUE(map->Remove(node.As<TNode>()->Key()));
    ++n;
  }
  EXPECT_EQ(n, 100);
  EXPECT_TRUE(map->IsEmpty());
}

TEST_F(MapTest, CopyIsIndependentAndSharesKeysAndValues) {
  auto map = NewMap();
  Ref<Object> value = String("shared");
  for (int32_t k = 0; k < 50; ++k)
    map->Insert(Key(k), value);
  auto copy = map->Copy();
  ValidateTree(*copy);
  EXPECT_EQ(KeysOf(copy), KeysOf(map));
  EXPECT_EQ(copy->_root->_key, map->_root->_key);  // the same key object
  EXPECT_NE(copy->_root.Get(), map->_root.Get());  // in a new node
  EXPECT_EQ(copy->ValueForKey(Key(10)), value);
  copy->Insert(Key(100), nullptr);
  copy->Remove(Key(0));
  EXPECT_FALSE(map->Contains(Key(100)));
  EXPECT_TRUE(map->Contains(Key(0)));
  ValidateTree(*map);
  ValidateTree(*copy);
}

TEST_F(MapTest, ReleasingOrClearingAMapReleasesEveryNode) {
  int before = g_keysAlive;
  {
    auto map = NewMap();
    for (int32_t k = 0; k < 1000; ++k)
      map->Insert(Key(k), nullptr);
    auto copy = map->Copy();
    EXPECT_EQ(g_keysAlive, before + 1000);
    copy->Clear();
    EXPECT_TRUE(copy->IsEmpty());
    for (int32_t k = 0; k < 500; ++k)
      map->Remove(Key(k));
    EXPECT_EQ(g_keysAlive, before + 500);
  }
  EXPECT_EQ(g_keysAlive, before);
}

TEST_F(MapTest, ANodeClearedInsideALiveTreeMakesLaterChangesThrowNotCrash) {
  auto map = NewMap();
  for (int32_t k = 0; k < 100; ++k)
    map->Insert(Key(k), nullptr);
  Ref<TNode> inner = map->_root->_left->_right;
  inner->Clear();  // cuts the parent links of a whole subtree that is still in the map
  int refused = 0;
  for (int32_t k = 0; k < 200; ++k) {
    try {
      if (k % 2) {
        map->Remove(Key(k / 2));
      } else {
        map->Insert(Key(100 + k), nullptr);
      }
      for (Ref<Object> key : map->Keys())
        (void)key;
    } catch (const Thrown& e) {
      ASSERT_TRUE(e.As<TNullObjectException>()) << e.what();
      ++refused;
    }
  }
  EXPECT_GT(refused, 0);
  map->Clear();
  EXPECT_TRUE(map->IsEmpty());
}

// A key whose comparison runs `g_duringCompare` once: user code that changes the map it is in.
std::function<void()> g_duringCompare;

class TMeddlingKey : public TIntKey {
 public:
  VXL_CLASS(TMeddlingKey, TIntKey)
  explicit TMeddlingKey(int32_t v = 0) : TIntKey(v) {}
  int Compare(const Object* other) const override {
    if (auto meddle = std::exchange(g_duringCompare, nullptr)) meddle();
    return TIntKey::Compare(other);
  }
};
VXL_DEFINE_CLASS(TMeddlingKey)

TEST_F(MapTest, AComparisonThatChangesTheMapRaisesInsteadOfWalkingFreedNodes) {
  struct Case {
    const char* name;
    std::function<void(const Ref<TMap>&)> change;
    std::function<void(const Ref<TMap>&, const Ref<Object>& key)> operation;
  };
  auto insert = [](const Ref<TMap>& m, const Ref<Object>& k) { m->Insert(k, k); };
  auto find = [](const Ref<TMap>& m, const Ref<Object>& k) { m->ValueForKey(k); };
  auto remove = [](const Ref<TMap>& m, const Ref<Object>& k) { m->Remove(k); };
  auto clear = [](const Ref<TMap>& m) { m->Clear(); };
  auto erase = [](const Ref<TMap>& m) { m->Remove(Key(50)); };
  auto add = [](const Ref<TMap>& m) { m->Insert(Key(1000), Key(0)); };
  const Case cases[] = {
      {"insert, clear", clear, insert}, {"insert, remove", erase, insert},
      {"insert, add", add, insert},     {"find, clear", clear, find},
      {"find, remove", erase, find},    {"remove, clear", clear, remove},
      {"remove, add", add, remove},
  };
  for (const Case& c : cases) {
    auto map = NewMap();
    for (int32_t v = 0; v < 100; v += 2)
      map->Insert(Key(v), Key(v));
    g_duringCompare = [&] { c.change(map); };
    EXPECT_THROW_TEXT_AS(TRuntimeException, c.operation(map, New<TMeddlingKey>(51)),
                         "Map modified during key comparison")
        << c.name;
    ValidateTree(*map);
  }
  g_duringCompare = nullptr;
  // Replacing a value and comparisons that leave the map alone change nothing.
  auto map = NewMap();
  map->Insert(Key(1), Key(1));
  g_duringCompare = [&] { map->Insert(Key(1), Key(2)); };
  map->Insert(New<TMeddlingKey>(3), Key(3));
  EXPECT_EQ(IntOf(map->ValueForKey(Key(1))), 2);
  EXPECT_EQ(ValidateTree(*map), 2);
}

TEST_F(MapTest, ModuleFunctionsForward) {
  auto map = NewMap();
  PutInMap(map, Key(2), String("two"));
  PutInMap(map, Key(1), String("one"));
  EXPECT_FALSE(IsMapEmpty(map));
  EXPECT_TRUE(IsKeyInMap(map, Key(2)));
  EXPECT_EQ(String::Of(LookUpInMap(map, Key(1))).ToCString(), "one");
  auto dup = DuplicateMap(map);
  EXPECT_TRUE(DropFromMap(map, Key(2)));
  EXPECT_FALSE(DropFromMap(map, Key(2)));
  int keys = 0, values = 0;
  for (Ref<Object> k : KeysOfMap(dup))
    ++keys;
  for (Ref<Object> v : ValuesOfMap(dup))
    ++values;
  EXPECT_EQ(keys, 2);
  EXPECT_EQ(values, 2);
  WipeMap(map);
  EXPECT_TRUE(IsMapEmpty(map));
}

}  // namespace
}  // namespace vxl
