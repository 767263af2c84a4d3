#include "filesystem/file_stream.h"

#include "bank/bank.h"
#include "memstream/bank_stream.h"

namespace vxl {

Ref<TStream> OpenFileUrl(const Url& url, int32_t readable, int32_t writeable) {
  Ref<TStream> stream = OpenStreamUrl(url, readable, writeable);
  if (!stream || stream->Pos() != -1) return stream;
  // Only a stream opened for reading alone is replaced: writes must still reach their
  // destination, not a bank nobody reads.
  if (!readable || writeable) return stream;
  Ref<TBank> bank;
  try {
    bank = TBank::Load(stream);
  } catch (const Thrown& e) {
    if (!e.As<TStreamException>() && !e.As<TRuntimeException>()) throw;
  }
  // The stream has been read to its end and nobody else can reach it: close it now.
  stream->Close();
  if (!bank) return nullptr;
  return TBankStream::Create(bank);
}

Ref<TStream> OpenFileForReading(const Url& url) {
  return OpenFileUrl(url, 1, 0);
}

Ref<TStream> OpenFileForWriting(const Url& url) {
  return OpenFileUrl(url, 0, 1);
}

int32_t CloseFileStream(const Ref<TStream>& stream) {
  return stream->Close();
}

int InitFileSystemModule() {
  static ModuleGuard guard("file system");
  return guard.Run({InitCoreModule, InitStreamModule, InitBankModule, InitBankStreamModule}, [] {});
}

}  // namespace vxl
