// The standard input and output as a UTF-8 text stream.
//
//   PrintLine(String(u"caf\u00e9"));          // UTF-8 bytes and CR LF on standard output
//   String name = InputLine("Name? ");        // the prompt, then one line of standard input
#pragma once

#include "stream/text_stream.h"

namespace vxl {

// A UTF-8 TTextStream over a TCStandardIO, created by the standard IO module.
extern Ref<TTextStream>& StdTextStream;

// StdTextStream.WriteLine(text), then Flush.
int32_t PrintLine(const String& text);
// Writes the prompt, flushes, and returns StdTextStream.ReadLine(). Standard input never reports
// its end, so reading from an exhausted input throws TStreamReadException.
String InputLine(const String& prompt);

// The standard IO module: registers TCStandardIO and creates StdTextStream.
int InitStandardIOModule();

}  // namespace vxl
