#include "platform/vorbis/vorbis_decoder.h"

#define OV_EXCLUDE_STATIC_CALLBACKS
#include <dlfcn.h>
#include <vorbis/vorbisfile.h>

#include <mutex>
#include <new>
#include <type_traits>

namespace vxl::platform::vorbis {
namespace {

static_assert(std::is_same_v<ogg_int64_t, int64_t>);

#define VXL_VORBISFILE_ENTRY_POINTS(X) \
  X(ov_open_callbacks)                 \
  X(ov_clear)                          \
  X(ov_info)                           \
  X(ov_pcm_total)                      \
  X(ov_read)

struct Library {
#define VXL_VORBIS_FIELD(name) decltype(&::name) name;
  VXL_VORBISFILE_ENTRY_POINTS(VXL_VORBIS_FIELD)
#undef VXL_VORBIS_FIELD
};

constexpr const char* kLibraryNames[] = {"libvorbisfile.so.3", "libvorbisfile.so"};

const Library* Load() {
  static Library library;
  static bool ok = false;
  static std::once_flag once;
  std::call_once(once, [] {
    void* handle = nullptr;
    for (const char* name : kLibraryNames) {
      if ((handle = dlopen(name, RTLD_NOW | RTLD_LOCAL))) break;
    }
    if (!handle) return;
#define VXL_VORBIS_RESOLVE(name)                                            \
  library.name = reinterpret_cast<decltype(&::name)>(dlsym(handle, #name)); \
  if (!library.name) return;
    VXL_VORBISFILE_ENTRY_POINTS(VXL_VORBIS_RESOLVE)
#undef VXL_VORBIS_RESOLVE
    ok = true;
  });
  return ok ? &library : nullptr;
}

OggVorbis_File* File(void* p) {
  return static_cast<OggVorbis_File*>(p);
}

}  // namespace

bool Available() {
  return Load() != nullptr;
}

Decoder::~Decoder() {
  if (file_) {
    Load()->ov_clear(File(file_));
    delete File(file_);
  }
}

bool Decoder::Open(void* source, const Callbacks& c) {
  const Library* lib = Load();
  if (!lib || file_) return false;
  auto* file = new OggVorbis_File;
  ov_callbacks callbacks{c.read, c.seek, c.close, c.tell};
  if (lib->ov_open_callbacks(source, file, nullptr, 0, callbacks) != 0) {
    delete file;  // a failed open leaves nothing to clear
    return false;
  }
  file_ = file;
  return true;
}

int Decoder::Channels() {
  vorbis_info* info = file_ ? Load()->ov_info(File(file_), -1) : nullptr;
  return info ? info->channels : 0;
}

long Decoder::Rate() {
  vorbis_info* info = file_ ? Load()->ov_info(File(file_), -1) : nullptr;
  return info ? info->rate : 0;
}

int64_t Decoder::TotalFrames(int link) {
  return file_ ? Load()->ov_pcm_total(File(file_), link) : -1;
}

long Decoder::Read(char* buffer, int bytes, int* link) {
  if (!file_) return -1;
  return Load()->ov_read(File(file_), buffer, bytes, 0, 2, 1, link);
}

}  // namespace vxl::platform::vorbis
