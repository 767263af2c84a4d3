// Data streams: writing and reading graphs of framework objects.
//
//   Ref<TStream> out = OpenStreamUrl(String("data::level.bin"), 0, 1);
//   out->WriteObject(list);      // a TList of banks, say; shared objects are written once
//   out->Close();
//   Ref<Object> back = ObjectFromUrl(String("data::level.bin"));
//
// An object that can be written derives from TData and names its TDataType, which writes and reads
// its contents. The stream adds identity (a second appearance is a back-reference), Null, and type
// identification by tag text. Every data type created links itself at the head of one chain; create
// them only inside module initialisers.
//
// Encoding of one object, through the wrapped stream (so integers use its byte order):
//   Null or an object that is not a TData       byte 0
//   an object already written                   byte 255, object number (int)
//   a new object of a type already used         type number (1..254), contents
//   a new object of a new type                  type number, tag line, contents
#pragma once

#include "collections/map/map.h"
#include "stream/stream.h"

namespace vxl {

class TDataType;

// An object that can be written to a data stream.
class TData : public Object {
 public:
  VXL_CLASS(TData, Object)
  // The type that writes and reads this object's contents (abstract).
  virtual Ref<TDataType> DataType() const;
};

// Writes and reads the contents of one kind of TData. Constructing one links it at the head of
// the data-type chain.
class TDataType : public Object {
 public:
  VXL_CLASS(TDataType, Object)
  Ref<TDataType> _succ;

  // The type's unique tag text (abstract).
  virtual String Tag() const;
  // Creates an object and reads its contents from `stream` (abstract).
  virtual Ref<Object> ReadObject(const Ref<TStream>& stream);
  // Writes the object's contents to `stream` (abstract).
  virtual void WriteObject(const Ref<Object>& object, const Ref<TStream>& stream);
  // Reads what refers back to `object` itself, after the object has its number (default: nothing).
  virtual void ReadCyclicObject(const Ref<Object>& object, const Ref<TStream>& stream);

  static void Bind(ClassBinder<TDataType>& b);

 protected:
  TDataType();
};

// The newest data type (the head of the chain), Null while none exists.
Ref<TDataType> DataTypes();

// A boxed integer ordered by its value: the numbers kept in a data stream's maps.
class TDataId : public Object {
 public:
  VXL_CLASS(TDataId, Object)
  int32_t id = 0;

  static Ref<TDataId> Create(int32_t id);
  // id minus the other's id.
  int Compare(const Object* other) const override;

  static void Bind(ClassBinder<TDataId>& b);
};

// A stream wrapper that writes and reads objects. One data stream is written or read, not both.
//
// Reading is strict: a value, byte block or string that the wrapped stream cannot deliver in
// full throws TStreamReadException instead of reading as zeros, so damaged or hostile data ends
// the read instead of producing an endless run of Null objects.
class TDataStream : public TStreamWrapper {
 public:
  VXL_CLASS(TDataStream, TStreamWrapper)
  // Objects nest at most this deep on reading and writing (each level is a native stack frame).
  static constexpr int32_t MAX_DEPTH = 1000;

  TDataStream();

  int32_t _dataId = 0;
  int32_t _typeId = 0;
  Array<Ref<Object>> _datas;
  Array<Ref<TDataType>> _types;
  Ref<TMap> _dataMap;
  Ref<TMap> _typeMap;

  static Ref<TDataStream> WithStream(const Ref<TStream>& stream);

  Ref<Object> ReadObject() override;
  int32_t WriteObject(const Ref<Object>& object) override;

  int32_t ReadBytes(uint8_t* buf, int32_t count) override;
  int32_t SkipBytes(int32_t count) override;
  int32_t ReadByte() override;
  int32_t ReadShort() override;
  int32_t ReadInt() override;
  float ReadFloat() override;
  double ReadDouble() override;
  String ReadString(int32_t length) override;

  static void Bind(ClassBinder<TDataStream>& b);

 private:
  // Throws TStreamReadException when the wrapped stream knows it has fewer than n bytes left.
  void _Need(int64_t n);

  int32_t _depth = 0;
};

// Opens "data::<url>" for reading or for writing (not both) as a data stream over that URL.
class TDataStreamFactory : public TStreamFactory {
 public:
  VXL_CLASS(TDataStreamFactory, TStreamFactory)
  Ref<TStream> CreateStream(const Ref<Object>& url, const String& proto, const String& path,
                            int32_t readable, int32_t writeable) override;
};

// Bytes left in a stream that knows its position and size, or -1 when it cannot tell.
int64_t StreamBytesLeft(TStream& stream);
// Reads a count of items (with ReadInt) that each take at least `minBytesEach` bytes in the
// stream. A negative count, or one the rest of the stream cannot hold, throws
// TStreamReadException. Data types read their lengths and counts through this.
int32_t ReadDataCount(const Ref<TStream>& stream, int32_t minBytesEach);

// Registers the data-stream classes and creates the "data" stream factory.
int InitDataModule();

}  // namespace vxl
