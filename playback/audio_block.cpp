#include "playback/audio_block.h"

#include <malloc.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "io/io_exceptions.h"
#include "playback/sample_conversion.h"

namespace {

class exception_invalid_bit_depth : public vantrel_io::exception_io_data {
public:
  exception_invalid_bit_depth() : exception_io_data(vantrel_io::io_message("invalid_bit_depth", "invalid bit depth")) {}
};

std::uint32_t read_le(const std::uint8_t* p, unsigned width) noexcept {
  std::uint32_t value = 0;
  for (unsigned b = 0; b < width; ++b) value |= static_cast<std::uint32_t>(p[b]) << (8 * b);
  return value;
}

std::uint32_t read_be(const std::uint8_t* p, unsigned width) noexcept {
  std::uint32_t value = 0;
  for (unsigned b = 0; b < width; ++b) value = value << 8 | p[b];
  return value;
}

// Sign-extends the low `bits` bits.
std::int32_t signed_value(std::uint32_t raw, unsigned bits) noexcept {
  const unsigned unused = 32 - bits;
  return static_cast<std::int32_t>(raw << unused) >> unused;
}

// The common little-endian 24-bit form: single samples until the source is
// word-aligned, then four samples from every three words.
void s24le_to_float(const std::uint8_t* source, float* destination, std::uint32_t count) {
  constexpr float unit = 1.0f / 8388608.0f;
  auto single = [&](std::uint32_t i) { destination[i] = static_cast<float>(signed_value(read_le(source + 3 * i, 3), 24)) * unit; };
  std::uint32_t i = 0;
  while (i < count && reinterpret_cast<std::uintptr_t>(source + 3 * i) % 4 != 0) single(i++);
  for (; i + 4 <= count; i += 4) {
    std::uint32_t w[3];
    std::memcpy(w, source + 3 * i, 12);
    destination[i] = static_cast<float>(signed_value(w[0], 24)) * unit;
    destination[i + 1] = static_cast<float>(signed_value(w[0] >> 24 | w[1] << 8, 24)) * unit;
    destination[i + 2] = static_cast<float>(signed_value(w[1] >> 16 | w[2] << 16, 24)) * unit;
    destination[i + 3] = static_cast<float>(static_cast<std::int32_t>(w[2]) >> 8) * unit;
  }
  while (i < count) single(i++);
}

void int_to_float(const std::uint8_t* source, float* destination, std::uint32_t count, unsigned bits, bool big_endian,
                  bool is_signed) {
  const unsigned width = bits / 8;
  if (!big_endian && is_signed) {
    if (bits == 16) return convert_s16_to_float(source, destination, count);
    if (bits == 24) return s24le_to_float(source, destination, count);
    if (bits == 32) return convert_s32_to_float(source, destination, count, 1.0f);
  }
  // Unsigned samples are signed ones with the top bit flipped.
  const std::uint32_t flip = is_signed ? 0 : 1u << (bits - 1);
  const float unit = static_cast<float>(std::ldexp(1.0, 1 - static_cast<int>(bits)));
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint8_t* p = source + width * i;
    const std::uint32_t raw = (big_endian ? read_be(p, width) : read_le(p, width)) ^ flip;
    destination[i] = static_cast<float>(signed_value(raw, bits)) * unit;
  }
}

// Standard IEEE half precision, zero, subnormals, infinities and NaN included.
float half_to_float(std::uint16_t half) noexcept {
  const std::uint32_t sign = static_cast<std::uint32_t>(half & 0x8000) << 16;
  const std::uint32_t exponent = (half >> 10) & 0x1F;
  const std::uint32_t mantissa = half & 0x3FF;
  std::uint32_t bits;
  if (exponent == 0) {
    const float magnitude = std::ldexp(static_cast<float>(mantissa), -24);
    return sign ? -magnitude : magnitude;
  } else if (exponent == 31) {
    bits = sign | 0x7F800000 | mantissa << 13;
  } else {
    bits = sign | (exponent + 112) << 23 | mantissa << 13;
  }
  float value;
  std::memcpy(&value, &bits, 4);
  return value;
}

} // namespace

audio_block::~audio_block() { _aligned_free(data_); }

void audio_block::set_data_size(std::uint32_t floats) {
  if (floats > capacity_) {
    // Half as much again, so blocks that grow a little at a time do not
    // reallocate every time.
    const std::uint64_t wanted = std::min<std::uint64_t>(floats + std::uint64_t{floats} / 2, 0x3FFFFFFF);
    if (floats > wanted) qiv::throw_bad_alloc();
    auto* grown = static_cast<float*>(_aligned_malloc(static_cast<std::size_t>(wanted) * sizeof(float), 16));
    if (!grown) qiv::throw_bad_alloc();
    if (size_) std::memcpy(grown, data_, size_ * sizeof(float));
    _aligned_free(data_);
    data_ = grown;
    capacity_ = static_cast<std::uint32_t>(wanted);
  }
  size_ = floats;
}

float* audio_block::prepare(std::uint32_t floats, std::uint32_t channels) {
  if (channels == 0) throw vantrel_io::exception_io_data();
  set_data_size(floats);
  return data_;
}

