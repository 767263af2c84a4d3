#include "startup/startup.h"

#include <exception>

#include "audio/audio_driver.h"
#include "audio/directsound/directsound_driver.h"
#include "audio/openal/openal_driver.h"
#include "audio/sample_loaders.h"
#include "audio/tonmix/tonmix_driver.h"
#include "bank/bank.h"
#include "collections/list/list.h"
#include "filesystem/file_stream.h"
#include "graphics/gl/gl_kor2d_driver.h"
#include "joystick/joystick.h"
#include "net/http_stream.h"
#include "net/socket.h"
#include "net/socket_stream.h"
#include "pixmap/loaders/bmp_loader.h"
#include "pixmap/loaders/jpeg_loader.h"
#include "pixmap/loaders/png_loader.h"
#include "pixmap/loaders/tga_loader.h"
#include "platform/process/process_image.h"
#include "platform/signals/fault_signals.h"
#include "process/process.h"
#include "reflection/reflection.h"
#include "runtime/application.h"
#include "runtime/classic_text.h"
#include "runtime/exceptions.h"
#include "runtime/random.h"
#include "stream/memory/bank_stream.h"
#include "stream/memory/endian_stream.h"
#include "stream/memory/ram_stream.h"
#include "stream/standard_io.h"
#include "stream/text_stream.h"
#include "synk/synk.h"
#include "system/input/polled_input.h"
#include "system/queue/event_queue.h"
#include "system/timer/timer.h"
#include "toolchain/toolchain.h"

namespace vxl {

namespace {

// An exception that escapes where C++ cannot propagate it (a destructor, a noexcept function)
// still takes the uncaught path.
void OnTerminate() {
  if (std::exception_ptr current = std::current_exception()) {
    try {
      std::rethrow_exception(current);
    } catch (const Thrown& e) {
      ReportUncaught(e.Value());
    } catch (const std::exception& e) {
      ReportUncaught(String(e.what()));
    } catch (...) {
    }
  }
  ReportUncaught(Ref<Object>());
}

}  // namespace

int InitFrameworkModules() {
  // The launcher's imports, with its groups opened and its own modules left out.
  static const ModuleInitialiser modules[] = {
      InitCoreModule,         InitAudioModule,        InitBankModule,
      InitBankStreamModule,   InitRandomModule,       InitSocketModule,
      InitRamStreamModule,    InitEndianStreamModule, InitSocketStreamModule,
      InitHttpStreamModule,   InitTextStreamModule,   InitStandardIOModule,
      InitListModule,         InitFileSystemModule,   InitBmpLoaderModule,
      InitPolledInputModule,  InitGLKor2DModule,      InitDirectSoundDriverModule,
      InitEventQueueModule,   InitTonmixDriverModule, InitSynkModule,
      InitJpegLoaderModule,   InitToolchainModule,    InitOggLoaderModule,
      InitOpenALDriverModule, InitPngLoaderModule,    InitReflectionModule,
      InitClassicTextModule,  InitTgaLoaderModule,    InitTimerModule,
      InitWavLoaderModule,    InitJoystickModule,     InitProcessModule,
  };
  for (ModuleInitialiser init : modules)
    init();
  return 0;
}

int RunStartup(int argc, char** argv, ModuleInitialiser stub) {
  platform::InstallFaultHandlers("Received Signal", "Unhandled Memory Exception Error");
  std::set_terminate(OnTerminate);
  RunReportingUncaught([&] {
    String path{std::string_view(platform::ExecutablePath())};
    StartFramework(argc, argv, ExecutableDirectory(path), path);
    stub();
  });
  return 0;
}

}  // namespace vxl
