// Turns the sample data of a WAVE file into audio blocks. The WAV input finds
// the format record and the data range, then picks one decoder: PCM read
// straight from the file, or any other format converted by the system's
// codecs.
#pragma once

#include <cstdint>

#include "core/abort_signal.h"
#include "foundation/refcounted.h"
#include "io/file_object.h"
#include "playback/inputs/wav/wav_format.h"

class audio_block;

inline constexpr std::uint64_t wav_size_unknown = ~std::uint64_t(0);

class wav_sample_decoder : public qiv::refcounted_object {
public:
  // The file stands at `data_offset`; `data_size` may be wav_size_unknown.
  virtual void open(const wave_format& format, const vantrel_io::file_ptr& file, std::uint64_t data_offset,
                    std::uint64_t data_size, const abort_signal& abort) = 0;
  // False at the end of the data.
  virtual bool decode(audio_block& out, const abort_signal& abort) = 0;
  // A backward seek on a file that cannot seek throws
  // exception_io_object_not_seekable; the input then starts over.
  virtual void seek(double seconds, const abort_signal& abort) = 0;
};

using wav_sample_decoder_ptr = qiv::ref_ptr<wav_sample_decoder>;

// Moves a file that may not seek to `target`: forward by skipping, never
// backward.
void wav_move_forward_to(vantrel_io::file_object& file, std::uint64_t current, std::uint64_t target,
                         const abort_signal& abort);
