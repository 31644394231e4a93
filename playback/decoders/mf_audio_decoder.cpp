#include "playback/decoders/mf_audio_decoder.h"

#include <mfapi.h>
#include <mferror.h>
#include <mfidl.h>

#include <algorithm>
#include <cstring>

#include "io/io_exceptions.h"
#include "playback/audio_block.h"
#include "playback/channel_mask.h"
#include "playback/decoders/mf_audio_guids.h"

namespace {

// Room for the largest packet output (an HE-AAC frame of 2048 samples, twice
// over) when the transform states no size of its own.
constexpr std::uint32_t fallback_output_frames = 4096;

void check(HRESULT result) {
  if (FAILED(result)) throw vantrel_io::exception_io_data();
}

}  // namespace

mf_audio_decoder::~mf_audio_decoder() {
  transform_.reset();
  if (mf_started_) MFShutdown();
  if (com_started_) CoUninitialize();
}

bool mf_audio_decoder::start() {
  if (mf_started_) return true;
  if (!com_started_) com_started_ = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
  // A version of 1 is refused as a bad start-up version: the call takes the
  // header's full version word.
  mf_started_ = SUCCEEDED(MFStartup(MF_VERSION, 0));
  return mf_started_;
}

void mf_audio_decoder::create(const CLSID& decoder_class) {
  check(CoCreateInstance(decoder_class, nullptr, CLSCTX_ALL, IID_IMFTransform, transform_.receive_void()));
}

void mf_audio_decoder::adopt(qiv::com_ptr<IMFTransform> transform) { transform_ = std::move(transform); }

bool mf_audio_decoder::set_output(const GUID& subtype, std::uint32_t bits, const mf_input_format& format) {
  qiv::com_ptr<IMFMediaType> type;
  check(MFCreateMediaType(type.receive()));
  const std::uint32_t bytes = bits / 8;
  check(type->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Audio));
  check(type->SetGUID(MF_MT_SUBTYPE, subtype));
  check(type->SetUINT32(MF_MT_AUDIO_BITS_PER_SAMPLE, bits));
  check(type->SetUINT32(MF_MT_AUDIO_NUM_CHANNELS, format.channels));
  check(type->SetUINT32(MF_MT_AUDIO_SAMPLES_PER_SECOND, format.sample_rate));
  check(type->SetUINT32(MF_MT_AUDIO_BLOCK_ALIGNMENT, bytes * format.channels));
  check(type->SetUINT32(MF_MT_AUDIO_AVG_BYTES_PER_SECOND, bytes * format.channels * format.sample_rate));
  if (format.channel_mask) check(type->SetUINT32(MF_MT_AUDIO_CHANNEL_MASK, format.channel_mask));
  const HRESULT result = transform_->SetOutputType(output_id_, type.get(), 0);
  if (result == MF_E_INVALIDMEDIATYPE) return false;
  check(result);
  return true;
}

