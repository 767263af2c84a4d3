#include "process/process.h"

#include <algorithm>
#include <cstring>

#include "platform/process/child_process.h"
#include "platform/signals/fault_signals.h"
#include "runtime/class_binder.h"
#include "runtime/exceptions.h"
#include "runtime/module.h"
#include "runtime/never_destroyed.h"

namespace vxl {

VXL_DEFINE_CLASS(TPipeStream)
VXL_DEFINE_CLASS(TProcess)

namespace {

Ref<TList>& Processes() {
  static NeverDestroyed<Ref<TList>> list;
  return *list;
}

void TerminateAllAtExit() {
  RecordExitFunction("process termination");
  TProcess::TerminateAll();
}

}  // namespace

TPipeStream::~TPipeStream() {
  Close();
}

Ref<TPipeStream> TPipeStream::Create(int32_t readHandle, int32_t writeHandle) {
  Ref<TPipeStream> s = New<TPipeStream>();
  s->readbuffer = Array<uint8_t>::New(kBufferSize);
  s->readhandle = readHandle;
  s->writehandle = writeHandle;
  return s;
}

int32_t TPipeStream::Flush() {
  return 0;  // pipe writes are not buffered here
}

int32_t TPipeStream::Close() {
  platform::PipeClose(readhandle);
  platform::PipeClose(writehandle);
  readhandle = writehandle = kNoHandle;
  return 0;
}

int32_t TPipeStream::Read(uint8_t* buf, int32_t count) {
  return platform::PipeRead(readhandle, buf, count);
}

int32_t TPipeStream::Write(const uint8_t* buf, int32_t count) {
  return platform::PipeWrite(writehandle, buf, count);
}

int32_t TPipeStream::ReadAvail() {
  return platform::PipeAvailable(readhandle);
}

Array<uint8_t> TPipeStream::ReadPipe() {
  int32_t n = ReadAvail();
  if (n <= 0) return Array<uint8_t>();
  Array<uint8_t> bytes = Array<uint8_t>::New(n);
  int32_t got = Read(bytes.Data(), n);
  return got == n ? bytes : bytes.Slice(0, got);
}

String TPipeStream::ReadLine() {
  uint8_t* buf = readbuffer.Data();
  int32_t n = ReadAvail();
  if (n > 0) {
    n = std::min(n, kBufferSize - bufferpos);
    if (n <= 0) RaiseRuntimeError("PipeStream ReadBuffer Overflow");
    bufferpos += Read(buf + bufferpos, n);
  }
  const uint8_t* lf = static_cast<const uint8_t*>(std::memchr(buf, 10, bufferpos));
  int32_t taken;  // bytes removed from the front of the buffer
  int32_t end;
  if (lf) {
    int32_t c = static_cast<int32_t>(lf - buf);
    end = c > 0 && buf[c - 1] == 13 ? c - 1 : c;
    taken = c + 1;
  } else if (bufferpos > 0 && n <= 0 && platform::PipeAtEnd(readhandle)) {
    // The writer is gone: the rest is the last line, though no line feed ends it.
    end = bufferpos;
    taken = bufferpos;
  } else {
    return String();
  }
  int32_t start = buf[0] == 13 ? 1 : 0;
  String line = end > start ? String::FromBytes(buf + start, end - start) : String();
  std::memmove(buf, buf + taken, static_cast<size_t>(bufferpos - taken));
  bufferpos -= taken;
  return line;
}

void TPipeStream::Bind(ClassBinder<TPipeStream>& b) {
  b.ReadOnlyField<&TPipeStream::bufferpos>("bufferpos");
  b.ReadOnlyField<&TPipeStream::readhandle>("readhandle");
  b.ReadOnlyField<&TPipeStream::writehandle>("writehandle");
  b.Method<&TPipeStream::ReadAvail>("ReadAvail");
}

TProcess::~TProcess() {
  platform::ReleaseChildProcess(
      handle);  // a listed child is never destroyed; this is a detached one
}

int32_t TProcess::Status() {
  return platform::ChildRunning(handle) ? 1 : 0;
}

int32_t TProcess::Close() {
  if (pipe) pipe->Close();
  if (err) err->Close();
  pipe = nullptr;
  err = nullptr;
  return 0;
}

int32_t TProcess::Terminate() {
  Ref<TProcess> self(this);  // the list may hold the last reference
  if (Ref<TList>& list = Processes()) list->Remove(self);
  if (!handle) return 0;
  bool ended = platform::TerminateChildProcess(
      handle, pipe ? static_cast<platform::PipeHandle>(pipe->readhandle) : platform::kNoPipe);
  handle = nullptr;
  return ended ? 1 : 0;
}

Ref<TProcess> TProcess::Create(const String& command, int32_t flags) {
  Ref<TProcess> p = New<TProcess>();
  p->name = command;
  platform::ChildPipes pipes;
  p->handle =
      platform::StartChildProcess(command.ToCString(), (flags & kProcessHidden) != 0, pipes);
  if (!p->handle) return nullptr;
  p->pipe = TPipeStream::Create(pipes.output, pipes.input);
  p->err = TPipeStream::Create(pipes.error, TPipeStream::kNoHandle);
  Ref<TList>& list = Processes();
  if (!list) {
    list = NewList();
    // A program ended by a signal runs no exit functions: its children are ended from there.
    platform::AddSignalCleanup(platform::KillChildrenForSignal);
  }
  list->AddLast(p);
  return p;
}

int32_t TProcess::TerminateAll() {
  Ref<TList> list = Processes();
  if (!list) return 0;
  while (Ref<Object> first = list->First()) {
    Ref<TProcess> p(static_cast<TProcess*>(first.Get()));
    p->Terminate();
    p->Close();
  }
  return 0;
}

void TProcess::Bind(ClassBinder<TProcess>& b) {
  b.Field<&TProcess::name>("name");
  b.ReadOnlyField<&TProcess::pipe>("pipe");
  b.ReadOnlyField<&TProcess::err>("err");
  b.Method<&TProcess::Status>("Status");
  b.Method<&TProcess::Close>("Close");
  b.Method<&TProcess::Terminate>("Terminate");
}

Ref<TProcess> RunProcess(const String& command, int32_t flags) {
  return TProcess::Create(command, flags);
}

int32_t ProcessRunning(const Ref<TProcess>& process) {
  return process->Status();
}

int32_t KillProcess(const Ref<TProcess>& process) {
  return process->Terminate();
}

Ref<TList> ProcessList() {
  return Processes();
}

int InitProcessModule() {
  static ModuleGuard guard("process");
  return guard.Run({InitCoreModule, InitStreamModule, InitListModule}, [] {
    RegisterClass<TPipeStream>();
    RegisterClass<TProcess>();
    RegisterExitFunction(TerminateAllAtExit);
  });
}

}  // namespace vxl
