// Byte streams: the stream classes, the stream exceptions, the factory chain and the URL rule.
//
//   Ref<TStream> s = OpenStreamUrl(String("scores.bin"), 1, 0);   // a plain path is a file
//   if (s) {
//     int32_t count = s->ReadInt();         // typed values are little-endian
//     String name = s->ReadLine();          // bytes up to LF, CR dropped, Latin-1
//     s->Close();
//   }
//   Array<uint8_t> all = BytesFromUrl(String("incbin::logo.png"));   // a factory's protocol
//
// Readers that scan bytes (lines, text, images, sounds) look at what a stream already holds in
// memory instead of copying it out a call at a time:
//
//   for (;;) {
//     std::span<const uint8_t> held = s->PeekBuffered();
//     if (held.empty()) {                     // nothing held now: one Read fetches more
//       uint8_t b;
//       if (s->Read(&b, 1) != 1) break;
//       Use(b);
//       continue;
//     }
//     size_t used = Scan(held);               // any number of bytes, in place
//     s->ConsumeBuffered(used);               // as if Read had delivered them
//   }
//
// A URL is a stream object (wrapped so that closing the wrapper leaves it open), a file path
// (a string without "::"), a "proto::path" string offered to each factory from the newest, or any
// other object some factory understands. Opening returns Null on failure; I/O errors on an open
// stream throw TStreamReadException / TStreamWriteException.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <functional>
#include <span>

#include "runtime/runtime.h"
#include "stream/url.h"

namespace vxl {

class TStreamException : public Object {
 public:
  VXL_CLASS(TStreamException, Object)
};

class TStreamReadException : public TStreamException {
 public:
  VXL_CLASS(TStreamReadException, TStreamException)
  // "Error reading from stream".
  String ToString() const override;
};

class TStreamWriteException : public TStreamException {
 public:
  VXL_CLASS(TStreamWriteException, TStreamException)
  // "Error writing to stream".
  String ToString() const override;
};

// Throw a new TStreamReadException / TStreamWriteException.
[[noreturn]] void ThrowStreamRead();
[[noreturn]] void ThrowStreamWrite();

// The input/output protocol. The defaults describe a stream that is neither seekable nor readable
// nor writeable: Pos -1, Size 0 (so Eof is never true), Read and Write raise runtime errors.
class TIO : public Object {
 public:
  VXL_CLASS(TIO, Object)
  // 1 when Pos() equals Size(), else 0.
  virtual int32_t Eof();
  virtual int32_t Pos();
  virtual int32_t Size();
  // Moves to `pos`; returns the new position (-1: not seekable).
  virtual int32_t Seek(int32_t pos);
  virtual int32_t Flush();
  virtual int32_t Close();
  // Transfers up to `count` bytes; returns how many were transferred.
  virtual int32_t Read(uint8_t* buf, int32_t count);
  virtual int32_t Write(const uint8_t* buf, int32_t count);

  static void Bind(ClassBinder<TIO>& b);
};

// A stream: typed little-endian values, lines and strings on top of Read and Write.
class TStream : public TIO {
 public:
  VXL_CLASS(TStream, TIO)
  // Reads `count` bytes, stopping early (without error) at end of stream; throws
  // TStreamReadException when Read returns 0 before the end. Returns `count`.
  virtual int32_t ReadBytes(uint8_t* buf, int32_t count);
  // Writes all `count` bytes; throws TStreamWriteException when Write returns 0. Returns `count`.
  virtual int32_t WriteBytes(const uint8_t* buf, int32_t count);
  // Reads and discards `count` bytes (stopping at end of stream). Returns `count`.
  virtual int32_t SkipBytes(int32_t count);

  // Typed reads: missing bytes at end of stream read as zero. Byte and short are unsigned.
  virtual int32_t ReadByte();
  virtual int32_t WriteByte(int32_t n);
  virtual int32_t ReadShort();
  virtual int32_t WriteShort(int32_t n);
  virtual int32_t ReadInt();
  virtual int32_t WriteInt(int32_t n);
  virtual int64_t ReadLong();
  virtual int32_t WriteLong(int64_t n);
  virtual float ReadFloat();
  virtual int32_t WriteFloat(float x);
  virtual double ReadDouble();
  virtual int32_t WriteDouble(double x);

