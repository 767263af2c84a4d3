#include "startup/startup.h"

#include "audio/audio_driver.h"
#include "audio/directsound/directsound_driver.h"
#include "audio/openal/openal_driver.h"
#include "audio/sample_loaders.h"
#include "audio/tonmix/tonmix_driver.h"
#include "bank/bank.h"
#include "graphics/font/freetype/freetype_font.h"
#include "joystick/joystick.h"
#include "pixmap/loaders/bmp_loader.h"
#include "pixmap/loaders/jpeg_loader.h"
#include "pixmap/loaders/png_loader.h"
#include "pixmap/loaders/tga_loader.h"
#include "process/process.h"
#include "reflection/reflection.h"
#include "runtime/classic_text.h"
#include "startup/module_groups.h"
#include "graphics/d3d7/d3d7_modules.h"
#include "memstream/bank_stream.h"
#include "synk/synk.h"
#include "system/queue/event_queue.h"
#include "system/timer/timer.h"
#include "toolchain/toolchain.h"

namespace vxl {

std::span<const ModuleInitialiser> FrameworkImports() {
  // Each import brings up, before its own body, the modules it builds on; the comments give the
  // import's place among the launcher's imports (the core module is 1, the launcher's stub 2).
  static const ModuleInitialiser imports[] = {
      InitAudioModule,              // 3
      InitBankModule,               // 4
      InitBankStreamModule,         // 5
      InitStandardGroupModule,      // 6
      InitBmpLoaderModule,          // 7
      InitD3D7Kor2DStep,            // 8
      InitDirectSoundDriverModule,  // 9
      InitEventQueueModule,         // 10
      InitTonmixDriverModule,       // 11
      InitFreeTypeFontModule,       // 12
      InitSynkModule,               // 13
      InitJpegLoaderModule,         // 14
      InitToolchainModule,          // 15
      InitOggLoaderModule,          // 16
      InitOpenALDriverModule,       // 17
      InitPngLoaderModule,          // 18
      InitReflectionModule,         // 19
      InitClassicTextModule,        // 20
      InitTgaLoaderModule,          // 21
      InitTimerModule,              // 22
      InitWavLoaderModule,          // 23
      InitJoystickModule,           // 24
      InitProcessModule,            // 25
      InitOpenGLImportModule,       // 26
      InitEmptyTrailingModule,      // 27
  };
  return imports;
}

}  // namespace vxl
