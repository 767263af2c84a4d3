#include "data/data.h"

#include <algorithm>

#include "runtime/class_binder.h"
#include "runtime/never_destroyed.h"

namespace vxl {

VXL_DEFINE_CLASS(TData)
VXL_DEFINE_CLASS(TDataType)
VXL_DEFINE_CLASS(TDataId)
VXL_DEFINE_CLASS(TDataStream)
VXL_DEFINE_CLASS(TDataStreamFactory)

namespace {

constexpr int32_t kNullByte = 0;
constexpr int32_t kBackReference = 255;
constexpr int32_t kInitialSlots = 256;

Ref<TDataType>& DataTypeHead() {
  static NeverDestroyed<Ref<TDataType>> head;
  return *head;
}

// Counts one level of object nesting for as long as it lives.
class DepthGuard {
 public:
  DepthGuard(int32_t& depth, void (*tooDeep)()) : depth_(depth) {
    if (depth_ >= TDataStream::MAX_DEPTH) tooDeep();
    ++depth_;
  }
  ~DepthGuard() { --depth_; }
  DepthGuard(const DepthGuard&) = delete;
  DepthGuard& operator=(const DepthGuard&) = delete;

 private:
  int32_t& depth_;
};

}  // namespace

// TData, TDataType, TDataId

Ref<TDataType> TData::DataType() const {
  ThrowNullMethod();
}

TDataType::TDataType() {
  Ref<TDataType>& head = DataTypeHead();
  _succ = head;
  head = Ref<TDataType>(this);
}

Ref<TDataType> DataTypes() {
  return DataTypeHead();
}

String TDataType::Tag() const {
  ThrowNullMethod();
}
Ref<Object> TDataType::ReadObject(const Ref<TStream>&) {
  ThrowNullMethod();
}
void TDataType::WriteObject(const Ref<Object>&, const Ref<TStream>&) {
  ThrowNullMethod();
}
void TDataType::ReadCyclicObject(const Ref<Object>&, const Ref<TStream>&) {}

void TDataType::Bind(ClassBinder<TDataType>& b) {
  b.ReadOnlyField<&TDataType::_succ>("_succ");
  b.Method<&TDataType::Tag>("Tag");
  b.Method<&TDataType::ReadObject>("ReadObject");
  b.Method<&TDataType::WriteObject>("WriteObject");
  b.Method<&TDataType::ReadCyclicObject>("ReadCyclicObject");
}

Ref<TDataId> TDataId::Create(int32_t id) {
  auto d = New<TDataId>();
  d->id = id;
  return d;
}

int TDataId::Compare(const Object* other) const {
  auto* o = dynamic_cast<const TDataId*>(other);
  if (!o) return Object::Compare(other);
  return id < o->id ? -1 : (id > o->id ? 1 : 0);  // a difference could overflow
}

void TDataId::Bind(ClassBinder<TDataId>& b) {
  b.Field<&TDataId::id>("id");
}

TDataStream::TDataStream()
    : _datas(Array<Ref<Object>>::New(kInitialSlots)),
      _types(Array<Ref<TDataType>>::New(kInitialSlots)),
      _dataMap(New<TMap>()),
      _typeMap(New<TMap>()) {}

Ref<TDataStream> TDataStream::WithStream(const Ref<TStream>& stream) {
  auto s = New<TDataStream>();
  s->_stream = stream;
  return s;
}

int32_t TDataStream::WriteObject(const Ref<Object>& object) {
  auto data = object.As<TData>();
  if (!data) {
    WriteByte(kNullByte);
    return 0;
  }
  if (TNode* known = _dataMap->_FindNode(object); !known->IsNil()) {
    WriteByte(kBackReference);
    WriteInt(static_cast<TDataId*>(known->_value.Get())->id);
    return 0;
  }
  DepthGuard depth(_depth, [] { Throw("Objects nest too deeply to be written"); });
  Ref<TDataType> type = data->DataType();
  String tag = type->Tag();
  if (TNode* known = _typeMap->_FindNode(tag); !known->IsNil()) {
    WriteByte(static_cast<TDataId*>(known->_value.Get())->id);
  } else {
    ++_typeId;
    if (_typeId == kBackReference) {
      --_typeId;
      Throw("Too many DataTypes");
    }
    _typeMap->Insert(tag, TDataId::Create(_typeId));
    WriteByte(_typeId);
    // A tag that does not arrive whole would make the rest unreadable.
    if (!WriteLine(tag)) ThrowStreamWrite();
  }
  // The object has its number before its contents are written, so a reference back to it from
  // inside them is written as a back-reference.
  _dataMap->Insert(object, TDataId::Create(++_dataId));
  type->WriteObject(object, Ref<TStream>(this));
  return 0;
}

Ref<Object> TDataStream::ReadObject() {
  int32_t t = ReadByte();
  if (t == kNullByte) return Ref<Object>();
  if (t == kBackReference) {
    int32_t number = ReadInt();
    // Numbers from 1 to the last one handed out are objects read (or being read: Null until
    // their type's ReadObject returns). Anything else cannot come from a writer.
    if (number < 1 || number > _dataId) ThrowStreamRead();
    return _datas[number];
  }
  DepthGuard depth(_depth, [] { ThrowStreamRead(); });
  Ref<TDataType> type = _types[t];
  if (!type) {
    String tag = ReadLine();
    for (Ref<TDataType> candidate = DataTypeHead(); candidate; candidate = candidate->_succ) {
      if (candidate->Tag() == tag) {
        type = candidate;
        break;
      }
    }
    if (!type) Throw(String("Unrecognized DataType: ") + tag);
    _types[t] = type;
  }
  int32_t number = ++_dataId;
  if (number == _datas.Length()) {
    auto grown = Array<Ref<Object>>::New(2 * number);
    std::copy(_datas.begin(), _datas.end(), grown.begin());
    _datas = grown;
  }
  Ref<TStream> self(this);
  Ref<Object> object = type->ReadObject(self);
  _datas[number] = object;
  type->ReadCyclicObject(object, self);
  return object;
}

void TDataStream::_Need(int64_t n) {
  int64_t left = StreamBytesLeft(*_stream);
  if (left >= 0 && left < n) ThrowStreamRead();
}

int32_t TDataStream::ReadBytes(uint8_t* buf, int32_t count) {
  _Need(count);
  for (int32_t done = 0; done < count;) {
    int32_t n = Read(buf + done, count - done);
    if (n <= 0) ThrowStreamRead();
    done += n;
  }
  return count;
}

int32_t TDataStream::SkipBytes(int32_t count) {
  _Need(count);
  uint8_t scratch[1024];
  for (int32_t left = count; left > 0;) {
    int32_t n = Read(scratch, std::min<int32_t>(left, sizeof scratch));
    if (n <= 0) ThrowStreamRead();
    left -= n;
  }
  return count;
}

int32_t TDataStream::ReadByte() {
  _Need(1);
  return TStreamWrapper::ReadByte();
}

int32_t TDataStream::ReadShort() {
  _Need(2);
  return TStreamWrapper::ReadShort();
}

int32_t TDataStream::ReadInt() {
  _Need(4);
  return TStreamWrapper::ReadInt();
}

float TDataStream::ReadFloat() {
  _Need(4);
  return TStreamWrapper::ReadFloat();
}

double TDataStream::ReadDouble() {
  _Need(8);
  return TStreamWrapper::ReadDouble();
}

String TDataStream::ReadString(int32_t length) {
  _Need(length);
  return TStreamWrapper::ReadString(length);
}

void TDataStream::Bind(ClassBinder<TDataStream>& b) {
  b.ReadOnlyField<&TDataStream::_dataId>("_dataId");
  b.ReadOnlyField<&TDataStream::_typeId>("_typeId");
  b.ReadOnlyField<&TDataStream::_datas>("_datas");
  b.ReadOnlyField<&TDataStream::_types>("_types");
  b.ReadOnlyField<&TDataStream::_dataMap>("_dataMap");
  b.ReadOnlyField<&TDataStream::_typeMap>("_typeMap");
}

Ref<TStream> TDataStreamFactory::CreateStream(const Ref<Object>&, const String& proto,
                                              const String& path, int32_t readable,
                                              int32_t writeable) {
  if (proto != String("data")) return Ref<TStream>();
  if (readable && writeable) Throw("DataStreams can not be both readable and writeable");
  Ref<TStream> stream = OpenStreamUrl(path, readable, writeable);
  if (!stream) return Ref<TStream>();
  return TDataStream::WithStream(stream);
}

// Helpers for data types

int64_t StreamBytesLeft(TStream& stream) {
  int32_t pos = stream.Pos();
  if (pos < 0) return -1;
  return std::max<int64_t>(0, int64_t(stream.Size()) - pos);
}

int32_t ReadDataCount(const Ref<TStream>& stream, int32_t minBytesEach) {
  int32_t count = stream->ReadInt();
  if (count < 0) ThrowStreamRead();
  int64_t left = StreamBytesLeft(*stream);
  if (left >= 0 && int64_t(count) * std::max(minBytesEach, 0) > left) ThrowStreamRead();
  return count;
}

int InitDataModule() {
  static ModuleGuard guard("data streams");
  return guard.Run({InitCoreModule, InitStreamModule, InitMapModule}, [] {
    RegisterClass<TDataId>();
    RegisterClass<TDataStreamFactory>();
    RegisterClass<TData>();
    RegisterClass<TDataType>();
    RegisterClass<TDataStream>();
    New<TDataStreamFactory>();
  });
}

}  // namespace vxl