  // Bytes up to LF or a 0 byte (not included), CR dropped, one character per byte; stops quietly
  // when Read delivers nothing.
  virtual String ReadLine();
  // The low byte of each character, then CR LF. 1 if everything was written, else 0.
  virtual int32_t WriteLine(const String& text);
  // Exactly `length` bytes (zero where the stream ended), one character per byte.
  virtual String ReadString(int32_t length);
  // The low byte of each character, no terminator and no length.
  virtual int32_t WriteString(const String& text);
  // Throw the string "Unable to read object" / "Unable to write object" here; data streams
  // override them.
  virtual Ref<Object> ReadObject();
  virtual int32_t WriteObject(const Ref<Object>& object);

  // The buffered view: bytes this stream already holds in memory at its position, exactly the
  // bytes its next Read (and ReadByte) calls would deliver. It never reaches past the end (Eof()
  // stays 0 while it holds bytes) and looking at it never touches the source, so an empty view
  // means "nothing held now", not the end: Read fetches more. Memory, bank and file streams hold
  // bytes, wrappers forward the view, every other stream holds none. A class that changes what
  // Read delivers must override these two as well (TTextStream holds none).
  virtual std::span<const uint8_t> PeekBuffered();
  // Takes the first `count` bytes of the view (count <= its size), as a Read of them would.
  virtual void ConsumeBuffered(size_t count);

  static void Bind(ClassBinder<TStream>& b);
};

// A stream that forwards to another one. ReadBytes, WriteBytes, SkipBytes, ReadLong and WriteLong
// are not forwarded: they run the TStream algorithms over the forwarded Read, Write and Eof.
class TStreamWrapper : public TStream {
 public:
  VXL_CLASS(TStreamWrapper, TStream)
  Ref<TStream> _stream;

  void SetStream(const Ref<TStream>& stream) { _stream = stream; }

  int32_t Eof() override;
  int32_t Pos() override;
  int32_t Size() override;
  int32_t Seek(int32_t pos) override;
  int32_t Flush() override;
  int32_t Close() override;
  int32_t Read(uint8_t* buf, int32_t count) override;
  int32_t Write(const uint8_t* buf, int32_t count) override;
  int32_t ReadByte() override;
  int32_t WriteByte(int32_t n) override;
  int32_t ReadShort() override;
  int32_t WriteShort(int32_t n) override;
  int32_t ReadInt() override;
  int32_t WriteInt(int32_t n) override;
  float ReadFloat() override;
  int32_t WriteFloat(float x) override;
  double ReadDouble() override;
  int32_t WriteDouble(double x) override;
  String ReadLine() override;
  int32_t WriteLine(const String& text) override;
  String ReadString(int32_t length) override;
  int32_t WriteString(const String& text) override;
  Ref<Object> ReadObject() override;
  int32_t WriteObject(const Ref<Object>& object) override;
  std::span<const uint8_t> PeekBuffered() override;
  void ConsumeBuffered(size_t count) override;

  static void Bind(ClassBinder<TStreamWrapper>& b);
};

// What OpenStreamUrl returns for a stream passed as URL: closing it lets go of the wrapped
// stream without closing it.
class TStreamStream : public TStreamWrapper {
 public:
  VXL_CLASS(TStreamStream, TStreamWrapper)
  static Ref<TStreamStream> Create(const Ref<TStream>& stream);
  // Sets _stream to Null; the wrapped stream stays open.
  int32_t Close() override;
};

// A file through the C library. Releasing an open TCStream closes its file.
class TCStream : public TStream {
 public:
  VXL_CLASS(TCStream, TStream)
  static constexpr int32_t MODE_READ = 1;
  static constexpr int32_t MODE_WRITE = 2;

