// Native fault handling: turns the fatal signals into the framework's uncaught-error path.
#pragma once

namespace vxl::platform {

// Installs handlers, in this order, for SIGILL, SIGSEGV, SIGABRT and SIGTERM. A handler writes
// "signal!:<number>\n" to standard output, then `signalText` to standard error, and ends the
// process with exit code -1 (255). A signal the process raised itself first flushes standard
// output; one sent from outside makes only async-signal-safe calls, so this is sound for
// asynchronous signals too. The exit functions do not run from a signal.
//
// SIGBUS and SIGFPE (the remaining hardware faults) write `faultText` to standard error and end
// the process the same way, without the signal line. The handlers run on their own stack, so a
// stack overflow is reported too.
void InstallFaultHandlers(const char* signalText, const char* faultText);

// Adds a clean-up (at most 8) that runs when one of those signals, SIGINT or SIGHUP ends the
// process, before it ends: it must make only async-signal-safe calls. The first one also installs
// handlers for SIGINT and SIGHUP where they still have their default action; such a handler runs
// the clean-ups and then ends the process by the same signal as before.
void AddSignalCleanup(void (*cleanup)() noexcept);

}  // namespace vxl::platform
