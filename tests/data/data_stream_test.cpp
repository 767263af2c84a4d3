#include "data/data.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "bank/bank.h"
#include "collections/list/list.h"
#include "support/temp_dir.h"
#include "support/test_streams.h"
#include "support/thrown_text.h"

namespace vxl {
namespace {

using test::TMemoryStream;
using test::TOneWayStream;

std::string Int(int32_t n) {
  return std::string(reinterpret_cast<const char*>(&n), 4);
}
std::string Byte(int n) {
  return std::string(1, static_cast<char>(n));
}
const std::string kListTag = "VXL.LinkedList.TList\r\n";
const std::string kBankTag = "VXL.Bank.TBank\r\n";

Ref<TBank> BankOf(const std::string& bytes) {
  auto bank = NewBank(static_cast<int32_t>(bytes.size()));
  if (!bytes.empty()) std::memcpy(bank->Buf(), bytes.data(), bytes.size());
  return bank;
}

std::string BytesOf(const Ref<TBank>& bank) {
  return std::string(reinterpret_cast<const char*>(bank->Buf()), bank->Size());
}

class DataStreamTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitBankModule();
    InitListModule();
  }

  // Writes the objects to a new data stream over memory and returns the bytes.
  static std::string Written(std::initializer_list<Ref<Object>> objects) {
    auto out = TMemoryStream::Of("");
    auto data = TDataStream::WithStream(out);
    for (const Ref<Object>& o : objects)
      data->WriteObject(o);
    return out->bytes;
  }

  static Ref<TDataStream> Reader(const std::string& bytes) {
    return TDataStream::WithStream(TMemoryStream::Of(bytes));
  }

  // What reading the bytes throws: "read" for TStreamReadException, the text of a thrown string,
  // or "" when reading object after object ran to the end without an exception.
  static std::string ReadFailure(const Ref<TStream>& source) {
    auto data = TDataStream::WithStream(source);
    try {
      for (int i = 0; i < 100; ++i)
        data->ReadObject();
      return "";
    } catch (const Thrown& e) {
      if (e.As<TStreamReadException>()) return "read";
      if (e.IsString()) return e.Text().ToCString();
      return "other: " + std::string(e.what());
    }
  }
};

TEST_F(DataStreamTest, NullThenAListHoldingOneBankTwice) {
  auto bank = BankOf("xyz");
  auto list = NewList();
  list->AddLast(bank);
  list->AddLast(bank);
  std::string bytes = Written({nullptr, list});
  EXPECT_EQ(bytes, Byte(0) + Byte(1) + kListTag + Int(2) + Byte(2) + kBankTag + Int(3) + "xyz" +
                       Byte(255) + Int(2));

  auto reader = Reader(bytes);
  EXPECT_TRUE(reader->ReadObject().IsNull());
  auto back = reader->ReadObject().As<TList>();
  ASSERT_TRUE(back);
  ASSERT_EQ(back->Count(), 2);
  auto first = back->First().As<TBank>();
  ASSERT_TRUE(first);
  EXPECT_EQ(back->Last(), first);  // the same bank object twice
  EXPECT_EQ(BytesOf(first), "xyz");
}

TEST_F(DataStreamTest, ALaterObjectOfAKnownTypeHasNoTagLine) {
  auto a = NewList();
  auto b = NewList();
  b->AddLast(Ref<Object>(New<Object>()));  // not a TData: written as Null
  std::string bytes = Written({a, b, a});
  EXPECT_EQ(bytes, Byte(1) + kListTag + Int(0) + Byte(1) + Int(1) + Byte(0) + Byte(255) + Int(1));
  auto reader = Reader(bytes);
  auto ra = reader->ReadObject();
  auto rb = reader->ReadObject().As<TList>();
  EXPECT_EQ(reader->ReadObject(), ra);
  ASSERT_TRUE(rb);
  EXPECT_EQ(rb->Count(), 1);
  EXPECT_TRUE(rb->First().IsNull());
}

TEST_F(DataStreamTest, PlainObjectsAndStringsAreWrittenAsNull) {
  EXPECT_EQ(Written({New<Object>(), String("text"), nullptr}), Byte(0) + Byte(0) + Byte(0));
}

