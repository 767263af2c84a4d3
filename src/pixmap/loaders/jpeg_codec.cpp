#include "pixmap/loaders/jpeg_codec.h"

// jpeglib.h needs size_t and FILE declared first.
#include <cstddef>
#include <cstdio>
//
#include <jerror.h>
#include <jpeglib.h>

#include <csetjmp>
#include <exception>
#include <vector>

#include "pixmap/loaders/loader_io.h"

namespace vxl {

namespace {

constexpr int32_t kBufferBytes = 4096;
// Working memory libjpeg may use (progressive images keep all coefficients).
constexpr long kMaxMemory = 512L << 20;
// More scans than any encoder writes; hostile files with endless tiny scans stop here.
constexpr int kMaxScans = 1000;
// Decoded bytes per byte of data a file may claim before its size counts as damaged.
constexpr int64_t kExpansionRatio = 1024;

// The state of one decode or encode; the library's structures point back to it.
struct JpegJob {
  jpeg_error_mgr error;
  jpeg_source_mgr source;
  jpeg_destination_mgr destination;
  jpeg_progress_mgr progress;
  std::jmp_buf jump;
  Ref<TStream> stream;
  std::exception_ptr thrown;
  Ref<TPixmap> pixmap;
  std::vector<JSAMPROW> rows;
  bool started = false;
  uint8_t buffer[kBufferBytes];
};

JpegJob& JobOf(j_common_ptr cinfo) {
  return *static_cast<JpegJob*>(cinfo->client_data);
}

[[noreturn]] void OnError(j_common_ptr cinfo) {
  std::longjmp(JobOf(cinfo).jump, 1);
}
void OnMessage(j_common_ptr) {}
void OnEmit(j_common_ptr, int) {}

void OnProgress(j_common_ptr cinfo) {
  auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
  if (d->input_scan_number > kMaxScans) OnError(cinfo);
}

// Source manager ----------------------------------------------------------------------------

void InitSource(j_decompress_ptr) {}
void TermSource(j_decompress_ptr) {}

// Hands the decoder the bytes the stream holds in its buffered view where it has some (they stay
// in place until the next call reads from the stream), else up to 4096 bytes read into the job's
// buffer.
boolean FillInput(j_decompress_ptr cinfo) {
  JpegJob& job = JobOf(reinterpret_cast<j_common_ptr>(cinfo));
  int32_t n = 0;
  bool failed = false;
  try {
    std::span<const uint8_t> held = job.stream->PeekBuffered();
    if (!held.empty()) {
      job.stream->ConsumeBuffered(held.size());
      job.started = true;
      cinfo->src->next_input_byte = held.data();
      cinfo->src->bytes_in_buffer = held.size();
      return TRUE;
    }
    n = job.stream->Read(job.buffer, kBufferBytes);
  } catch (...) {
    job.thrown = std::current_exception();
    failed = true;
  }
  if (failed) ERREXIT(cinfo, JERR_FILE_READ);
  if (n <= 0) {
    if (!job.started) ERREXIT(cinfo, JERR_INPUT_EMPTY);
    WARNMS(cinfo, JWRN_JPEG_EOF);
    job.buffer[0] = 0xFF;
    job.buffer[1] = JPEG_EOI;
    n = 2;
  }
  job.started = true;
  cinfo->src->next_input_byte = job.buffer;
  cinfo->src->bytes_in_buffer = size_t(n);
  return TRUE;
}

void SkipInput(j_decompress_ptr cinfo, long count) {
  if (count <= 0) return;
  jpeg_source_mgr* src = cinfo->src;
  while (count > long(src->bytes_in_buffer)) {
    count -= long(src->bytes_in_buffer);
    FillInput(cinfo);
  }
  src->next_input_byte += count;
  src->bytes_in_buffer -= size_t(count);
}

// Destination manager -----------------------------------------------------------------------

void InitDestination(j_compress_ptr cinfo) {
  JpegJob& job = JobOf(reinterpret_cast<j_common_ptr>(cinfo));
  cinfo->dest->next_output_byte = job.buffer;
  cinfo->dest->free_in_buffer = kBufferBytes;
}

// Writes n buffered bytes; a short write is the library's write error.
void WriteOut(j_compress_ptr cinfo, int32_t n) {
  JpegJob& job = JobOf(reinterpret_cast<j_common_ptr>(cinfo));
  int32_t written = 0;
  try {
    written = job.stream->Write(job.buffer, n);
  } catch (...) {
    job.thrown = std::current_exception();
  }
  if (written != n) ERREXIT(cinfo, JERR_FILE_WRITE);
}

boolean EmptyOutput(j_compress_ptr cinfo) {
  WriteOut(cinfo, kBufferBytes);
  InitDestination(cinfo);
  return TRUE;
}

void TermDestination(j_compress_ptr cinfo) {
  int32_t n = kBufferBytes - int32_t(cinfo->dest->free_in_buffer);
  if (n > 0) WriteOut(cinfo, n);
}

// The steps between the jumps: false when the library gave up.
bool RunDecode(jpeg_decompress_struct& cinfo, JpegJob& job) {
  if (setjmp(job.jump)) return false;
  jpeg_create_decompress(&cinfo);
  cinfo.mem->max_memory_to_use = kMaxMemory;
  jpeg_source_mgr& source = job.source;
  jpeg_progress_mgr& progress = job.progress;
  source.init_source = InitSource;
  source.fill_input_buffer = FillInput;
  source.skip_input_data = SkipInput;
  source.resync_to_restart = jpeg_resync_to_restart;
  source.term_source = TermSource;
  progress.progress_monitor = OnProgress;
  cinfo.src = &source;
  cinfo.progress = &progress;
  jpeg_read_header(&cinfo, TRUE);

  const int64_t w = cinfo.image_width, h = cinfo.image_height, c = cinfo.num_components;
  if (w * h * c > INT32_MAX / 2 || !PlausibleForStream(*job.stream, w * h * c / kExpansionRatio, 1))
    return false;
  jpeg_start_decompress(&cinfo);
  int32_t format = cinfo.output_components == 1   ? FORMAT_GREY8
                   : cinfo.output_components == 3 ? FORMAT_RGB24
                                                  : FORMAT_NONE;
  if (format == FORMAT_NONE || cinfo.output_width == 0) return false;
  job.pixmap =
      TPixmap::Create(int32_t(cinfo.output_width), int32_t(cinfo.output_height), format, 4);
  job.rows.resize(cinfo.output_height);
  for (JDIMENSION y = 0; y < cinfo.output_height; ++y)
    job.rows[y] = job.pixmap->PixelPtr(0, int32_t(y));
  while (cinfo.output_scanline < cinfo.output_height) {
    jpeg_read_scanlines(&cinfo, &job.rows[cinfo.output_scanline],
                        cinfo.output_height - cinfo.output_scanline);
  }
  jpeg_finish_decompress(&cinfo);
  return true;
}

bool RunEncode(jpeg_compress_struct& cinfo, JpegJob& job, int32_t quality) {
  if (setjmp(job.jump)) return false;
  jpeg_create_compress(&cinfo);
  jpeg_destination_mgr& destination = job.destination;
  destination.init_destination = InitDestination;
  destination.empty_output_buffer = EmptyOutput;
  destination.term_destination = TermDestination;
  cinfo.dest = &destination;
  const TPixmap& p = *job.pixmap;
  cinfo.image_width = JDIMENSION(p.width);
  cinfo.image_height = JDIMENSION(p.height);
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = p.PixelPtr(0, int32_t(cinfo.next_scanline));
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  return true;
}

void InitErrors(JpegJob& job) {
  job.source = {};
  job.destination = {};
  job.progress = {};
  jpeg_std_error(&job.error);
  job.error.error_exit = OnError;
  job.error.output_message = OnMessage;
  job.error.emit_message = OnEmit;
}

}  // namespace

Ref<TPixmap> JpegDecode(const Ref<TStream>& stream) {
  JpegJob job;
  InitErrors(job);
  job.stream = stream;
  jpeg_decompress_struct cinfo = {};
  cinfo.err = &job.error;
  cinfo.client_data = &job;
  bool ok = RunDecode(cinfo, job);
  jpeg_destroy_decompress(&cinfo);
  if (job.thrown) std::rethrow_exception(job.thrown);
  return ok ? job.pixmap : nullptr;
}

bool JpegEncode(const Ref<TPixmap>& rgb, const Ref<TStream>& stream, int32_t quality) {
  JpegJob job;
  InitErrors(job);
  job.stream = stream;
  job.pixmap = rgb;
  jpeg_compress_struct cinfo = {};
  cinfo.err = &job.error;
  cinfo.client_data = &job;
  bool ok = RunEncode(cinfo, job, quality);
  jpeg_destroy_compress(&cinfo);
  if (job.thrown) std::rethrow_exception(job.thrown);
  return ok;
}

int InitJpegCodecModule() {
  static ModuleGuard guard("libjpeg binding");
  return guard.Run({InitCoreModule}, [] {});
}

}  // namespace vxl
