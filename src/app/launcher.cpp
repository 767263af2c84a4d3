#include "app/launcher.h"

#include "app/module_groups.h"
#include "audio/audio_driver.h"
#include "audio/directsound/directsound_driver.h"
#include "audio/openal/openal_driver.h"
#include "audio/sample_loaders.h"
#include "audio/tonmix/tonmix_driver.h"
#include "bank/bank.h"
#include "graphics/gl/gl_kor2d_driver.h"
#include "joystick/joystick.h"
#include "pixmap/loaders/bmp_loader.h"
#include "pixmap/loaders/jpeg_loader.h"
#include "pixmap/loaders/png_loader.h"
#include "pixmap/loaders/tga_loader.h"
#include "platform/process/command_launch.h"
#include "process/process.h"
#include "reflection/reflection.h"
#include "runtime/classic_text.h"
#include "runtime/module.h"
#include "runtime/string.h"
#include "stream/memory/bank_stream.h"
#include "synk/synk.h"
#include "system/queue/event_queue.h"
#include "system/timer/timer.h"
#include "toolchain/toolchain.h"

namespace vxl {

int InitApplicationStub() {
  static ModuleGuard guard("application stub");
  return guard.Run({InitCoreModule}, [] { InitApplicationMain(); });
}

namespace {

void Launch() {
  // The quoted name, converted one byte per character; the outcome is not looked at.
  String command = "\"nw.exe\"";
  platform::LaunchCommand(command.ToCString(), 1);
}

}  // namespace

std::span<const ModuleInitialiser> LauncherImports() {
  // Main's imports, in order; the comments give each one's place in the full start-up order.
  static const ModuleInitialiser imports[] = {
      InitCoreModule,               // 1
      InitApplicationStub,          // 2
      InitAudioModule,              // 3
      InitBankModule,               // 4
      InitBankStreamModule,         // 5
      InitStandardGroupModule,      // 6
      InitBmpLoaderModule,          // 7
      InitGLKor2DModule,            // 8, in place of the Direct3D 7 2D driver that first reaches it
      InitDirectSoundDriverModule,  // 9
      InitEventQueueModule,         // 10
      InitTonmixDriverModule,       // 11
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

int InitApplicationMain() {
  static ModuleGuard guard("application main");
  return guard.Run(LauncherImports(), [] {
    Launch();
    EndProgram();
  });
}

}  // namespace vxl