  // Counted in 64 bits, so files past 2 GiB read and write with defined positions; Pos and Size
  // report them as 32-bit values, saturated at INT32_MAX.
  int64_t _pos = 0;
  int64_t _size = 0;
  std::FILE* _cstream = nullptr;  // Null once closed
  int32_t _mode = 0;

  ~TCStream() override;

  // "r+b" when both flags are set, "wb" for writeable only, otherwise "rb". Backslashes in the path
  // become slashes. Null when the file cannot be opened.
  static Ref<TCStream> OpenFile(const String& path, int32_t readable, int32_t writeable);
  // Takes over an open C file; Null for a null handle.
  static Ref<TCStream> CreateWithCStream(std::FILE* cstream, int32_t mode);

  // A handle that cannot seek (a pipe, a terminal) reports Pos -1 and is never at Eof while open:
  // like every non-seekable stream it ends when Read delivers less.
  int32_t Pos() override;
  int32_t Size() override;
  int32_t Eof() override;
  // The new position; -1 on a handle that cannot seek.
  int32_t Seek(int32_t pos) override;
  // Read and Write on a closed stream raise the TIO errors.
  int32_t Read(uint8_t* buf, int32_t count) override;
  int32_t Write(const uint8_t* buf, int32_t count) override;
  // 0, or -1 when the file has met an error: bytes written may not have reached it.
  int32_t Flush() override;
  // 0, or -1 when bytes still held for the file could not be written.
  int32_t Close() override;
  // The C library's read-ahead (nothing where the C library gives no access to it).
  std::span<const uint8_t> PeekBuffered() override;
  void ConsumeBuffered(size_t count) override;

  static void Bind(ClassBinder<TCStream>& b);

 private:
  // False when bytes still held for the file could not be written.
  bool CloseHandle();

  bool _seekable = true;
  // The C library's buffer for a file opened here: larger than its default, so a file read line
  // by line takes a sixteenth of the system calls. Freed after the file is closed.
  std::unique_ptr<char[]> _buffer;
};

// The C standard input and output: Read from stdin, Write and Flush to stdout. Not seekable, so
// it never reports Eof.
class TCStandardIO : public TStream {
 public:
  VXL_CLASS(TCStandardIO, TStream)
  int32_t Flush() override;
  int32_t Read(uint8_t* buf, int32_t count) override;
  int32_t Write(const uint8_t* buf, int32_t count) override;
  // The C library's read-ahead of the standard input.
  std::span<const uint8_t> PeekBuffered() override;
  void ConsumeBuffered(size_t count) override;
};

// A factory turns URLs into streams. Constructing one links it at the head of the chain, so the
// newest factory is asked first; create factories only inside module initialisers.
class TStreamFactory : public Object {
 public:
  VXL_CLASS(TStreamFactory, Object)
  Ref<TStreamFactory> _succ;

  // The stream for this request, or Null when the request is not this factory's. `proto` is the
  // lower-cased protocol ("" for a non-string URL), `path` what follows the first "::".
  virtual Ref<TStream> CreateStream(const Ref<Object>& url, const String& proto, const String& path,
                                    int32_t readable, int32_t writeable);

  static void Bind(ClassBinder<TStreamFactory>& b);