void audio_block::set_data(const float* samples, std::uint32_t frames, std::uint32_t channels,
                           std::uint32_t sample_rate, std::uint32_t channel_config) {
  const std::uint64_t floats = std::uint64_t{frames} * channels;
  if (floats > 0xFFFFFFFFu) qiv::throw_bad_alloc();
  set_data_size(static_cast<std::uint32_t>(floats));
  if (floats) {
    if (samples)
      std::memmove(data_, samples, static_cast<std::size_t>(floats) * sizeof(float));
    else
      std::memset(data_, 0, static_cast<std::size_t>(floats) * sizeof(float));
  }
  set_sample_count(frames);
  set_channels(channels, channel_config);
  set_sample_rate(sample_rate);
}

void audio_block::set_data_int(const void* bytes, std::uint32_t byte_count, std::uint32_t bits,
                               std::uint32_t sample_rate, std::uint32_t channels, std::uint32_t channel_config) {
  set_data_int_ex(bytes, byte_count, bits, sample_rate, channels, bits > 8 ? pcm_signed : pcm_unsigned,
                  channel_config);
}

void audio_block::set_data_int_ex(const void* bytes, std::uint32_t byte_count, std::uint32_t bits,
                                  std::uint32_t sample_rate, std::uint32_t channels, std::uint32_t flags,
                                  std::uint32_t channel_config) {
  // Below one byte per sample the float count would divide by zero.
  if (bits < 8) throw vantrel_io::exception_io_data();
  const std::uint32_t floats = byte_count / (bits / 8);
  float* out = prepare(floats, channels);
  if (bits == 8 || bits == 16 || bits == 24 || bits == 32)
    int_to_float(static_cast<const std::uint8_t*>(bytes), out, floats, bits, (flags & pcm_big_endian) != 0,
                 (flags & pcm_signed) != 0);
  else if (floats)
    std::memset(out, 0, floats * sizeof(float));
  set_sample_count(floats / channels);
  set_sample_rate(sample_rate);
  set_channels(channels, channel_config);
}

void audio_block::set_data_float(const void* bytes, std::uint32_t byte_count, std::uint32_t bits,
                                 std::uint32_t sample_rate, std::uint32_t channels, std::uint32_t channel_config) {
  if (bits != 16 && bits != 24 && bits != 32 && bits != 64) throw exception_invalid_bit_depth();
  const unsigned width = bits / 8;
  const std::uint32_t floats = byte_count / width;
  float* out = prepare(floats, channels);
  const auto* source = static_cast<const std::uint8_t*>(bytes);
  for (std::uint32_t i = 0; i < floats; ++i) {
    const std::uint8_t* p = source + width * i;
    if (bits == 16) {
      out[i] = half_to_float(static_cast<std::uint16_t>(read_le(p, 2)));
    } else if (bits == 24) {
      // The three bytes are the top of a single whose lowest mantissa byte is 0.
      const std::uint32_t raw = read_le(p, 3) << 8;
      std::memcpy(&out[i], &raw, 4);
    } else if (bits == 32) {
      std::memcpy(&out[i], p, 4);
    } else {
      double value;
      std::memcpy(&value, p, 8);
      out[i] = static_cast<float>(value);
    }
  }
  set_sample_count(floats / channels);
  set_sample_rate(sample_rate);
  set_channels(channels, channel_config);
}

bool audio_block::is_valid() const noexcept {
  if (channels_ < 1 || channels_ > 256) return false;
  if (sample_rate_ < 1000 || sample_rate_ > 2822400) return false;
  if (sample_count_ == 0 || sample_count_ >= (std::uint64_t{1} << 31) / (std::uint64_t{channels_} * 4)) return false;
  return std::uint64_t{sample_count_} * channels_ <= size_ && data_ != nullptr;
}

double audio_block::duration_seconds() const noexcept {
  if (sample_count_ == 0 || sample_rate_ == 0) return 0.0;
  return static_cast<double>(sample_count_) / static_cast<double>(sample_rate_);
}

std::uint32_t audio_block::drop_leading_samples(std::uint32_t n) noexcept {
  const std::uint32_t count = sample_count_;
  if (n >= count) {
    sample_count_ = 0;
    size_ = 0;
    return count;
  }
  const std::uint32_t kept = (count - n) * channels_;
  std::memmove(data_, data_ + n * channels_, kept * sizeof(float));
  sample_count_ = count - n;
  size_ = kept;
  return n;
}

bool audio_block::to_int_pcm(qiv::byte_array& out, unsigned container_bits, unsigned valid_bits,
                             bool left_justify) const {
  const unsigned bytes = (container_bits + 7) / 8;
  if (bytes == 0 || bytes > 4 || valid_bits == 0 || valid_bits > bytes * 8) return false;
  const std::uint32_t count = sample_count_ * channels_;
  out.set_size(count * bytes);
  return pcm_float_to_int(data_, out.data(), count, bytes * 8, valid_bits, left_justify, 1.0f);
}

audio_block& audio_block_list::insert_new(std::uint32_t position) {
  qiv::ref_ptr<audio_block> block(new audio_block());
  blocks_.append(block);
  if (position < blocks_.get_count() - 1) std::rotate(blocks_.begin() + position, blocks_.end() - 1, blocks_.end());
  return *block;
}

double audio_block_list::total_duration() const noexcept {
  double total = 0.0;
  for (std::uint32_t i = 0; i < get_count(); ++i) total += get(i).duration_seconds();
  return total;
}
