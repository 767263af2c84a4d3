#include "platform/vorbis/vorbis_decoder.h"

#define OV_EXCLUDE_STATIC_CALLBACKS
#include <vorbis/vorbisfile.h>

#include <new>
#include <type_traits>

#include "platform/library/lazy_library.h"

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

LazyLibrary& VorbisfileLibrary() {
  Library& table = EntryPoints<Library>();
#define VXL_VORBIS_SYMBOL(name) Required(#name, table.name),
  static LazyLibrary& library =
      LazyLibrary::Define("libvorbisfile", {"libvorbisfile.so.3", "libvorbisfile.so"},
                          {VXL_VORBISFILE_ENTRY_POINTS(VXL_VORBIS_SYMBOL)});
#undef VXL_VORBIS_SYMBOL
  return library;
}

// The entry points; Null when the library did not load.
const Library* Load() {
  return VorbisfileLibrary().Load() ? &EntryPoints<Library>() : nullptr;
}

OggVorbis_File* File(void* p) {
  return static_cast<OggVorbis_File*>(p);
}

}  // namespace

bool Available() {
  return Load() != nullptr;
}

std::string OpenError() {
  return VorbisfileLibrary().Error();
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
