#include "playback/decoders/wavpack_fill_block.h"

#include <limits>
#include <string>

#include "io/io_exceptions.h"
#include "metadata/track_info.h"
#include "playback/audio_block.h"
#include "playback/channel_mask.h"
#include "playback/sample_conversion.h"

std::uint32_t wavpack_sample_rate(WavpackContext* context) {
  if (!context) return 44100;
  const std::uint32_t rate = WavpackGetSampleRate(context);
  if (rate < 1000 || rate > 2822400) vantrel_io::throw_io_data();
  return rate;
}

bool wavpack_fill_block(WavpackContext* context, int mode, const abort_signal& abort, audio_block& out,
                        std::uint32_t samples, std::vector<std::int32_t>& buffer) {
  const std::uint32_t rate = wavpack_sample_rate(context);
  const std::uint32_t channels = context ? static_cast<std::uint32_t>(WavpackGetNumChannels(context)) : 2;
  if (channels == 0) vantrel_io::throw_io_data();
  const std::uint32_t mask = channel_mask_or_default(context ? WavpackGetChannelMask(context) : 0, channels);
  const std::uint64_t values = std::uint64_t(samples) * channels;
  if (values > std::numeric_limits<std::uint32_t>::max() / 2) throw qiv::exception_overflow();
  if (buffer.size() < values) buffer.resize(static_cast<std::size_t>(values + values / 2));

  if (!context) return false;
  const std::uint32_t got = WavpackUnpackSamples(context, buffer.data(), samples);
  abort.check_and_throw();
  if (got == 0) return false;
  if (mode & MODE_FLOAT) {
    out.set_data(reinterpret_cast<const float*>(buffer.data()), got, channels, rate, mask);
    return true;
  }
  // Integers arrive right-aligned in 32 bits, whatever the stored width.
  const int bytes_per_sample = WavpackGetBytesPerSample(context);
  const std::uint32_t count = got * channels;
  out.set_sample_count(got);
  out.set_channels(channels, mask);
  out.set_sample_rate(rate);
  out.set_data_size(count);
  if (bytes_per_sample < 1 || bytes_per_sample > 4) vantrel_io::throw_io_data();
  // 2^31 / 2^(8 x bytes - 1): a power of two, so the scaling is exact.
  const float gain = static_cast<float>(1u << (32 - 8 * bytes_per_sample));
  convert_s32_to_float(buffer.data(), out.get_data(), count, gain);
  return true;
}

void wavpack_technical_info(WavpackContext* context, int mode, track_info& out) {
  out.set_tech("codec", 5, "WavPack", 7);
  if (!context) return;
  out.set_tech_int("samplerate", wavpack_sample_rate(context));
  out.set_tech_int("channels", WavpackGetNumChannels(context));
  out.set_tech_int("bitspersample", WavpackGetBitsPerSample(context));
  std::string profile = (mode & MODE_HIGH) ? "high" : (mode & MODE_FAST) ? "fast" : "normal";
  if (mode & MODE_HYBRID) profile += ", hybrid";
  out.set_tech("codec_profile", track_info::until_nul, profile.data(), profile.size());
  const char* encoding = (mode & MODE_HYBRID) ? "hybrid" : "lossless";
  out.set_tech("encoding", 8, encoding, track_info::until_nul);
}
