// Proves that each prebuilt codec library links into a Windows program and
// does real work there: a lossless round trip, or a parse or decode of a
// small hand-made stream.
#include <FLAC/stream_decoder.h>
#include <FLAC/stream_encoder.h>
#include <mpc/mpcdec.h>
#include <opus.h>
#include <vorbis/codec.h>
#include <wavpack/wavpack.h>
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/log.h>
}

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <process.h>

namespace {

using testing::StartsWith;
using Bytes = std::vector<unsigned char>;

// Interleaved 16-bit stereo test signal: two related tones, so that stereo
// decorrelation has something to do.
std::vector<int32_t> stereo_tone(int frames) {
  std::vector<int32_t> samples;
  for (int i = 0; i < frames; ++i) {
    const double a = std::sin(i * 0.05), b = std::sin(i * 0.31);
    samples.push_back(static_cast<int32_t>(12000 * a + 3000 * b));
    samples.push_back(static_cast<int32_t>(9000 * a - 2000 * b));
  }
  return samples;
}

void append_be(Bytes& out, uint32_t value, int bytes) {
  for (int shift = 8 * (bytes - 1); shift >= 0; shift -= 8) out.push_back(static_cast<unsigned char>(value >> shift));
}

void append_le(Bytes& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<unsigned char>(value >> (8 * i)));
}

TEST(Dependencies, VorbisParsesAnIdentificationHeader) {
  EXPECT_THAT(vorbis_version_string(), StartsWith("Xiph.Org libVorbis"));
  Bytes header = {0x01, 'v', 'o', 'r', 'b', 'i', 's', 0, 0, 0, 0, 2};  // version 0, two channels
  append_le(header, 44100, 4);
  for (const uint32_t bitrate : {0u, 128000u, 0u}) append_le(header, bitrate, 4);  // maximum, nominal, minimum
  header.insert(header.end(), {0xB8, 0x01});  // block sizes 2^8 and 2^11, framing bit
  vorbis_info info;
  vorbis_comment comment;
  vorbis_info_init(&info);
  vorbis_comment_init(&comment);
  ogg_packet packet{};
  packet.packet = header.data();
  packet.bytes = static_cast<long>(header.size());
  packet.b_o_s = 1;
  EXPECT_EQ(vorbis_synthesis_headerin(&info, &comment, &packet), 0);
  EXPECT_EQ(info.channels, 2);
  EXPECT_EQ(info.rate, 44100);
  header[1] = 'x';  // no longer a Vorbis header
  EXPECT_EQ(vorbis_synthesis_idheader(&packet), 0);
  vorbis_comment_clear(&comment);
  vorbis_info_clear(&info);
}

TEST(Dependencies, OpusDecoderConcealsALostFrameWithSilence) {
  EXPECT_THAT(opus_get_version_string(), StartsWith("libopus "));
  int error = -1;
  OpusDecoder* decoder = opus_decoder_create(48000, 2, &error);
  ASSERT_EQ(error, OPUS_OK);
  std::vector<float> pcm(960 * 2, 1.0f);
  // No data: packet loss concealment of one 20 ms frame, through the float API.
  EXPECT_EQ(opus_decode_float(decoder, nullptr, 0, pcm.data(), 960, 0), 960);
  for (float sample : pcm) ASSERT_NEAR(sample, 0.0f, 1e-6f);
  opus_decoder_destroy(decoder);
}

struct FlacMemory {
  Bytes encoded;
  size_t read_pos = 0;
  std::vector<int32_t> decoded;
  bool error = false;
};

