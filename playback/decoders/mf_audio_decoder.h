// A Media Foundation audio decoder transform driven one packet at a time:
// start-up, type set-up (32-bit float output, else 16-bit PCM) and the
// feed/drain loop that gathers every output a packet releases into one block.
// The AAC and MPEG packet decoders differ only in how they find the transform
// and in the input type they describe.
#pragma once

#include <windows.h>
#include <mftransform.h>

#include <cstdint>
#include <vector>

#include "core/abort_signal.h"
#include "foundation/com_ptr.h"

class audio_block;

struct mf_input_format {
  GUID subtype;
  std::uint32_t sample_rate = 0;
  std::uint32_t channels = 0;
  // The speakers the output is asked for (MF_MT_AUDIO_CHANNEL_MASK); 0:
  // none named. Decoders may refuse more than two channels without one, and
  // reorder or mix the channels to the speakers named.
  std::uint32_t channel_mask = 0;
  // MF_MT_USER_DATA; empty: none.
  std::vector<std::uint8_t> user_data;
  // Raw AAC: some decoders (Wine's) give no output until they are told the
  // payload carries no ADTS or LATM framing.
  bool raw_aac_payload = false;
};

class mf_audio_decoder {
public:
  mf_audio_decoder() = default;
  ~mf_audio_decoder();
  mf_audio_decoder(const mf_audio_decoder&) = delete;
  mf_audio_decoder& operator=(const mf_audio_decoder&) = delete;

  // Initialises COM on this thread when needed and starts Media Foundation;
  // false when the system has none. Once per object.
  bool start();
  // The transform of a decoder class: exception_io_data when it cannot be made.
  void create(const CLSID& decoder_class);
  void adopt(qiv::com_ptr<IMFTransform> transform);
  bool has_transform() const { return transform_.get() != nullptr; }
  // Sets the input type and an output type the block can take; a transform
  // that refuses both output kinds is a data error here, not silence later.
  void configure(const mf_input_format& format);
  // Feeds a packet (a size of 0 drains the transform) and puts every output
  // it releases into `out`, left empty when there is none.
  void process(const void* data, std::uint32_t size, audio_block& out, const abort_signal& abort);
  void flush();

private:
  void feed(const void* data, std::uint32_t size);
  bool try_feed(const void* data, std::uint32_t size);
  // One output appended to collected_; false when the transform needs input.
  bool fetch_one();
  bool set_output(const GUID& subtype, std::uint32_t bits, const mf_input_format& format);
  void finish_block(audio_block& out);

  qiv::com_ptr<IMFTransform> transform_;
  DWORD input_id_ = 0;
  DWORD output_id_ = 0;
  bool com_started_ = false;
  bool mf_started_ = false;
  bool output_float_ = false;
  std::uint32_t output_bits_ = 0;
  std::uint32_t output_rate_ = 0;
  std::uint32_t output_channels_ = 0;
  std::uint32_t output_mask_ = 0;
  std::vector<BYTE> collected_;
};