TEST_F(DataStreamTest, ManyObjectsGrowTheTableOfObjectsRead) {
  auto list = NewList();
  for (int i = 0; i < 600; ++i)
    list->AddLast(BankOf(std::string(1, static_cast<char>(i))));
  list->AddLast(list->ValueAtIndex(299));  // a back-reference past the first 256 slots
  auto reader = Reader(Written({list}));
  auto back = reader->ReadObject().As<TList>();
  ASSERT_TRUE(back);
  ASSERT_EQ(back->Count(), 601);
  for (int i = 0; i < 600; ++i) {
    EXPECT_EQ(BytesOf(back->ValueAtIndex(i).As<TBank>()), std::string(1, static_cast<char>(i)));
  }
  EXPECT_EQ(back->Last(), back->ValueAtIndex(299));
  EXPECT_EQ(reader->_dataId, 601);
  EXPECT_GE(reader->_datas.Length(), 602);
}

TEST_F(DataStreamTest, AListInsideItselfIsABackReferenceReadAsNull) {
  // The reader stores an object only once its type has read it, so a list's reference to itself
  // comes back as Null; types that need such references read them in ReadCyclicObject.
  auto list = NewList();
  list->AddLast(list);
  std::string bytes = Written({list});
  EXPECT_EQ(bytes, Byte(1) + kListTag + Int(1) + Byte(255) + Int(1));
  auto back = Reader(bytes)->ReadObject().As<TList>();
  ASSERT_TRUE(back);
  EXPECT_EQ(back->Count(), 1);
  EXPECT_TRUE(back->First().IsNull());
  list->Clear();  // cut the cycle
}

// A data type whose objects refer to themselves: the reference is read in ReadCyclicObject.
class TSelfish : public TData {
 public:
  VXL_CLASS(TSelfish, TData)
  Ref<Object> self;
  Ref<TDataType> DataType() const override;
};
VXL_DEFINE_CLASS(TSelfish)

class TSelfishDataType : public TDataType {
 public:
  VXL_CLASS(TSelfishDataType, TDataType)
  String Tag() const override { return "test.TSelfish"; }
  Ref<Object> ReadObject(const Ref<TStream>&) override { return New<TSelfish>(); }
  void ReadCyclicObject(const Ref<Object>& object, const Ref<TStream>& stream) override {
    object.As<TSelfish>()->self = stream->ReadObject();
  }
  void WriteObject(const Ref<Object>& object, const Ref<TStream>& stream) override {
    stream->WriteObject(object.As<TSelfish>()->self);
  }
};
VXL_DEFINE_CLASS(TSelfishDataType)

Ref<TDataType> TSelfish::DataType() const {
  static Ref<TDataType> type = New<TSelfishDataType>();
  return type;
}

TEST_F(DataStreamTest, ReadCyclicObjectRestoresSelfReferences) {
  auto s = New<TSelfish>();
  s->self = s;
  auto back = Reader(Written({s}))->ReadObject().As<TSelfish>();
  ASSERT_TRUE(back);
  EXPECT_EQ(back->self, back);
  back->self = nullptr;
  s->self = nullptr;
}

// Data types with tags "test.many.<n>", one object class for all of them.
class TTagged : public TData {
 public:
  VXL_CLASS(TTagged, TData)
  Ref<TDataType> type;
  Ref<TDataType> DataType() const override { return type; }
};
VXL_DEFINE_CLASS(TTagged)

class TTaggedDataType : public TDataType {
 public:
  VXL_CLASS(TTaggedDataType, TDataType)
  String tag;
  String Tag() const override { return tag; }
  Ref<Object> ReadObject(const Ref<TStream>&) override { return New<TTagged>(); }
  void WriteObject(const Ref<Object>&, const Ref<TStream>&) override {}
};
VXL_DEFINE_CLASS(TTaggedDataType)