 protected:
  TStreamFactory();
};

// The newest factory (the head of the chain), Null while none exists.
Ref<TStreamFactory> StreamFactories();

// How many protocols may nest in one URL ("utf8::bigendian::...::file" has two). Deeper URLs do
// not open, whichever factories they name.
constexpr int32_t kMaxUrlNesting = 64;

// The URL rule: a stream is wrapped in a TStreamStream; a string without "::" is a file; otherwise
// the chain is asked from the head with the lower-cased protocol and the rest as path. Null when
// nothing opens it, or when protocols nest deeper than kMaxUrlNesting.
Ref<TStream> OpenStreamUrl(const Url& url, int32_t readable, int32_t writeable);

// Module functions.

// OpenStreamUrl(url, 1, 0) / OpenStreamUrl(url, 0, 1).
Ref<TStream> OpenForReading(const Url& url);
Ref<TStream> OpenForWriting(const Url& url);
// Closes a stream its caller has written to the end; throws TStreamWriteException when Close
// reports that bytes it still held did not arrive (a full disk), so a save never looks complete
// when it is not.
void CloseWritten(const Ref<TStream>& stream);

// Every byte up to the end of the stream (or until Read delivers nothing), then the stream is
// closed. Throws TStreamReadException when the URL does not open.
Array<uint8_t> BytesFromUrl(const Url& url);
// BytesFromUrl with one character per byte.
String StringFromUrl(const Url& url);
// Writes the bytes, or the low byte of each character, and closes the stream. Throws
// TStreamWriteException when the URL does not open or the bytes do not all arrive.
int32_t BytesToUrl(const Array<uint8_t>& bytes, const Url& url);
int32_t StringToUrl(const String& text, const Url& url);
// One object through the stream's ReadObject / WriteObject (data streams).
Ref<Object> ObjectFromUrl(const Url& url);
int32_t ObjectToUrl(const Ref<Object>& object, const Url& url);

// The loop of every whole-stream load (BytesFromUrl, TBank.Load): reads from the stream's position
// up to its end, or until Read delivers nothing, into a block that `resize(capacity, kept)`
// provides with its first `kept` bytes in place, and returns how many bytes it read. The block
// starts at what the stream reports left (1024 bytes when it cannot tell) and grows by half when
// full. A load is whole or fails: a stream holding more than INT32_MAX bytes raises a runtime
// error instead of giving the first 2 GiB.
int32_t ReadStreamToEnd(TStream& stream,
                        const std::function<uint8_t*(int32_t capacity, int32_t kept)>& resize);

// Copies until `from` is at its end (or its Read delivers nothing), `bufferSize` bytes at a time.
int32_t CopyStreamData(const Ref<TStream>& from, const Ref<TStream>& to, int32_t bufferSize = 4096);
// Copies exactly `count` bytes (ReadBytes, then WriteBytes), `bufferSize` at a time.
int32_t CopyStreamBytes(const Ref<TStream>& from, const Ref<TStream>& to, int32_t count,
                        int32_t bufferSize = 4096);

// The method of the same name on `stream`.
int32_t StreamEof(const Ref<TStream>& stream);
int32_t StreamPos(const Ref<TStream>& stream);
int32_t StreamSize(const Ref<TStream>& stream);
int32_t StreamSeek(const Ref<TStream>& stream, int32_t pos);
int32_t StreamFlush(const Ref<TStream>& stream);
int32_t StreamClose(const Ref<TStream>& stream);
int32_t StreamReadByte(const Ref<TStream>& stream);
int32_t StreamReadShort(const Ref<TStream>& stream);
int32_t StreamReadInt(const Ref<TStream>& stream);
int64_t StreamReadLong(const Ref<TStream>& stream);
float StreamReadFloat(const Ref<TStream>& stream);
double StreamReadDouble(const Ref<TStream>& stream);
int32_t StreamWriteByte(const Ref<TStream>& stream, int32_t n);
int32_t StreamWriteShort(const Ref<TStream>& stream, int32_t n);
int32_t StreamWriteInt(const Ref<TStream>& stream, int32_t n);
int32_t StreamWriteLong(const Ref<TStream>& stream, int64_t n);
int32_t StreamWriteFloat(const Ref<TStream>& stream, float x);
int32_t StreamWriteDouble(const Ref<TStream>& stream, double x);
String StreamReadString(const Ref<TStream>& stream, int32_t length);
int32_t StreamWriteString(const Ref<TStream>& stream, const String& text);
String StreamReadLine(const Ref<TStream>& stream);
int32_t StreamWriteLine(const Ref<TStream>& stream, const String& text);

// The spelling of `path` as stored on disk: the path itself when it exists, otherwise each name
// matched without regard to ASCII case, directory by directory. "" when nothing matches.
String TrueCaseFileName(const String& path);

// The C standard library glue module (imported by the stream module).
int InitCStdLibModule();
// The stream module: the stream classes and the factory chain.
int InitStreamModule();

}  // namespace vxl
