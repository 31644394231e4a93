#include "playback/output/pcm_converter.h"

#include <float.h>

#include "core/service_factory.h"
#include "io/io_exceptions.h"
#include "playback/sample_conversion.h"

namespace {

// Rounding to nearest with denormals flushed, whatever the caller's thread
// had set, and the caller's setting back afterwards.
class nearest_rounding_scope {
public:
  nearest_rounding_scope() : saved_(_controlfp(0, 0)) { _controlfp(_RC_NEAR | _DN_FLUSH, _MCW_RC | _MCW_DN); }
  ~nearest_rounding_scope() { _controlfp(saved_, _MCW_RC | _MCW_DN); }
  nearest_rounding_scope(const nearest_rounding_scope&) = delete;
  nearest_rounding_scope& operator=(const nearest_rounding_scope&) = delete;

private:
  unsigned saved_;
};

class pcm_converter_impl : public pcm_converter {
public:
  void convert(const audio_chunk_view& chunk, qiv::byte_array& out, unsigned valid_bits, unsigned container_bits,
               bool, float scale) override {
    if (container_bits != 8 && container_bits != 16 && container_bits != 24 && container_bits != 32)
      throw vantrel_io::exception_io_data();
    if (valid_bits < 2 || valid_bits > container_bits) throw vantrel_io::exception_io_data();
    if (chunk.channels == 0) throw vantrel_io::exception_io_data();
    const std::uint64_t count = std::uint64_t{chunk.frames} * chunk.channels;
    const std::uint64_t size = count * (container_bits / 8);
    if (size > 0xFFFFFFFFu) qiv::throw_bad_alloc();
    nearest_rounding_scope rounding;
    out.set_size(static_cast<std::uint32_t>(size));
    pcm_float_to_int(chunk.data, out.data(), static_cast<std::uint32_t>(count), container_bits, valid_bits, true,
                     scale);
    if (container_bits == 8)
      for (std::uint8_t& byte : out) byte ^= 0x80;
  }
};

service_factory_t<pcm_converter_impl> pcm_converter_registration;

} // namespace