// Also the proof for libogg: paging, page checksums and resynchronisation.
TEST(Dependencies, FlacRoundTripsThroughOgg) {
  EXPECT_THAT(FLAC__VERSION_STRING, StartsWith("1."));
  const int frames = 4096;
  const std::vector<int32_t> samples = stereo_tone(frames);
  FlacMemory memory;

  FLAC__StreamEncoder* encoder = FLAC__stream_encoder_new();
  FLAC__stream_encoder_set_channels(encoder, 2);
  FLAC__stream_encoder_set_bits_per_sample(encoder, 16);
  FLAC__stream_encoder_set_sample_rate(encoder, 44100);
  auto write_encoded = [](const FLAC__StreamEncoder*, const FLAC__byte buffer[], size_t bytes, uint32_t, uint32_t,
                          void* client) {
    auto* m = static_cast<FlacMemory*>(client);
    m->encoded.insert(m->encoded.end(), buffer, buffer + bytes);
    return FLAC__STREAM_ENCODER_WRITE_STATUS_OK;
  };
  // Fails with "unsupported container" when libFLAC was built without Ogg.
  ASSERT_EQ(FLAC__stream_encoder_init_ogg_stream(encoder, nullptr, write_encoded, nullptr, nullptr, nullptr, &memory),
            FLAC__STREAM_ENCODER_INIT_STATUS_OK);
  ASSERT_TRUE(FLAC__stream_encoder_process_interleaved(encoder, samples.data(), frames));
  ASSERT_TRUE(FLAC__stream_encoder_finish(encoder));
  FLAC__stream_encoder_delete(encoder);
  ASSERT_EQ(std::string(memory.encoded.begin(), memory.encoded.begin() + 4), "OggS");

  FLAC__StreamDecoder* decoder = FLAC__stream_decoder_new();
  auto read = [](const FLAC__StreamDecoder*, FLAC__byte buffer[], size_t* bytes, void* client) {
    auto* m = static_cast<FlacMemory*>(client);
    *bytes = std::min(*bytes, m->encoded.size() - m->read_pos);
    std::memcpy(buffer, m->encoded.data() + m->read_pos, *bytes);
    m->read_pos += *bytes;
    return *bytes ? FLAC__STREAM_DECODER_READ_STATUS_CONTINUE : FLAC__STREAM_DECODER_READ_STATUS_END_OF_STREAM;
  };
  auto write = [](const FLAC__StreamDecoder*, const FLAC__Frame* frame, const FLAC__int32* const channels[],
                  void* client) {
    auto* m = static_cast<FlacMemory*>(client);
    for (uint32_t i = 0; i < frame->header.blocksize; ++i) {
      m->decoded.push_back(channels[0][i]);
      m->decoded.push_back(channels[1][i]);
    }
    return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
  };
  auto error = [](const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus, void* client) {
    static_cast<FlacMemory*>(client)->error = true;
  };
  ASSERT_EQ(FLAC__stream_decoder_init_ogg_stream(decoder, read, nullptr, nullptr, nullptr, nullptr, write, nullptr,
                                                 error, &memory),
            FLAC__STREAM_DECODER_INIT_STATUS_OK);
  EXPECT_TRUE(FLAC__stream_decoder_process_until_end_of_stream(decoder));
  FLAC__stream_decoder_delete(decoder);
  EXPECT_FALSE(memory.error);
  EXPECT_EQ(memory.decoded, samples);
}

TEST(Dependencies, WavPackRoundTripsThroughAFile) {
  EXPECT_THAT(WavpackGetLibraryVersionString(), StartsWith("5."));
  const int frames = 10000;
  std::vector<int32_t> samples = stereo_tone(frames);

  Bytes encoded;
  auto write_block = [](void* id, void* data, int32_t bytes) {
    auto* out = static_cast<Bytes*>(id);
    out->insert(out->end(), static_cast<unsigned char*>(data), static_cast<unsigned char*>(data) + bytes);
    return 1;
  };
  WavpackContext* encoder = WavpackOpenFileOutput(write_block, &encoded, nullptr);
  WavpackConfig config{};
  config.bytes_per_sample = 2;
  config.bits_per_sample = 16;
  config.num_channels = 2;
  config.channel_mask = 3;
  config.sample_rate = 44100;
  ASSERT_TRUE(WavpackSetConfiguration64(encoder, &config, frames, nullptr));
  ASSERT_TRUE(WavpackPackInit(encoder));
  ASSERT_TRUE(WavpackPackSamples(encoder, samples.data(), frames));
  ASSERT_TRUE(WavpackFlushSamples(encoder));
  WavpackCloseFile(encoder);

  // Decoding goes through the library's own file reader, as the player's will.
  const auto path = std::filesystem::temp_directory_path() / ("zorv_deps_" + std::to_string(_getpid()) + ".wv");
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(encoded.data()), encoded.size());
  const std::u8string utf8_path = path.u8string();
  char error[80] = {};
  WavpackContext* decoder =
      WavpackOpenFileInput(reinterpret_cast<const char*>(utf8_path.c_str()), error, OPEN_FILE_UTF8, 0);
  ASSERT_NE(decoder, nullptr) << error;
  EXPECT_EQ(WavpackGetNumSamples64(decoder), frames);
  EXPECT_EQ(WavpackGetNumChannels(decoder), 2);
  std::vector<int32_t> decoded(samples.size());
  EXPECT_EQ(WavpackUnpackSamples(decoder, decoded.data(), frames), static_cast<uint32_t>(frames));
  WavpackCloseFile(decoder);
  std::filesystem::remove(path);
  EXPECT_EQ(decoded, samples);
}

struct MpcMemory {
  Bytes bytes;
  mpc_int32_t pos = 0;
};