void mf_audio_decoder::configure(const mf_input_format& format) {
  if (!transform_ || format.sample_rate == 0 || format.channels == 0) throw vantrel_io::exception_io_data();
  DWORD inputs = 0, outputs = 0;
  check(transform_->GetStreamCount(&inputs, &outputs));
  if (inputs != 1 || outputs != 1) throw vantrel_io::exception_io_data();
  const HRESULT ids = transform_->GetStreamIDs(1, &input_id_, 1, &output_id_);
  if (ids == E_NOTIMPL) {
    input_id_ = output_id_ = 0;
  } else {
    check(ids);
  }

  qiv::com_ptr<IMFMediaType> input;
  check(MFCreateMediaType(input.receive()));
  check(input->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Audio));
  check(input->SetGUID(MF_MT_SUBTYPE, format.subtype));
  check(input->SetUINT32(MF_MT_COMPRESSED, 1));
  check(input->SetUINT32(MF_MT_AUDIO_NUM_CHANNELS, format.channels));
  check(input->SetUINT32(MF_MT_AUDIO_SAMPLES_PER_SECOND, format.sample_rate));
  if (!format.user_data.empty())
    check(input->SetBlob(MF_MT_USER_DATA, format.user_data.data(), static_cast<UINT32>(format.user_data.size())));
  if (format.raw_aac_payload) check(input->SetUINT32(MF_MT_AAC_PAYLOAD_TYPE, 0));
  check(transform_->SetInputType(input_id_, input.get(), 0));

  bool output_set = set_output(mf_float_subtype, 32, format) || set_output(mf_pcm_subtype, 16, format);
  // Some transforms take only the types they list themselves.
  for (DWORD i = 0; !output_set; ++i) {
    qiv::com_ptr<IMFMediaType> type;
    if (FAILED(transform_->GetOutputAvailableType(output_id_, i, type.receive()))) break;
    GUID subtype{};
    UINT32 bits = 0;
    type->GetGUID(MF_MT_SUBTYPE, &subtype);
    type->GetUINT32(MF_MT_AUDIO_BITS_PER_SAMPLE, &bits);
    const bool usable = (subtype == mf_float_subtype && bits == 32) || (subtype == mf_pcm_subtype && bits == 16);
    if (usable && format.channel_mask) check(type->SetUINT32(MF_MT_AUDIO_CHANNEL_MASK, format.channel_mask));
    output_set = usable && SUCCEEDED(transform_->SetOutputType(output_id_, type.get(), 0));
  }
  if (!output_set) throw vantrel_io::exception_io_data();
  // Advisory: transforms that do not need the notice may refuse it.
  transform_->ProcessMessage(MFT_MESSAGE_NOTIFY_BEGIN_STREAMING, 0);
}

void mf_audio_decoder::flush() {
  if (transform_) check(transform_->ProcessMessage(MFT_MESSAGE_COMMAND_FLUSH, 0));
}

bool mf_audio_decoder::try_feed(const void* data, std::uint32_t size) {
  qiv::com_ptr<IMFMediaBuffer> buffer;
  check(MFCreateMemoryBuffer(size, buffer.receive()));
  BYTE* bytes = nullptr;
  check(buffer->Lock(&bytes, nullptr, nullptr));
  std::memcpy(bytes, data, size);
  buffer->Unlock();
  check(buffer->SetCurrentLength(size));
  qiv::com_ptr<IMFSample> sample;
  check(MFCreateSample(sample.receive()));
  check(sample->AddBuffer(buffer.get()));
  const HRESULT result = transform_->ProcessInput(input_id_, sample.get(), 0);
  if (result == MF_E_NOTACCEPTING) return false;
  check(result);
  return true;
}

void mf_audio_decoder::feed(const void* data, std::uint32_t size) {
  if (try_feed(data, size)) return;
  // The transform still holds output: take it, then the packet goes in. A
  // packet dropped here would be a hole in the audio.
  while (fetch_one()) {
  }
  if (!try_feed(data, size)) throw vantrel_io::exception_io_data();
}