TEST_F(DataStreamTest, AStreamTakesAtMost254Types) {
  auto data = TDataStream::WithStream(TMemoryStream::Of(""));
  for (int i = 1; i <= 255; ++i) {
    auto type = New<TTaggedDataType>();
    type->tag = String("test.many.") + String::FromInt(i);
    auto object = New<TTagged>();
    object->type = type;
    if (i < 255) {
      data->WriteObject(object);
      continue;
    }
    EXPECT_THROW_TEXT_AS(String, data->WriteObject(object), "Too many DataTypes");
  }
  EXPECT_EQ(data->_typeId, 254);
}

TEST_F(DataStreamTest, UnknownTagIsReported) {
  EXPECT_EQ(ReadFailure(TMemoryStream::Of(Byte(7) + "No.Such.Type\r\n" + Int(0))),
            "Unrecognized DataType: No.Such.Type");
}

TEST_F(DataStreamTest, RoundTripOfNestedListsAndBanksThroughADataFile) {
  test::TempDir dir;
  String url = String("data::") + String(dir.File("nested.bin").c_str());
  auto shared = BankOf(std::string(2000, 's'));
  auto root = NewList();
  auto inner = NewList();
  auto deepest = NewList();
  deepest->AddLast(shared);
  deepest->AddLast(BankOf(""));
  inner->AddLast(deepest);
  inner->AddLast(nullptr);
  inner->AddLast(shared);
  root->AddLast(inner);
  root->AddLast(BankOf("tail"));
  root->AddLast(inner);
  ObjectToUrl(root, url);

  auto back = ObjectFromUrl(url).As<TList>();
  ASSERT_TRUE(back);
  ASSERT_EQ(back->Count(), 3);
  auto rInner = back->First().As<TList>();
  ASSERT_TRUE(rInner);
  EXPECT_EQ(back->Last(), rInner);
  EXPECT_EQ(BytesOf(back->ValueAtIndex(1).As<TBank>()), "tail");
  ASSERT_EQ(rInner->Count(), 3);
  auto rDeepest = rInner->First().As<TList>();
  ASSERT_TRUE(rDeepest);
  EXPECT_TRUE(rInner->ValueAtIndex(1).IsNull());
  auto rShared = rInner->Last().As<TBank>();
  EXPECT_EQ(BytesOf(rShared), std::string(2000, 's'));
  EXPECT_EQ(rDeepest->First(), rShared);
  EXPECT_EQ(rDeepest->Last().As<TBank>()->Size(), 0);
}

TEST_F(DataStreamTest, FactoryOpensDataUrlsOneWayOnly) {
  test::TempDir dir;
  String url = String("data::") + String(dir.File("f.bin").c_str());
  EXPECT_THROW_TEXT_AS(String, OpenStreamUrl(url, 1, 1),
                       "DataStreams can not be both readable and writeable");
  EXPECT_TRUE(OpenStreamUrl(url, 1, 0).IsNull());  // no such file yet
  auto out = OpenStreamUrl(url, 0, 1);
  ASSERT_TRUE(out.As<TDataStream>());
  out->Close();
  // Asked directly, the data factory answers only its own protocol.
  Ref<TDataStreamFactory> factory;
  for (auto f = StreamFactories(); f && !factory; f = f->_succ)
    factory = f.As<TDataStreamFactory>();
  ASSERT_TRUE(factory);
  EXPECT_TRUE(factory->CreateStream(url, "file", dir.File("f.bin").c_str(), 1, 0).IsNull());
}

