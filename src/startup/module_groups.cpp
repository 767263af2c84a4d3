#include "startup/module_groups.h"

#include "collections/list/list.h"
#include "filesystem/file_stream.h"
#include "graphics/gl/gl_graphics.h"
#include "net/http_stream.h"
#include "net/socket.h"
#include "net/socket_stream.h"
#include "runtime/module.h"
#include "runtime/random.h"
#include "memstream/endian_stream.h"
#include "memstream/ram_stream.h"
#include "stream/standard_io.h"
#include "stream/text_stream.h"

namespace vxl {

int InitEmptyModule() {
  static ModuleGuard guard("empty");
  return guard.Run({InitCoreModule}, [] {});
}

int InitStandardGroupModule() {
  static ModuleGuard guard("standard group");
  return guard.Run(
      {
          InitCoreModule,
          InitEmptyModule,
          InitRandomModule,
          InitSocketModule,
          InitRamStreamModule,
          InitEndianStreamModule,
          InitSocketStreamModule,
          InitHttpStreamModule,
          InitTextStreamModule,
          InitStandardIOModule,
          InitListModule,
          InitFileSystemModule,
      },
      [] {});
}

int InitOpenGLImportModule() {
  static ModuleGuard guard("opengl import");
  return guard.Run({InitCoreModule, InitOpenGLModule}, [] {});
}

int InitEmptyTrailingModule() {
  static ModuleGuard guard("empty trailing");
  return guard.Run({InitCoreModule}, [] {});
}

}  // namespace vxl
