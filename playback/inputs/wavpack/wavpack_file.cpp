#include "playback/inputs/wavpack/wavpack_file.h"

#include <cmath>

#include "core/service_registry.h"
#include "core/tag_service.h"
#include "foundation/number_format.h"
#include "io/io_exceptions.h"
#include "metadata/input_dispatch.h"
#include "metadata/tags/tag_not_found.h"
#include "metadata/track_info.h"
#include "playback/audio_block.h"
#include "playback/inputs/wavpack/wavpack_correction_search.h"
#include "playback/decoders/wavpack_fill_block.h"

namespace {

constexpr std::uint32_t samples_per_block = 4096;

class exception_file_corrupted_text : public vantrel_io::exception_io_data {
public:
  explicit exception_file_corrupted_text(const char* text) : exception_io_data(vantrel_io::io_message("", text)) {}
};

}  // namespace

wavpack_file::~wavpack_file() { close_context(); }

void wavpack_file::close_context() {
  if (context_) WavpackCloseFile(context_);
  context_ = nullptr;
}

vantrel_io::file_ptr wavpack_file::take_file() {
  close_context();
  correction_.file.reset();
  return std::move(main_.file);
}

void wavpack_file::open(vantrel_io::file_ptr file, const char* path, bool for_writing, const abort_signal& abort) {
  vantrel_io::open_or_rewind(file, path, for_writing ? open_reason::info_write : open_reason::decode, abort);
  if (!file->can_seek()) vantrel_io::throw_exception_io_object_not_seekable();
  path_ = path;
  main_.file = std::move(file);
  abort.check_and_throw();
  open_context(false, abort);
  // The library has no way to ask for a correction stream only once it
  // meets a hybrid block: the search runs after a first open has shown one.
  if ((mode_ & MODE_HYBRID) && find_correction_file(path_.c_str(), correction_.file, abort)) {
    close_context();
    main_.file->rewind(abort);
    try {
      open_context(true, abort);
    } catch (const vantrel_io::exception_io_data&) {
      // A correction file cut short or damaged from its start must not cost
      // the lossy stream, which plays whole without it.
      close_context();
      correction_.file.reset();
      main_.file->rewind(abort);
      open_context(false, abort);
    }
  }
}

void wavpack_file::open_context(bool with_correction, const abort_signal& abort) {
  wavpack_abort_scope scope(main_, correction_, abort);
  char error[80] = {};
  context_ = WavpackOpenFileInputEx64(wavpack_stream_reader(), &main_, with_correction ? &correction_ : nullptr,
                                      error, OPEN_NORMALIZE, 0);
  abort.check_and_throw();
  if (!context_) vantrel_io::throw_io_data();
  mode_ = WavpackGetMode(context_);
  const std::uint32_t rate = wavpack_sample_rate(context_);
  const std::int64_t samples = WavpackGetNumSamples64(context_);
  length_ = samples > 0 ? static_cast<double>(samples) / rate : 0.0;
  end_reached_ = false;
}

void wavpack_file::read_info(track_info& out, const abort_signal& abort) {
  out.set_length(length_);
  wavpack_technical_info(context_, mode_, out);
  unsigned char md5[16];
  if (!main_.file->is_remote() && WavpackGetMD5Sum(context_, md5)) {
    const qiv::string_buffer hex = qiv::format_hex_string(md5);
    out.set_tech("md5", 3, hex.get_ptr(), hex.get_length());
  }
  const std::uint64_t saved = main_.file->get_position(abort);
  std::uint64_t audio_end = main_.file->get_size(abort);
  try {
    std::uint64_t tag_start = 0;
    service_lookup_unique_t<tag_service>()->read_ex(*main_.file, out, tag_start, abort);
    audio_end = tag_start;
  } catch (const vantrel_io::exception_io_data&) {
    // No tags, or damaged ones: the audio runs to the end of the file.
  }
  out.set_bitrate_from_size(audio_end, length_);
  main_.file->seek(saved, abort);
}

bool wavpack_file::decode(audio_block& out, const abort_signal& abort) {
  if (end_reached_) return false;
  wavpack_abort_scope scope(main_, correction_, abort);
  const int errors_before = WavpackGetNumErrors(context_);
  const bool filled = wavpack_fill_block(context_, mode_, abort, out, samples_per_block, buffer_);
  const bool new_errors = WavpackGetNumErrors(context_) > errors_before;
  if (!filled) {
    if (new_errors) throw exception_file_corrupted_text("File is corrupted");
    return false;
  }
  if (new_errors) {
    if (strict_ && !sink_) throw exception_file_corrupted_text("File is corrupted (CRC mismatch)");
    if (sink_) sink_->on_message("CRC mismatch", false);
  }
  return true;
}

void wavpack_file::seek(double seconds, const abort_signal& abort) {
  if (seconds >= length_) {
    end_reached_ = true;
    return;
  }
  end_reached_ = false;
  abort.check_and_throw();
  wavpack_abort_scope scope(main_, correction_, abort);
  const std::int64_t target = static_cast<std::int64_t>(std::floor(wavpack_sample_rate(context_) * seconds + 0.5));
  const bool ok = WavpackSeekSample64(context_, target) != 0;
  abort.check_and_throw();
  if (!ok) vantrel_io::throw_io_data();
}
