#include "platform/jpeg/jpeg_codec.h"

// jpeglib.h needs size_t and FILE declared first.
#include <cstddef>
#include <cstdio>
//
#include <jerror.h>
#include <jpeglib.h>

#include <algorithm>
#include <csetjmp>
#include <exception>

namespace vxl::platform::jpeg {
namespace {

constexpr size_t kBufferBytes = 4096;
// Working memory libjpeg may use (progressive images keep all coefficients).
constexpr long kMaxMemory = 512L << 20;
// More scans than any encoder writes; hostile files with endless tiny scans stop here.
constexpr int kMaxScans = 1000;
constexpr JDIMENSION kRowsPerRead = 16;

// The state of one decode or encode; the library's structures point back to it. An exception
// from the caller's interface is caught where the library called us, kept here, and rethrown
// once the library's state is released.
struct Job {
  jpeg_error_mgr error{};
  jpeg_source_mgr source{};
  jpeg_destination_mgr destination{};
  jpeg_progress_mgr progress{};
  std::jmp_buf jump;
  DecodeTarget* target = nullptr;
  EncodeSource* output = nullptr;
  std::exception_ptr thrown;
  bool started = false;
  uint8_t buffer[kBufferBytes];
};

Job& JobOf(j_common_ptr cinfo) {
  return *static_cast<Job*>(cinfo->client_data);
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

// Runs a call into the caller's interface from inside the library: an exception is kept and the
// library is left through its error exit, so no C++ exception crosses its frames.
template <class Call>
auto Guarded(j_common_ptr cinfo, Call call) -> decltype(call()) {
  Job& job = JobOf(cinfo);
  bool failed = false;
  decltype(call()) result{};
  try {
    result = call();
  } catch (...) {
    job.thrown = std::current_exception();
    failed = true;
  }
  if (failed) OnError(cinfo);
  return result;
}

void InitSource(j_decompress_ptr) {}
void TermSource(j_decompress_ptr) {}

boolean FillInput(j_decompress_ptr cinfo) {
  auto* common = reinterpret_cast<j_common_ptr>(cinfo);
  Job& job = JobOf(common);
  std::span<const uint8_t> bytes = Guarded(common, [&job] { return job.target->Fill(); });
  if (bytes.empty()) {
    if (!job.started) ERREXIT(cinfo, JERR_INPUT_EMPTY);
    WARNMS(cinfo, JWRN_JPEG_EOF);
    job.buffer[0] = 0xFF;
    job.buffer[1] = JPEG_EOI;
    bytes = {job.buffer, 2};
  }
  job.started = true;
  cinfo->src->next_input_byte = bytes.data();
  cinfo->src->bytes_in_buffer = bytes.size();
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

void InitDestination(j_compress_ptr cinfo) {
  Job& job = JobOf(reinterpret_cast<j_common_ptr>(cinfo));
  cinfo->dest->next_output_byte = job.buffer;
  cinfo->dest->free_in_buffer = kBufferBytes;
}

// Writes n buffered bytes; a short write is the library's write error.
void WriteOut(j_compress_ptr cinfo, size_t n) {
  auto* common = reinterpret_cast<j_common_ptr>(cinfo);
  Job& job = JobOf(common);
  if (!Guarded(common, [&job, n] { return job.output->Write(job.buffer, n); }))
    ERREXIT(cinfo, JERR_FILE_WRITE);
}

boolean EmptyOutput(j_compress_ptr cinfo) {
  WriteOut(cinfo, kBufferBytes);
  InitDestination(cinfo);
  return TRUE;
}

void TermDestination(j_compress_ptr cinfo) {
  size_t n = kBufferBytes - cinfo->dest->free_in_buffer;
  if (n > 0) WriteOut(cinfo, n);
}

void InitErrors(Job& job, jpeg_common_struct& cinfo) {
  jpeg_std_error(&job.error);
  job.error.error_exit = OnError;
  job.error.output_message = OnMessage;
  job.error.emit_message = OnEmit;
  cinfo.err = &job.error;
  cinfo.client_data = &job;
}

// The steps between the jumps: false when the library gave up.
bool RunDecode(jpeg_decompress_struct& cinfo, Job& job) {
  if (setjmp(job.jump)) return false;
  jpeg_create_decompress(&cinfo);
  auto* common = reinterpret_cast<j_common_ptr>(&cinfo);
  cinfo.mem->max_memory_to_use = kMaxMemory;
  job.source.init_source = InitSource;
  job.source.fill_input_buffer = FillInput;
  job.source.skip_input_data = SkipInput;
  job.source.resync_to_restart = jpeg_resync_to_restart;
  job.source.term_source = TermSource;
  job.progress.progress_monitor = OnProgress;
  cinfo.src = &job.source;
  cinfo.progress = &job.progress;
  jpeg_read_header(&cinfo, TRUE);

  DecodeTarget& target = *job.target;
  if (!Guarded(common, [&] {
        return target.Plausible(cinfo.image_width, cinfo.image_height, cinfo.num_components);
      }))
    return false;
  jpeg_start_decompress(&cinfo);
  int components = cinfo.output_components;
  if ((components != 1 && components != 3) || cinfo.output_width == 0 ||
      !Guarded(common, [&] {
        return target.Accept(cinfo.output_width, cinfo.output_height, components);
      }))
    return false;
  // Several rows a call, so the library writes straight into them however many it makes at once.
  JSAMPROW rows[kRowsPerRead];
  while (cinfo.output_scanline < cinfo.output_height) {
    JDIMENSION first = cinfo.output_scanline;
    JDIMENSION count = std::min<JDIMENSION>(kRowsPerRead, cinfo.output_height - first);
    for (JDIMENSION i = 0; i < count; ++i)
      rows[i] = Guarded(common, [&] { return target.Row(first + i); });
    jpeg_read_scanlines(&cinfo, rows, count);
  }
  jpeg_finish_decompress(&cinfo);
  return true;
}

bool RunEncode(jpeg_compress_struct& cinfo, Job& job, int quality) {
  if (setjmp(job.jump)) return false;
  jpeg_create_compress(&cinfo);
  auto* common = reinterpret_cast<j_common_ptr>(&cinfo);
  job.destination.init_destination = InitDestination;
  job.destination.empty_output_buffer = EmptyOutput;
  job.destination.term_destination = TermDestination;
  cinfo.dest = &job.destination;
  EncodeSource& source = *job.output;
  cinfo.image_width = Guarded(common, [&] { return source.Width(); });
  cinfo.image_height = Guarded(common, [&] { return source.Height(); });
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    const uint8_t* row = Guarded(common, [&] { return source.Row(cinfo.next_scanline); });
    auto* rows = const_cast<JSAMPROW*>(&row);  // the library only reads the rows it compresses
    jpeg_write_scanlines(&cinfo, rows, 1);
  }
  jpeg_finish_compress(&cinfo);
  return true;
}

}  // namespace

bool Decode(DecodeTarget& target) {
  Job job;
  job.target = &target;
  jpeg_decompress_struct cinfo{};
  InitErrors(job, *reinterpret_cast<jpeg_common_struct*>(&cinfo));
  bool ok = RunDecode(cinfo, job);
  jpeg_destroy_decompress(&cinfo);  // also after a jump, and when nothing was created yet
  if (job.thrown) std::rethrow_exception(job.thrown);
  return ok;
}

bool Encode(EncodeSource& source, int quality) {
  Job job;
  job.output = &source;
  jpeg_compress_struct cinfo{};
  InitErrors(job, *reinterpret_cast<jpeg_common_struct*>(&cinfo));
  bool ok = RunEncode(cinfo, job, quality);
  jpeg_destroy_compress(&cinfo);
  if (job.thrown) std::rethrow_exception(job.thrown);
  return ok;
}

}  // namespace vxl::platform::jpeg
