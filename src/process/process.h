// Child processes with their standard streams on pipes.
//
//   Ref<TProcess> p = RunProcess("tool --list", 0);     // Null if it cannot be started
//   p->pipe->WriteLine("quit");                         // the child's standard input
//   for (;;) {
//     String line = p->pipe->ReadLine();                // never blocks: "" until a line is in
//     if (line.Length()) Show(line);
//     if (!ProcessRunning(p) && !p->pipe->ReadAvail()) break;
//   }
//   p->Terminate();                                     // also ends the child's own children
//   p->Close();
//
// Every started process stays in the process list until Terminate; at program exit (also when a
// signal ends it) every listed child is terminated with its direct children.
#pragma once

#include <cstdint>

#include "collections/list/list.h"
#include "stream/stream.h"

namespace vxl {

namespace platform {
struct ChildProcess;
}

// One end of a child's pipes: reads what the child writes, writes what it reads.
class TPipeStream : public TStream {
 public:
  VXL_CLASS(TPipeStream, TStream)
  static constexpr int32_t kBufferSize = 4096;
  static constexpr int32_t kNoHandle = -1;

  // The line buffer of ReadLine and how many bytes it holds.
  Array<uint8_t> readbuffer;
  int32_t bufferpos = 0;
  // Pipe ends (kNoHandle for none).
  int32_t readhandle = kNoHandle;
  int32_t writehandle = kNoHandle;

  ~TPipeStream() override;

  // Takes ownership of the two pipe ends.
  static Ref<TPipeStream> Create(int32_t readHandle, int32_t writeHandle);

  int32_t Flush() override;
  // Closes both ends; later reads and writes transfer nothing.
  int32_t Close() override;
  // One read from the pipe (it waits while the pipe is empty and the child may still write);
  // bytes held by ReadLine's buffer are not returned.
  int32_t Read(uint8_t* buf, int32_t count) override;
  int32_t Write(const uint8_t* buf, int32_t count) override;
  // A complete line from the buffer, or "" at once when none has arrived (an empty line gives ""
  // too). CR before LF is dropped. Throws "PipeStream ReadBuffer Overflow" when 4096 bytes
  // without a line feed are held and more wait. Once the pipe has ended for good, the bytes left
  // after the last line feed come out as one last line.
  String ReadLine() override;

  // The bytes waiting in the pipe.
  virtual int32_t ReadAvail();
  // Everything waiting, read at once (the empty array when nothing waits).
  virtual Array<uint8_t> ReadPipe();

  static void Bind(ClassBinder<TPipeStream>& b);
};

class TProcess : public Object {
 public:
  VXL_CLASS(TProcess, Object)
  // The command line it was started with.
  String name;
  // The native child, null once terminated.
  platform::ChildProcess* handle = nullptr;
  // Reads the child's standard output and writes its standard input.
  Ref<TPipeStream> pipe;
  // Reads the child's standard error.
  Ref<TPipeStream> err;

  ~TProcess() override;

  // 1 while the child runs, else 0.
  virtual int32_t Status();
  // Closes both pipe streams and drops them.
  virtual int32_t Close();
  // Takes the process off the list and ends the child and its direct children (not theirs).
  // Non-zero when the child was ended; 0 when there was none to end.
  virtual int32_t Terminate();

  // Starts the command line; flags: kProcessHidden. Null when it cannot be started.
  static Ref<TProcess> Create(const String& command, int32_t flags);
  // Terminates and closes every listed process.
  static int32_t TerminateAll();

  static void Bind(ClassBinder<TProcess>& b);
};

// Create flag: no window for the child and no new session (it stays in this one).
constexpr int32_t kProcessHidden = 2;

Ref<TProcess> RunProcess(const String& command, int32_t flags);
int32_t ProcessRunning(const Ref<TProcess>& process);
int32_t KillProcess(const Ref<TProcess>& process);
// The processes started and not yet terminated (Null before the first start).
Ref<TList> ProcessList();

int InitProcessModule();

}  // namespace vxl
