// The ALAC packet codec against ffmpeg-made files and their source WAVs:
// every packet of the file's ALAC track decoded through the codec lookup must
// give the WAV's samples exactly, in the WAV's channel order and mask.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/service_registry.h"
#include "inputs/alac/alac_packet_decoder.h"
#include "inputs/mp4/memory_stream.h"
#include "inputs/mp4/mp4_file.h"
#include "inputs/mp4/mp4_open.h"
#include "inputs/mp4/sample_iterator.h"
#include "io/io_exceptions.h"
#include "playback/audio_block.h"
#include "playback/decoders/packet_codec.h"

namespace {

std::vector<std::uint8_t> read_fixture(const std::string& name) {
  const std::string path = std::string("Z:") + ZORV_ALAC_FIXTURES + "/" + name;
  std::vector<std::uint8_t> bytes;
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    std::uint8_t chunk[65536];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, f)) > 0;) bytes.insert(bytes.end(), chunk, chunk + n);
    std::fclose(f);
  }
  EXPECT_FALSE(bytes.empty()) << path;
  return bytes;
}

// The samples of a plain PCM WAV as floats, the way the block holds them.
std::vector<float> wav_samples(const std::vector<std::uint8_t>& wav, std::uint32_t bits) {
  std::size_t at = 12;
  while (at + 8 <= wav.size() && std::memcmp(&wav[at], "data", 4) != 0)
    at += 8 + (wav[at + 4] | wav[at + 5] << 8 | wav[at + 6] << 16 | std::size_t(wav[at + 7]) << 24);
  const std::uint8_t* data = wav.data() + at + 8;
  const std::size_t size = wav.size() - at - 8;
  std::vector<float> out;
  const std::size_t width = bits / 8;
  for (std::size_t i = 0; i + width <= size; i += width) {
    std::int32_t v = 0;
    for (std::size_t b = 0; b < width; ++b) v |= std::int32_t(data[i + b]) << (8 * b + 32 - bits);
    out.push_back(static_cast<float>((v >> (32 - bits)) / double(1u << (bits - 1))));
  }
  return out;
}

struct decoded {
  std::vector<float> samples;
  std::uint32_t channels = 0, mask = 0, rate = 0;
};

decoded decode_file(const std::string& name) {
  const std::vector<std::uint8_t> bytes = read_fixture(name);
  tarnex::memory_stream in(bytes.data(), bytes.size());
  tarnex::mp4_file file;
  tarnex::mp4_open_file(file, in, 0x13, true);
  tarnex::track_ptr track;
  for (const auto& t : file.tracks)
    if (t->kind == tarnex::kind_alac) track = t;
  EXPECT_TRUE(track);
  if (!track) return {};
  packet_decoder_ptr decoder;
  const abort_signal& never = never_raised_abort_signal();
  packet_codec::find_and_open(decoder, true, alac_owner_guid, 0, track->decoder_setup.data(),
                              static_cast<std::uint32_t>(track->decoder_setup.size()), never);
  decoded out;
  tarnex::sample_iterator it(track);
  it.position(0);
  audio_block block;
  // A damaged packet fails alone: the decoder goes on with the next one.
  const std::uint8_t garbage[8] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  EXPECT_THROW(decoder->decode(garbage, sizeof garbage, block, never), vantrel_io::exception_io_data);
  do {
    const tarnex::sample_location where = it.locate();
    decoder->decode(bytes.data() + where.file_offset, where.size, block, never);
    out.samples.insert(out.samples.end(), block.get_data(),
                       block.get_data() + block.get_sample_count() * block.get_channels());
    out.channels = block.get_channels();
    out.mask = block.get_channel_config();
    out.rate = block.get_sample_rate();
  } while (it.advance());
  return out;
}

// An "alac" box payload: version word, then the 24-byte configuration.
std::vector<std::uint8_t> setup(std::uint32_t frame_length, std::uint8_t bits, std::uint8_t channels) {
  std::vector<std::uint8_t> s(28, 0);
  s[4] = frame_length >> 24, s[5] = frame_length >> 16, s[6] = frame_length >> 8, s[7] = frame_length & 0xFF;
  s[9] = bits, s[10] = 40, s[11] = 10, s[12] = 14, s[13] = channels, s[15] = 255;
  s[26] = 0xAC, s[27] = 0x44;
  return s;
}

class AlacPacketDecoder : public testing::Test {
protected:
  static void SetUpTestSuite() { service_registry::table().build(service_factory::global_list_head); }
  static void TearDownTestSuite() { service_registry::table().clear(); }
};

}  // namespace

TEST_F(AlacPacketDecoder, DecodesBitExactInTheWaveOrderAndMask) {
  struct {
    const char* name;
    std::uint32_t bits, channels, mask;
  } cases[] = {{"stereo16", 16, 2, 0x3}, {"mono24", 24, 1, 0x4}, {"surround16", 16, 6, 0x3F}, {"surround24", 24, 6, 0x3F}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const decoded got = decode_file(std::string(c.name) + ".m4a");
    const std::vector<float> expected = wav_samples(read_fixture(std::string(c.name) + ".wav"), c.bits);
    EXPECT_EQ(got.channels, c.channels);
    EXPECT_EQ(got.mask, c.mask);
    EXPECT_EQ(got.rate, 44100u);
    ASSERT_EQ(got.samples.size(), expected.size());
    std::size_t differing = 0;
    for (std::size_t i = 0; i < expected.size(); ++i) differing += got.samples[i] != expected[i];
    EXPECT_EQ(differing, 0u);
  }
}

TEST_F(AlacPacketDecoder, RefusesUnusableSetUps) {
  const abort_signal& never = never_raised_abort_signal();
  packet_decoder_ptr decoder;
  const auto nine = setup(4096, 16, 9);
  EXPECT_THROW(packet_codec::find_and_open(decoder, true, alac_owner_guid, 0, nine.data(), 28, never),
               vantrel_io::exception_io_data);
  EXPECT_FALSE(decoder);
  const auto short_setup = setup(4096, 16, 2);
  EXPECT_THROW(packet_codec::find_and_open(decoder, true, alac_owner_guid, 0, short_setup.data(), 20, never),
               vantrel_io::exception_io_data);
  // Another owner's data is never taken for ALAC, whatever it holds.
  EXPECT_THROW(packet_codec::find_and_open(decoder, true, mp4_owner_guid, 0x7F, short_setup.data(), 28, never),
               vantrel_io::exception_io_data);
}