TEST_F(DataStreamTest, DamagedInputEndsTheReadWithAnError) {
  // A type byte and then nothing, a tag without contents, a back-reference to nothing read,
  // to object 0, past the last object, with its number cut short.
  EXPECT_EQ(ReadFailure(TMemoryStream::Of(Byte(1))), "Unrecognized DataType: ");
  EXPECT_EQ(ReadFailure(TMemoryStream::Of(Byte(1) + kListTag)), "read");
  EXPECT_EQ(ReadFailure(TMemoryStream::Of(Byte(255) + Int(1))), "read");
  EXPECT_EQ(ReadFailure(TMemoryStream::Of(Byte(1) + kListTag + Int(1) + Byte(255) + Int(0))),
            "read");
  EXPECT_EQ(ReadFailure(TMemoryStream::Of(Byte(1) + kListTag + Int(1) + Byte(255) + Int(2))),
            "read");
  EXPECT_EQ(ReadFailure(TMemoryStream::Of(Byte(255) + "\x01\x00")), "read");
  // Counts and sizes the rest of the stream cannot hold, or negative ones.
  EXPECT_EQ(ReadFailure(TMemoryStream::Of(Byte(1) + kListTag + Int(INT32_MAX))), "read");
  EXPECT_EQ(ReadFailure(TMemoryStream::Of(Byte(1) + kListTag + Int(-1))), "read");
  EXPECT_EQ(ReadFailure(TMemoryStream::Of(Byte(1) + kBankTag + Int(5) + "abcd")), "read");
  EXPECT_EQ(ReadFailure(TMemoryStream::Of(Byte(1) + kBankTag + Int(INT32_MIN))), "read");
  // The same through a stream that cannot tell its length: the read ends where the bytes do.
  EXPECT_EQ(ReadFailure(TOneWayStream::Of(Byte(1) + kListTag + Int(INT32_MAX), 3)), "read");
  EXPECT_EQ(ReadFailure(TOneWayStream::Of(Byte(1) + kBankTag + Int(INT32_MAX) + "abc")), "read");
  // A run of Null bytes is a run of Null objects, and the end of the stream ends it.
  EXPECT_EQ(ReadFailure(TMemoryStream::Of(std::string(10, '\0'))), "read");
}

TEST_F(DataStreamTest, EveryTruncationOfAValidStreamFailsCleanly) {
  auto list = NewList();
  auto bank = BankOf("0123456789");
  list->AddLast(bank);
  list->AddLast(nullptr);
  auto inner = NewList();
  inner->AddLast(bank);
  list->AddLast(inner);
  std::string bytes = Written({list});
  for (size_t cut = 0; cut < bytes.size(); ++cut) {
    std::string failure = ReadFailure(TMemoryStream::Of(bytes.substr(0, cut)));
    EXPECT_TRUE(failure == "read" || failure.rfind("Unrecognized DataType: ", 0) == 0)
        << "cut at " << cut << ": " << failure;
  }
}

TEST_F(DataStreamTest, NestingDepthIsBounded) {
  // Lists nested deeper than a reader accepts: each level is one type byte and a count of 1.
  std::string bytes = Byte(1) + kListTag + Int(1);
  for (int i = 0; i < TDataStream::MAX_DEPTH + 10; ++i)
    bytes += Byte(1) + Int(1);
  bytes += Byte(0);
  EXPECT_EQ(ReadFailure(TMemoryStream::Of(bytes)), "read");

  // Within the bound it works, on both sides.
  auto outer = NewList();
  Ref<TList> at = outer;
  for (int i = 1; i < TDataStream::MAX_DEPTH; ++i) {
    auto next = NewList();
    at->AddLast(next);
    at = next;
  }
  auto back = Reader(Written({outer}))->ReadObject().As<TList>();
  int depth = 0;
  for (Ref<TList> l = back; l; l = l->First().As<TList>())
    ++depth;
  EXPECT_EQ(depth, TDataStream::MAX_DEPTH);
  at->AddLast(NewList());  // one level too many for the writer
  auto data = TDataStream::WithStream(TMemoryStream::Of(""));
  EXPECT_THROW_TEXT_AS(String, data->WriteObject(outer), "Objects nest too deeply to be written");
}

TEST_F(DataStreamTest, DataIdsCompareByNumber) {
  EXPECT_LT(TDataId::Create(3)->Compare(TDataId::Create(5).Get()), 0);
  EXPECT_EQ(TDataId::Create(5)->Compare(TDataId::Create(5).Get()), 0);
  EXPECT_GT(TDataId::Create(9)->Compare(TDataId::Create(5).Get()), 0);
  // The extremes, where a difference would overflow.
  EXPECT_LT(TDataId::Create(INT32_MIN)->Compare(TDataId::Create(1).Get()), 0);
  EXPECT_GT(TDataId::Create(INT32_MAX)->Compare(TDataId::Create(-1).Get()), 0);
}

}  // namespace
}  // namespace vxl
