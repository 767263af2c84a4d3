// Text streams: a wrapper that carries everything as text in one of four encodings.
//
//   Ref<TStream> s = OpenForWriting(String("utf8::notes.txt"));
//   s->WriteLine(String(u"caf\u00e9"));   // characters encoded as UTF-8, then CR LF
//   s->WriteInt(42);                       // numbers are lines of decimal text: "42" CR LF
//   s->Write(bytes, 40);                   // raw bytes become lines of 64 hexadecimal digits
//   s->Close();                            // closes the file too
//
// Reading mirrors it: ReadLine decodes characters, ReadInt parses a line, Read decodes
// hexadecimal lines. Malformed UTF-8 decodes by the arithmetic, without error.
#pragma once

#include <memory>

#include "stream/stream.h"

namespace vxl {

class TTextStream : public TStreamWrapper {
 public:
  VXL_CLASS(TTextStream, TStreamWrapper)
  static constexpr int32_t LATIN1 = 1;
  static constexpr int32_t UTF8 = 2;
  static constexpr int32_t UTF16BE = 3;
  static constexpr int32_t UTF16LE = 4;

  int32_t _encoding = 0;
  // Bytes of the hexadecimal line being read or written; 0 when none is open.
  int32_t _bufcount = 0;

  // Raw bytes as upper-case hexadecimal digit pairs, 32 bytes (64 digits) per CR LF line.
  // Both return `count`.
  int32_t Read(uint8_t* buf, int32_t count) override;
  int32_t Write(const uint8_t* buf, int32_t count) override;
  // Numbers are one line of decimal text each; reading parses the line (no range check).
  int32_t ReadByte() override;
  int32_t WriteByte(int32_t n) override;
  int32_t ReadShort() override;
  int32_t WriteShort(int32_t n) override;
  int32_t ReadInt() override;
  int32_t WriteInt(int32_t n) override;
  int64_t ReadLong() override;
  int32_t WriteLong(int64_t n) override;
  float ReadFloat() override;
  int32_t WriteFloat(float x) override;
  double ReadDouble() override;
  int32_t WriteDouble(double x) override;
  // Characters up to LF or character 0 (not included), CR dropped, or up to the end.
  String ReadLine() override;
  // The text, then CR LF (encoded). Returns 1.
  int32_t WriteLine(const String& text) override;
  // Exactly `count` characters.
  String ReadString(int32_t count) override;
  // The text's characters, no terminator.
  int32_t WriteString(const String& text) override;

  // Every character up to the end, line ends included.
  virtual String ReadFile();
  // Holds nothing: Read delivers decoded hexadecimal digits, not the bytes underneath.
  std::span<const uint8_t> PeekBuffered() override;
  void ConsumeBuffered(size_t count) override;

  // One character decoded from 1 to 3 bytes (0 for an unknown encoding, one byte consumed).
  virtual int32_t ReadChar();
  virtual int32_t WriteChar(int32_t c);

  static Ref<TTextStream> Create(const Ref<TStream>& stream, int32_t encoding);

  // One raw byte of the wrapped stream.
  virtual int32_t _ReadByte();
  virtual int32_t _WriteByte(int32_t n);
  // End an open hexadecimal line: reading expects CR LF or LF ("Malformed line terminator"
  // otherwise), writing writes CR LF.
  virtual int32_t _FlushRead();
  virtual int32_t _FlushWrite();

  static void Bind(ClassBinder<TTextStream>& b);

 private:
  bool DecodesInPlace() const;
  bool WritesBytesDirectly() const;
  // Working buffer of ReadLine and ReadFile: grows without clearing what it has not used yet.
  struct Chars {
    std::unique_ptr<char16_t[]> data;
    size_t size = 0;
    size_t capacity = 0;
    // Room for `extra` more characters after the first `size`.
    char16_t* Room(size_t extra);
    void Push(char16_t c) { *Room(1) = c, ++size; }
    // The characters as a string; the buffer is emptied (and shrunk after a huge line).
    String Take();
    // Empties the buffer and raises the length error: more characters than a string can hold.
    [[noreturn]] void TooLong();
  };
  Chars line_;
};

// "latin1::", "utf8::", "utf16be::" and "utf16le::" around any inner URL.
class TTextStreamFactory : public TStreamFactory {
 public:
  VXL_CLASS(TTextStreamFactory, TStreamFactory)
  Ref<TStream> CreateStream(const Ref<Object>& url, const String& proto, const String& path,
                            int32_t readable, int32_t writeable) override;
};

// Saves text: Latin-1 bytes when every character fits, otherwise UTF-16LE after the byte-order
// mark 255, 254. Throws TStreamWriteException when the URL does not open.
int32_t TextToUrl(const String& text, const Url& url);

// The text stream module: registers the classes and creates the factory.
int InitTextStreamModule();

}  // namespace vxl
