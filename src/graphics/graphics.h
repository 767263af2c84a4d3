// The graphics driver model: contexts, drivers, display modes, the current context and the paced
// one-call path that opens graphics.
//
//   Ref<TGraphics> g = OpenGraphics(800, 600, 0, 60, 0);   // a window paced at 60 Hz; Null: none
//   while (!TakeAppTerminate()) {
//     ...draw...
//     PresentFrame(-1);                                   // frame hooks, then the paced flip
//   }
//   CloseOpenedGraphics();                                // also runs at exit
//
// A driver is also the data type of its contexts: a context is written to a data stream as its
// settings (width, height, depth, hertz) and read back by opening graphics with them.
//
// Calls that need a current driver while there is none raise the null-object error, except
// MakeGraphics and BindGraphics, which give Null.
#pragma once

#include <cstdint>

#include "data/data.h"

namespace vxl {

// Graphics flag bits: the flags of CreateGraphics and AttachGraphics, ORed with the driver's
// default flags.
constexpr int32_t GRAPHICS_BACKBUFFER = 2;
constexpr int32_t GRAPHICS_ALPHABUFFER = 4;
constexpr int32_t GRAPHICS_DEPTHBUFFER = 8;
constexpr int32_t GRAPHICS_STENCILBUFFER = 16;
constexpr int32_t GRAPHICS_ACCUMBUFFER = 32;

class TGraphicsDriver;

// A context drawn through a driver: a window, a full-screen display or an attached window.
class TGraphics : public TData {
 public:
  VXL_CLASS(TGraphics, TData)
  // The driver (a context's data type is its driver).
  Ref<TDataType> DataType() const override;
  // The driver that made this context (abstract).
  virtual Ref<TGraphicsDriver> Driver() const;
  // The context's settings (abstract).
  virtual void GetSettings(int32_t& width, int32_t& height, int32_t& depth, int32_t& hertz,
                           int32_t& flags);
  // Releases the native context (abstract).
  virtual void Close();

  static void Bind(ClassBinder<TGraphics>& b);
};

// One display mode; depth in bits per pixel, hertz the refresh rate.
class TGraphicsMode : public Object {
 public:
  VXL_CLASS(TGraphicsMode, Object)
  int32_t width = 0;
  int32_t height = 0;
  int32_t depth = 0;
  int32_t hertz = 0;

  static Ref<TGraphicsMode> Create(int32_t width, int32_t height, int32_t depth, int32_t hertz);
  // "640,480,32 60Hz".
  String ToString() const override;

  static void Bind(ClassBinder<TGraphicsMode>& b);
};

// A back end that makes contexts. Constructing one links it into the data-type chain; create
// drivers only inside module initialisers.
class TGraphicsDriver : public TDataType {
 public:
  VXL_CLASS(TGraphicsDriver, TDataType)
  // "VXL.Graphics.TGraphics".
  String Tag() const override;
  // Reads width, height, depth and hertz and gives OpenGraphics of them with flags 0.
  Ref<Object> ReadObject(const Ref<TStream>& stream) override;
  // Writes the context's width, height, depth and hertz.
  void WriteObject(const Ref<Object>& object, const Ref<TStream>& stream) override;

  // The display modes (abstract).
  virtual Array<Ref<TGraphicsMode>> GraphicsModes();
  // A context over an existing native window (abstract).
  virtual Ref<TGraphics> AttachGraphics(int64_t window, int32_t flags);
  // A new context: depth 0 a window, otherwise full screen (abstract).
  virtual Ref<TGraphics> CreateGraphics(int32_t width, int32_t height, int32_t depth, int32_t hertz,
                                        int32_t flags);
  // Makes the context current for drawing; Null releases the current one (abstract).
  virtual void SetGraphics(const Ref<TGraphics>& graphics);
  // Presents the back buffer; sync 1 waits for the vertical retrace (abstract).
  virtual void Flip(int32_t sync);

  static void Bind(ClassBinder<TGraphicsDriver>& b);

 protected:
  TGraphicsDriver() = default;
};

// Goes up by one whenever the opened graphics change (never 0 after the first change): resources
// made for one context compare it to notice that they must be rebuilt.
extern int32_t graphicsGeneration;
// The hook id whose hooks run before every PresentFrame; allocated by the module initialiser.
extern int32_t FrameHookId;

// Makes `driver` current (releasing the old driver's context when the driver changes), stores the
// default flags and forgets the current context.
void UseGraphicsDriver(const Ref<TGraphicsDriver>& driver, int32_t flags);
int32_t DefaultGraphicsFlags();
Ref<TGraphicsDriver> CurrentGraphicsDriver();

// A copy of the current driver's mode list (asked once, then cached until the driver changes).
Array<Ref<TGraphicsMode>> ListGraphicsModes();
int32_t GraphicsModeCount();
void GraphicsModeAt(int32_t index, int32_t& width, int32_t& height, int32_t& depth, int32_t& hertz);
// 1 when some mode matches every argument that is not 0, else 0.
int32_t HasGraphicsMode(int32_t width, int32_t height, int32_t depth, int32_t hertz);

// A context from the current driver (flags ORed with the default flags); Null when it fails in
// any way.
Ref<TGraphics> MakeGraphics(int32_t width, int32_t height, int32_t depth, int32_t hertz,
                            int32_t flags);
Ref<TGraphics> BindGraphics(int64_t window, int32_t flags);
// Makes a context current (its driver becomes the current driver); Null releases the current one.
void SelectGraphics(const Ref<TGraphics>& graphics);
// Closes a context, releasing it first when it is current.
void ShutGraphics(const Ref<TGraphics>& graphics);
Ref<TGraphics> CurrentGraphics();

// The current context's settings, all 0 when there is none.
int32_t CurrentGraphicsWidth();
int32_t CurrentGraphicsHeight();
int32_t CurrentGraphicsDepth();
int32_t CurrentGraphicsHertz();
int32_t CurrentGraphicsFlags();

// Closes the opened graphics, makes and selects a new context and decides its pacing: a window
// with a refresh rate is paced by the clock ("soft sync"), a full-screen display only when its
// flips do not already wait for the retrace. Starts input polling. Null when no context is made.
Ref<TGraphics> OpenGraphics(int32_t width, int32_t height, int32_t depth, int32_t hertz,
                            int32_t flags);
// Closes what OpenGraphics opened; nothing when nothing is open. Also runs at exit.
void CloseOpenedGraphics();
// Runs the frame hooks, then flips: sync 0 or 1 as given, -1 paced as OpenGraphics decided.
int32_t PresentFrame(int32_t sync);

// The clock that paces frames: MillisecondTimer and SleepMilliseconds unless a test replaces them.
struct GraphicsClock {
  uint32_t (*now)();
  void (*sleep)(int32_t ms);
};
// Replaces the pacing clock (Null members restore the runtime's); returns the previous one.
GraphicsClock SetGraphicsClock(GraphicsClock clock);

int InitGraphicsModule();

}  // namespace vxl
