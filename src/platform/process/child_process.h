// Native child processes with their standard streams on pipes.
//
// A child is started from a command line split by the same rules as LaunchCommand, with its
// standard input, output and error on three pipes; every other descriptor of this process is
// closed in the child. The parent keeps the output and error read ends and the input write end.
// Pipe reads and writes are single system calls; a write to a pipe whose reader is gone fails
// (returns 0) instead of raising SIGPIPE.
#pragma once

#include <cstdint>
#include <string_view>

namespace vxl::platform {

// A pipe end held by this process; kNoPipe for none.
using PipeHandle = int32_t;
constexpr PipeHandle kNoPipe = -1;

struct ChildPipes {
  PipeHandle output = kNoPipe;  // reads the child's standard output
  PipeHandle input = kNoPipe;   // writes the child's standard input
  PipeHandle error = kNoPipe;   // reads the child's standard error
};

// A started child, owned by the caller until TerminateChildProcess or ReleaseChildProcess.
struct ChildProcess;

// Starts the command line's program (found as LaunchCommand finds it) in a process group of its
// own; unless `hidden`, also in a session of its own, detached from the terminal. Null when the
// program cannot be found or started; nothing is left open then.
ChildProcess* StartChildProcess(std::string_view commandLine, bool hidden, ChildPipes& pipes);
// True while the child runs. Collects a child that has ended, so none is left as a zombie.
bool ChildRunning(ChildProcess* child);
// The child's process id.
int32_t ChildProcessId(const ChildProcess* child);
// Kills the child's direct children (its own children are left alone), then the child, collects
// it and frees the record. True when the child was killed (false when it had already ended).
// `output` is the read end of the child's standard output, or kNoPipe: when no writer of it is
// left, the child is taken to be exiting and is waited for (a short while at most) and collected
// before anything is killed.
bool TerminateChildProcess(ChildProcess* child, PipeHandle output = kNoPipe);
// Frees the record of a child that is not to be terminated (it keeps running).
void ReleaseChildProcess(ChildProcess* child);

// Kills every child started here and not yet terminated, with its direct children. Only
// async-signal-safe calls: for the clean-up of a program ended by a signal.
void KillChildrenForSignal() noexcept;

// One read of up to count bytes (blocks while the pipe is empty and a writer remains). The byte
// count; 0 at the end or on failure.
int32_t PipeRead(PipeHandle pipe, uint8_t* buf, int32_t count);
// One write of up to count bytes. The byte count; 0 on failure (a reader gone included).
int32_t PipeWrite(PipeHandle pipe, const uint8_t* buf, int32_t count);
// The bytes waiting to be read; 0 on failure.
int32_t PipeAvailable(PipeHandle pipe);
// True when nothing waits and no writer remains: no byte will ever arrive.
bool PipeAtEnd(PipeHandle pipe);
void PipeClose(PipeHandle pipe);

}  // namespace vxl::platform