bool mf_audio_decoder::fetch_one() {
  MFT_OUTPUT_STREAM_INFO info{};
  check(transform_->GetOutputStreamInfo(output_id_, &info));
  const bool provides =
      (info.dwFlags & (MFT_OUTPUT_STREAM_PROVIDES_SAMPLES | MFT_OUTPUT_STREAM_CAN_PROVIDE_SAMPLES)) != 0;
  MFT_OUTPUT_DATA_BUFFER output{};
  output.dwStreamID = output_id_;
  qiv::com_ptr<IMFSample> own;
  if (!provides) {
    const std::uint32_t frame_bytes = std::max<std::uint32_t>(output_channels_, 8) * 4;
    const DWORD size = info.cbSize ? info.cbSize : fallback_output_frames * frame_bytes;
    // The call takes the alignment less one (a mask), not the alignment.
    const DWORD alignment_mask = std::max<DWORD>(info.cbAlignment, 16) - 1;
    qiv::com_ptr<IMFMediaBuffer> buffer;
    check(MFCreateAlignedMemoryBuffer(size, alignment_mask, buffer.receive()));
    check(MFCreateSample(own.receive()));
    check(own->AddBuffer(buffer.get()));
    output.pSample = own.get();
  }
  DWORD status = 0;
  const HRESULT result = transform_->ProcessOutput(0, 1, &output, &status);
  qiv::com_ptr<IMFSample> produced;
  if (provides) *produced.receive() = output.pSample;
  if (output.pEvents) output.pEvents->Release();
  if (result == MF_E_TRANSFORM_NEED_MORE_INPUT) return false;
  check(result);
  if (output.dwStatus & MFT_OUTPUT_DATA_BUFFER_FORMAT_CHANGE || status & MFT_PROCESS_OUTPUT_STATUS_NEW_STREAMS)
    throw vantrel_io::exception_io_data();
  if (!output.pSample) return true;

  qiv::com_ptr<IMFMediaType> type;
  check(transform_->GetOutputCurrentType(output_id_, type.receive()));
  GUID subtype{};
  UINT32 bits = 0, rate = 0, channels = 0, mask = 0;
  check(type->GetGUID(MF_MT_SUBTYPE, &subtype));
  check(type->GetUINT32(MF_MT_AUDIO_BITS_PER_SAMPLE, &bits));
  check(type->GetUINT32(MF_MT_AUDIO_SAMPLES_PER_SECOND, &rate));
  check(type->GetUINT32(MF_MT_AUDIO_NUM_CHANNELS, &channels));
  if (FAILED(type->GetUINT32(MF_MT_AUDIO_CHANNEL_MASK, &mask)) || mask == 0) mask = default_channel_mask(channels);
  mask = channel_config_from_mask(mask);
  if (channels == 0 || channel_count_of_mask(mask) != channels) throw vantrel_io::exception_io_data();
  const bool is_float = subtype == mf_float_subtype;
  if (is_float ? bits != 32 : subtype != mf_pcm_subtype || bits < 8) throw vantrel_io::exception_io_data();
  if (!collected_.empty() && (rate != output_rate_ || mask != output_mask_ || channels != output_channels_ ||
                              bits != output_bits_ || is_float != output_float_))
    throw vantrel_io::exception_io_data();
  output_float_ = is_float;
  output_bits_ = bits;
  output_rate_ = rate;
  output_channels_ = channels;
  output_mask_ = mask;

  qiv::com_ptr<IMFMediaBuffer> contiguous;
  check(output.pSample->ConvertToContiguousBuffer(contiguous.receive()));
  BYTE* bytes = nullptr;
  DWORD length = 0;
  check(contiguous->Lock(&bytes, nullptr, &length));
  collected_.insert(collected_.end(), bytes, bytes + length);
  contiguous->Unlock();
  return true;
}

void mf_audio_decoder::finish_block(audio_block& out) {
  const std::uint32_t frame_bytes = output_channels_ * (output_bits_ / 8);
  const std::uint32_t bytes =
      frame_bytes ? static_cast<std::uint32_t>(collected_.size() - collected_.size() % frame_bytes) : 0;
  if (bytes == 0) return;
  if (output_float_)
    out.set_data_float(collected_.data(), bytes, 32, output_rate_, output_channels_, output_mask_);
  else
    out.set_data_int(collected_.data(), bytes, output_bits_, output_rate_, output_channels_, output_mask_);
}

void mf_audio_decoder::process(const void* data, std::uint32_t size, audio_block& out, const abort_signal& abort) {
  abort.check_and_throw();
  out.set_sample_count(0);
  out.set_channels(0, 0);
  out.set_sample_rate(0);
  if (!transform_) throw vantrel_io::exception_io_data();
  collected_.clear();
  if (size == 0)
    check(transform_->ProcessMessage(MFT_MESSAGE_COMMAND_DRAIN, 0));
  else
    feed(data, size);
  while (fetch_one()) abort.check_and_throw();
  finish_block(out);
}