TEST(Dependencies, MpcDemuxerRejectsABrokenStream) {
  mpc_reader reader{};
  reader.read = [](mpc_reader* r, void* ptr, mpc_int32_t size) {
    auto* m = static_cast<MpcMemory*>(r->data);
    size = std::min<mpc_int32_t>(size, static_cast<mpc_int32_t>(m->bytes.size()) - m->pos);
    std::memcpy(ptr, m->bytes.data() + m->pos, size);
    m->pos += size;
    return size;
  };
  reader.seek = [](mpc_reader* r, mpc_int32_t offset) -> mpc_bool_t {
    auto* m = static_cast<MpcMemory*>(r->data);
    if (offset < 0 || offset > static_cast<mpc_int32_t>(m->bytes.size())) return MPC_FALSE;
    m->pos = offset;
    return MPC_TRUE;
  };
  reader.tell = [](mpc_reader* r) { return static_cast<MpcMemory*>(r->data)->pos; };
  reader.get_size = [](mpc_reader* r) { return static_cast<mpc_int32_t>(static_cast<MpcMemory*>(r->data)->bytes.size()); };
  reader.canseek = [](mpc_reader*) -> mpc_bool_t { return MPC_TRUE; };

  // A stream-version-8 signature followed by a stream header packet that is
  // cut short: the demuxer must refuse it rather than read past the end.
  for (const Bytes& bytes : {Bytes{'M', 'P', 'C', 'K', 'S', 'H', 0x20, 0x00}, Bytes(64, 0x5A)}) {
    MpcMemory memory{bytes};
    reader.data = &memory;
    EXPECT_EQ(mpc_demux_init(&reader), nullptr);
  }
}

// A 36-byte ALAC "magic cookie": 16-bit stereo, 44.1 kHz, the given frame length.
Bytes alac_cookie(uint32_t frame_length) {
  Bytes cookie;
  append_be(cookie, 36, 4);
  cookie.insert(cookie.end(), {'a', 'l', 'a', 'c'});
  append_be(cookie, 0, 4);  // version
  append_be(cookie, frame_length, 4);
  cookie.insert(cookie.end(), {0, 16, 40, 10, 14, 2});  // compatible version, bit depth, rice parameters, channels
  append_be(cookie, 255, 2);                            // maximum run
  append_be(cookie, 0, 4);                              // maximum frame size
  append_be(cookie, 0, 4);                              // average bit rate
  append_be(cookie, 44100, 4);
  return cookie;
}

AVCodecContext* open_alac(const Bytes& cookie, int* result) {
  const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_ALAC);
  AVCodecContext* context = avcodec_alloc_context3(codec);
  context->extradata = static_cast<uint8_t*>(av_mallocz(cookie.size() + AV_INPUT_BUFFER_PADDING_SIZE));
  std::memcpy(context->extradata, cookie.data(), cookie.size());
  context->extradata_size = static_cast<int>(cookie.size());
  *result = avcodec_open2(context, codec, nullptr);
  return context;
}

TEST(Dependencies, AvcodecDecodesAnUncompressedAlacFrame) {
  av_log_set_level(AV_LOG_QUIET);
  ASSERT_NE(avcodec_find_decoder(AV_CODEC_ID_ALAC), nullptr);
  EXPECT_EQ(avcodec_find_decoder(AV_CODEC_ID_MP3), nullptr);  // only ALAC is built in

  const int frames = 4;
  int result = 0;
  AVCodecContext* context = open_alac(alac_cookie(frames), &result);
  ASSERT_EQ(result, 0);
  EXPECT_EQ(context->sample_fmt, AV_SAMPLE_FMT_S16P);
  EXPECT_EQ(context->sample_rate, 44100);
  EXPECT_EQ(context->ch_layout.nb_channels, 2);

  // One channel-pair element stored uncompressed, then the end element.
  const int16_t left[frames] = {1, -2, 300, -32768}, right[frames] = {32767, 0, -5, 77};
  Bytes packet_bytes;
  uint64_t bits = 0;
  int bit_count = 0;
  auto put = [&](uint32_t value, int count) {
    bits = (bits << count) | (value & ((1u << count) - 1));
    for (bit_count += count; bit_count >= 8; bit_count -= 8) packet_bytes.push_back(static_cast<unsigned char>(bits >> (bit_count - 8)));
  };
  // A channel pair element, tag 0, 12 unused bits, no sample count (a whole
  // frame), no extra bits, stored uncompressed.
  for (const auto& [value, bits_used] : {std::pair{1u, 3}, {0u, 4}, {0u, 12}, {0u, 1}, {0u, 2}, {1u, 1}}) put(value, bits_used);
  for (int i = 0; i < frames; ++i) {
    put(static_cast<uint16_t>(left[i]), 16);
    put(static_cast<uint16_t>(right[i]), 16);
  }
  put(7, 3);  // end
  if (bit_count) put(0, 8 - bit_count);

  AVPacket* packet = av_packet_alloc();
  ASSERT_EQ(av_new_packet(packet, static_cast<int>(packet_bytes.size())), 0);
  std::memcpy(packet->data, packet_bytes.data(), packet_bytes.size());
  AVFrame* frame = av_frame_alloc();
  ASSERT_EQ(avcodec_send_packet(context, packet), 0);
  ASSERT_EQ(avcodec_receive_frame(context, frame), 0);
  ASSERT_EQ(frame->nb_samples, frames);
  for (int i = 0; i < frames; ++i) {
    EXPECT_EQ(reinterpret_cast<const int16_t*>(frame->data[0])[i], left[i]);
    EXPECT_EQ(reinterpret_cast<const int16_t*>(frame->data[1])[i], right[i]);
  }
  av_frame_free(&frame);
  av_packet_free(&packet);
  avcodec_free_context(&context);
}

}  // namespace
