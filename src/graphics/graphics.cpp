#include "graphics/graphics.h"

#include "runtime/class_binder.h"
#include "runtime/clock.h"
#include "runtime/module.h"
#include "runtime/never_destroyed.h"
#include "system/event/hook.h"
#include "system/input/polled_input.h"
#include "system/system.h"

namespace vxl {

VXL_DEFINE_CLASS(TGraphics)
VXL_DEFINE_CLASS(TGraphicsMode)
VXL_DEFINE_CLASS(TGraphicsDriver)

int32_t graphicsGeneration = 0;
int32_t FrameHookId = 0;

namespace {

struct Settings {
  int32_t width = 0;
  int32_t height = 0;
  int32_t depth = 0;
  int32_t hertz = 0;
  int32_t flags = 0;
};

// Frame pacing of the opened graphics ("soft sync").
struct Pacing {
  int32_t softSync = 0;
  int32_t rate = 0;
  int32_t msPerFrame = 0;
  int32_t remainder = 0;
  int32_t accumulator = 0;
  uint32_t nextFrame = 0;
};

struct GraphicsState {
  Ref<TGraphicsDriver> driver;
  int32_t defaultFlags = 0;
  Array<Ref<TGraphicsMode>> modes;
  Ref<TGraphics> current;
  Settings settings;
  Ref<TGraphics> opened;
  Pacing pacing;
  bool exitRegistered = false;
  GraphicsClock clock{&MillisecondTimer, &SleepMilliseconds};
};

GraphicsState& State() {
  static NeverDestroyed<GraphicsState> state;
  return *state;
}

// The soft-sync measurement gives up after this many flips even if the clock does not move, so a
// clock that stands still cannot hang OpenGraphics.
constexpr int32_t kMaxMeasuredFlips = 100000;

void BumpGeneration() {
  if (++graphicsGeneration == 0) graphicsGeneration = 1;
}

// Releases the current driver's context (when there is one) and makes `driver` current.
void ChangeDriver(const Ref<TGraphicsDriver>& driver) {
  GraphicsState& s = State();
  if (s.driver && s.current) s.driver->SetGraphics(nullptr);
  s.modes = Array<Ref<TGraphicsMode>>();
  s.driver = driver;
}

void ForgetCurrent() {
  GraphicsState& s = State();
  s.current = nullptr;
  s.settings = Settings{};
}

// Flip(1) until three flips in a row last one frame (within a millisecond): then the display
// paces itself. At most one second is spent measuring.
int32_t NeedsSoftSync(int32_t hertz) {
  GraphicsState& s = State();
  const int32_t frame = 1000 / hertz;
  const uint32_t start = s.clock.now();
  uint32_t last = start;
  int32_t matches = 0;
  for (int32_t flips = 0; flips < kMaxMeasuredFlips && last - start < 1000; ++flips) {
    s.driver->Flip(1);
    const uint32_t now = s.clock.now();
    const int32_t e = static_cast<int32_t>(now - last) - frame;
    last = now;
    matches = (e >= -1 && e <= 1) ? matches + 1 : 0;
    if (matches == 3) return 0;
  }
  return 1;
}

void StartPacing(int32_t hertz, int32_t softSync) {
  Pacing& p = State().pacing;
  p.softSync = softSync;
  p.rate = hertz;
  p.msPerFrame = hertz > 0 ? 1000 / hertz : 0;
  p.remainder = 1000 - p.msPerFrame * hertz;
  p.accumulator = 0;
  p.nextFrame = State().clock.now();
}

void PacedFlip() {
  GraphicsState& s = State();
  Pacing& p = s.pacing;
  p.nextFrame += static_cast<uint32_t>(p.msPerFrame);
  p.accumulator += p.remainder;
  if (p.accumulator >= p.rate) {
    p.accumulator -= p.rate;
    p.nextFrame += 1;
  }
  const uint32_t now = s.clock.now();
  const int32_t wait = static_cast<int32_t>(p.nextFrame - now);
  if (wait > 0) {
    s.clock.sleep(wait);
  } else {
    p.nextFrame = now;  // a late frame does not build up debt
  }
  s.driver->Flip(0);
}

}  // namespace

Ref<TDataType> TGraphics::DataType() const {
  return Driver();
}
Ref<TGraphicsDriver> TGraphics::Driver() const {
  ThrowNullMethod();
}
void TGraphics::GetSettings(int32_t&, int32_t&, int32_t&, int32_t&, int32_t&) {
  ThrowNullMethod();
}
void TGraphics::Close() {
  ThrowNullMethod();
}

void TGraphics::Bind(ClassBinder<TGraphics>& b) {
  b.Method<&TGraphics::Driver>("Driver");
  b.Method<&TGraphics::Close>("Close");
}

Ref<TGraphicsMode> TGraphicsMode::Create(int32_t width, int32_t height, int32_t depth,
                                         int32_t hertz) {
  auto mode = New<TGraphicsMode>();
  mode->width = width;
  mode->height = height;
  mode->depth = depth;
  mode->hertz = hertz;
  return mode;
}

String TGraphicsMode::ToString() const {
  return String::FromInt(width) + "," + String::FromInt(height) + "," + String::FromInt(depth) +
         " " + String::FromInt(hertz) + "Hz";
}

void TGraphicsMode::Bind(ClassBinder<TGraphicsMode>& b) {
  b.Field<&TGraphicsMode::width>("width");
  b.Field<&TGraphicsMode::height>("height");
  b.Field<&TGraphicsMode::depth>("depth");
  b.Field<&TGraphicsMode::hertz>("hertz");
}

String TGraphicsDriver::Tag() const {
  return "VXL.Graphics.TGraphics";
}

Ref<Object> TGraphicsDriver::ReadObject(const Ref<TStream>& stream) {
  const int32_t width = stream->ReadInt();
  const int32_t height = stream->ReadInt();
  const int32_t depth = stream->ReadInt();
  const int32_t hertz = stream->ReadInt();
  return OpenGraphics(width, height, depth, hertz, 0);
}

void TGraphicsDriver::WriteObject(const Ref<Object>& object, const Ref<TStream>& stream) {
  Settings s;
  object.As<TGraphics>()->GetSettings(s.width, s.height, s.depth, s.hertz, s.flags);
  stream->WriteInt(s.width);
  stream->WriteInt(s.height);
  stream->WriteInt(s.depth);
  stream->WriteInt(s.hertz);
}

Array<Ref<TGraphicsMode>> TGraphicsDriver::GraphicsModes() {
  ThrowNullMethod();
}
Ref<TGraphics> TGraphicsDriver::AttachGraphics(int64_t, int32_t) {
  ThrowNullMethod();
}
Ref<TGraphics> TGraphicsDriver::CreateGraphics(int32_t, int32_t, int32_t, int32_t, int32_t) {
  ThrowNullMethod();
}
void TGraphicsDriver::SetGraphics(const Ref<TGraphics>&) {
  ThrowNullMethod();
}
void TGraphicsDriver::Flip(int32_t) {
  ThrowNullMethod();
}

void TGraphicsDriver::Bind(ClassBinder<TGraphicsDriver>& b) {
  b.Method<&TGraphicsDriver::GraphicsModes>("GraphicsModes");
  b.Method<&TGraphicsDriver::AttachGraphics>("AttachGraphics");
  b.Method<&TGraphicsDriver::CreateGraphics>("CreateGraphics");
  b.Method<&TGraphicsDriver::SetGraphics>("SetGraphics");
  b.Method<&TGraphicsDriver::Flip>("Flip");
}

void UseGraphicsDriver(const Ref<TGraphicsDriver>& driver, int32_t flags) {
  GraphicsState& s = State();
  if (driver.Get() != s.driver.Get()) ChangeDriver(driver);
  s.defaultFlags = flags;
  ForgetCurrent();
}

int32_t DefaultGraphicsFlags() {
  return State().defaultFlags;
}

Ref<TGraphicsDriver> CurrentGraphicsDriver() {
  return State().driver;
}

Array<Ref<TGraphicsMode>> ListGraphicsModes() {
  GraphicsState& s = State();
  if (s.modes.IsEmpty()) s.modes = s.driver->GraphicsModes();
  // Copies of the modes too, so that nothing a caller changes reaches the cache.
  auto copy = Array<Ref<TGraphicsMode>>::New(s.modes.Length());
  for (int32_t i = 0; i < s.modes.Length(); ++i) {
    const Ref<TGraphicsMode>& m = s.modes[i];
    if (m) copy[i] = TGraphicsMode::Create(m->width, m->height, m->depth, m->hertz);
  }
  return copy;
}

int32_t GraphicsModeCount() {
  return ListGraphicsModes().Length();
}

void GraphicsModeAt(int32_t index, int32_t& width, int32_t& height, int32_t& depth,
                    int32_t& hertz) {
  Ref<TGraphicsMode> mode = ListGraphicsModes()[index];
  width = mode->width;
  height = mode->height;
  depth = mode->depth;
  hertz = mode->hertz;
}

int32_t HasGraphicsMode(int32_t width, int32_t height, int32_t depth, int32_t hertz) {
  for (const Ref<TGraphicsMode>& m : ListGraphicsModes()) {
    if (!m) continue;
    if ((width == 0 || m->width == width) && (height == 0 || m->height == height) &&
        (depth == 0 || m->depth == depth) && (hertz == 0 || m->hertz == hertz))
      return 1;
  }
  return 0;
}

Ref<TGraphics> MakeGraphics(int32_t width, int32_t height, int32_t depth, int32_t hertz,
                            int32_t flags) {
  try {
    GraphicsState& s = State();
    return s.driver->CreateGraphics(width, height, depth, hertz, flags | s.defaultFlags);
  } catch (...) {
    return nullptr;
  }
}

Ref<TGraphics> BindGraphics(int64_t window, int32_t flags) {
  try {
    GraphicsState& s = State();
    return s.driver->AttachGraphics(window, flags | s.defaultFlags);
  } catch (...) {
    return nullptr;
  }
}

void SelectGraphics(const Ref<TGraphics>& graphics) {
  GraphicsState& s = State();
  if (!graphics) {
    if (s.driver && s.current) s.driver->SetGraphics(nullptr);
    ForgetCurrent();
    return;
  }
  Ref<TGraphicsDriver> driver = graphics->Driver();
  if (!driver) ThrowNullObject();  // a closed context: nothing changes
  if (driver.Get() != s.driver.Get()) ChangeDriver(driver);
  Settings settings;
  graphics->GetSettings(settings.width, settings.height, settings.depth, settings.hertz,
                        settings.flags);
  s.settings = settings;
  driver->SetGraphics(graphics);
  s.current = graphics;
}

void ShutGraphics(const Ref<TGraphics>& graphics) {
  GraphicsState& s = State();
  if (graphics && graphics.Get() == s.opened.Get()) s.opened = nullptr;
  if (graphics && graphics.Get() == s.current.Get()) SelectGraphics(nullptr);
  graphics->Close();
}

Ref<TGraphics> CurrentGraphics() {
  return State().current;
}

int32_t CurrentGraphicsWidth() {
  return State().settings.width;
}
int32_t CurrentGraphicsHeight() {
  return State().settings.height;
}
int32_t CurrentGraphicsDepth() {
  return State().settings.depth;
}
int32_t CurrentGraphicsHertz() {
  return State().settings.hertz;
}
int32_t CurrentGraphicsFlags() {
  return State().settings.flags;
}

Ref<TGraphics> OpenGraphics(int32_t width, int32_t height, int32_t depth, int32_t hertz,
                            int32_t flags) {
  GraphicsState& s = State();
  CloseOpenedGraphics();
  Ref<TGraphics> g = MakeGraphics(width, height, depth, hertz, flags);
  if (!g) return nullptr;
  BumpGeneration();
  SelectGraphics(g);

  // A negative rate cannot pace anything: it counts as none.
  int32_t softSync = 1;
  if (hertz <= 0) {
    softSync = 0;
  } else if (depth != 0) {
    softSync = NeedsSoftSync(hertz);
  }
  StartPacing(hertz > 0 ? hertz : 0, softSync);
  s.opened = g;
  if (depth != 0) PlaceMouse(width / 2, height / 2);
  StartInputPolling(nullptr);
  if (!s.exitRegistered) {
    s.exitRegistered = true;
    RegisterExitFunction(&CloseOpenedGraphics);
  }
  return g;
}

void CloseOpenedGraphics() {
  RecordExitFunction("graphics");
  GraphicsState& s = State();
  if (!s.opened) return;
  BumpGeneration();
  StopInputPolling();
  Ref<TGraphics> opened = s.opened;
  ShutGraphics(opened);
}

int32_t PresentFrame(int32_t sync) {
  GraphicsState& s = State();
  CallHooks(FrameHookId, nullptr);
  if (sync != -1) {
    s.driver->Flip(sync);
    return 0;
  }
  if (s.current.Get() != s.opened.Get() || !s.opened || !s.pacing.softSync) {
    s.driver->Flip(s.settings.depth != 0 ? 1 : 0);
    return 0;
  }
  PacedFlip();
  return 0;
}

GraphicsClock SetGraphicsClock(GraphicsClock clock) {
  GraphicsState& s = State();
  GraphicsClock previous = s.clock;
  s.clock.now = clock.now ? clock.now : &MillisecondTimer;
  s.clock.sleep = clock.sleep ? clock.sleep : &SleepMilliseconds;
  return previous;
}

int InitGraphicsModule() {
  static ModuleGuard guard("graphics");
  return guard.Run(
      {InitCoreModule, InitDataModule, InitHookModule, InitSystemModule, InitPolledInputModule},
      [] {
        RegisterClass<TGraphics>();
        RegisterClass<TGraphicsMode>();
        RegisterClass<TGraphicsDriver>();
        FrameHookId = NewHookId();
      });
}

}  // namespace vxl
