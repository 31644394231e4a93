// The chunk walk of WAV, RF64 and Wave64 files and the PCM sample decoder,
// on files built in memory: damaged headers, odd and truncated chunks,
// format limits and streams that cannot seek.
#include "playback/inputs/wav/wav_parser.h"

#include <gtest/gtest.h>

#include <cstring>

#include "io/io_exceptions.h"
#include "metadata/track_info.h"
#include "playback/audio_block.h"
#include "tests/io/io_test_support.h"
#include "tests/io/model_file.h"

namespace {

std::string le(std::uint64_t v, int bytes) {
  std::string out;
  for (int i = 0; i < bytes; ++i) out += char(v >> (8 * i));
  return out;
}

std::string chunk(const std::string& id, const std::string& data, std::uint32_t declared = ~0u) {
  std::string out = id + le(declared == ~0u ? data.size() : declared, 4) + data;
  if (data.size() & 1) out += '\0';
  return out;
}

std::string fmt_record(std::uint16_t tag, std::uint16_t channels, std::uint32_t rate, std::uint16_t bits,
                       std::uint32_t byte_rate = 0) {
  const std::uint16_t align = static_cast<std::uint16_t>(channels * (bits / 8 ? bits / 8 : 1));
  return le(tag, 2) + le(channels, 2) + le(rate, 4) + le(byte_rate ? byte_rate : rate * align, 4) + le(align, 2) +
         le(bits, 2);
}

const std::string stereo16 = chunk("fmt ", fmt_record(1, 2, 44100, 16));

std::string riff(const std::string& body, std::uint32_t declared = ~0u) {
  return "RIFF" + le(declared == ~0u ? 4 + body.size() : declared, 4) + "WAVE" + body;
}

// Frame f of the test data: left = f, right = -f.
std::string frames(int count) {
  std::string out;
  for (int f = 0; f < count; ++f) out += le(std::uint16_t(f), 2) + le(std::uint16_t(-f), 2);
  return out;
}

struct walk {
  std::uint64_t data_offset, data_size;
};

walk parse(const std::string& content, bool seekable = true) {
  auto file = io_test::make_model_file(content);
  file->seekable = seekable;
  wav_parser parser;
  parser.open(vantrel_io::file_ptr(file.get()), io_test::no_abort());
  return {parser.data_offset(), parser.data_size()};
}

TEST(WavParser, ChunkWalkFindsTheData) {
  const std::string data = chunk("data", frames(10));
  struct row {
    std::string content;
    std::uint64_t offset, size;
    const char* why;
  } rows[] = {
      {riff(stereo16 + data), 44, 40, "plain file"},
      {riff(stereo16 + data, 0), 44, 40, "header size 0 walks to the file end"},
      {riff(stereo16 + data, 0xFFFFFFFF), 44, 40, "header size of all ones walks to the file end"},
      {riff(stereo16 + chunk("data", frames(10), 0)), 44, 40, "data size 0 reaches the end"},
      {riff(stereo16 + chunk("data", frames(10), 0) + chunk("LIST", "INFOabcd") + chunk("JUNK", "x")), 44, 40,
       "data size 0 ends where known chunks reaching the end begin"},
      {riff(stereo16 + chunk("data", frames(10), 0) + chunk("LIST", "INFOabc"), 0).substr(0, 99), 44, 40,
       "and so in a file that states no RIFF size, its last pad byte missing"},
      {riff(stereo16 + chunk("data", frames(10), 4000)), 44, 40, "truncated data is cut to what is there"},
      {riff(stereo16 + chunk("JUNK", "abc") + data), 56, 40, "odd chunk with its pad byte"},
      {riff(stereo16 + data + chunk("LIST", "abc")).substr(0, 95), 44, 40, "last odd chunk without its pad byte"},
      {riff(stereo16 + data) + "trailing", 44, 40, "bytes after the RIFF end are ignored"},
      {riff(stereo16 + chunk("data", frames(1)) + chunk("data", frames(2))), 56, 8, "the last data chunk wins"},
      {riff(chunk("fmt ", fmt_record(1, 2, 44100, 16) + le(99, 2)) + data), 46, 40, "cbSize cut to the chunk"},
  };
  for (const row& r : rows) {
    const walk w = parse(r.content);
    EXPECT_EQ(w.data_offset, r.offset) << r.why;
    EXPECT_EQ(w.data_size, r.size) << r.why;
  }
}

TEST(WavParser, MalformedFilesAreRejected) {
  const std::string data = chunk("data", frames(4));
  const std::string rows[] = {
      "RIFX" + riff(stereo16 + data).substr(4),
      riff(data),                                                      // no format
      riff(stereo16),                                                  // no data
      riff(chunk("fmt ", fmt_record(1, 2, 44100, 16) + "x") + data),  // 17-byte format
      riff(chunk("fmt ", fmt_record(1, 2, 999, 16)) + data),
      riff(chunk("fmt ", fmt_record(1, 2, 2822401, 16)) + data),
      riff(chunk("fmt ", fmt_record(1, 257, 44100, 16)) + data),
      riff(chunk("fmt ", fmt_record(1, 0, 44100, 16)) + data),
      "RF64" + le(0xFFFFFFFF, 4) + "WAVE" + stereo16 + data,               // RF64 without ds64
      "RF64" + le(0xFFFFFFFF, 4) + "WAVE" + chunk("ds64", std::string(12, '\0')) + stereo16 + data,
      "riff" + std::string(12, 'x') + le(100, 8),                           // not the Wave64 GUID
  };
  for (const std::string& content : rows) EXPECT_THROW(parse(content), vantrel_io::exception_io_data) << content;
}

TEST(WavParser, FormatRatesAtTheLimitsPass) {
  for (std::uint32_t rate : {1000u, 8000u, 2822400u})
    EXPECT_NO_THROW(parse(riff(chunk("fmt ", fmt_record(1, 1, rate, 16)) + chunk("data", "ab")))) << rate;
}

TEST(WavParser, Rf64TakesTheDataSizeFromDs64AsFarAsTheFileReaches) {
  for (std::uint64_t stated : {std::uint64_t(36), std::uint64_t(0xFFFFFFFFFFFF)}) {
    const std::string body = "WAVE" + chunk("ds64", le(0, 8) + le(stated, 8) + le(10, 8)) + stereo16 +
                             chunk("data", frames(10), 0xFFFFFFFF);
    std::string content = "RF64" + le(0xFFFFFFFF, 4) + body;
    content.replace(20, 8, le(content.size() - 8, 8));
    const walk w = parse(content);
    EXPECT_EQ(w.data_size, stated == 36 ? 36u : 40u) << stated;
  }
}

TEST(WavParser, Wave64ChunksAreGuidsAlignedToEight) {
  const std::string riff_guid("riff\x2E\x91\xCF\x11\xA5\xD6\x28\xDB\x04\xC1\x00\x00", 16);
  const std::string wave_guid("wave\xF3\xAC\xD3\x11\x8C\xD1\x00\xC0\x4F\x8E\xDB\x8A", 16);
  auto guid_chunk = [](const char* fourcc, const std::string& data) {
    std::string id = std::string(fourcc, 4) + std::string("\xF3\xAC\xD3\x11\x8C\xD1\x00\xC0\x4F\x8E\xDB\x8A", 12);
    std::string out = id + le(24 + data.size(), 8) + data;
    out.resize((out.size() + 7) / 8 * 8, '\0');
    return out;
  };
  const std::string body = wave_guid + guid_chunk("fmt ", fmt_record(1, 2, 44100, 16)) + guid_chunk("data", frames(3));
  const std::string content = riff_guid + le(24 + body.size(), 8) + body;
  const walk w = parse(content);
  EXPECT_EQ(w.data_offset, 40u + 24 + 16 + 24);  // the 16-byte format padded to 16
  EXPECT_EQ(w.data_size, 12u);
  EXPECT_THROW(parse(riff_guid + le(23, 8) + body), vantrel_io::exception_io_data);
}

TEST(WavParser, AdpcmLengthComesFromTheBlocksAndTheFactChunk) {
  // 44100 bytes: 21 blocks of 2048 and one of 1092 bytes. Stereo blocks of
  // 2048 bytes hold 2036 samples (Microsoft) or 2041 (IMA).
  const std::uint64_t ms_held = 21 * 2036 + 2 + (1092 - 14), ima_held = 21 * 2041 + 1 + (1092 - 8) / 8 * 8;
  struct row {
    std::uint16_t tag, bits;
    std::string fact;
    double length;
    const char* why;
  } rows[] = {
      {2, 4, "", ms_held / 44100.0, "Microsoft: every sample of the blocks, the last one short"},
      {0x11, 4, "", ima_held / 44100.0, "IMA: the same"},
      {2, 4, chunk("fact", le(40000, 4)), 40000 / 44100.0, "the fact chunk's count"},
      {0x11, 4, chunk("fact", le(0, 4)), ima_held / 44100.0, "a fact count of 0 is none"},
      {2, 4, chunk("fact", le(99999, 4)), ms_held / 44100.0, "a fact count past the blocks is cut to them"},
      {2, 0, "", 44100.0 / 16000, "no bits per sample: the stored rate stays"},
      {2, 16, "", 44100.0 / 16000, "not an ADPCM depth: the stored rate stays"},
  };
  for (const row& r : rows) {
    std::string fmt = le(r.tag, 2) + le(2, 2) + le(44100, 4) + le(16000, 4) + le(2048, 2) + le(r.bits, 2);
    auto file =
        io_test::make_model_file(riff(chunk("fmt ", fmt) + r.fact + chunk("data", std::string(44100, '\0'))));
    wav_parser parser;
    parser.open(vantrel_io::file_ptr(file.get()), io_test::no_abort());
    track_info_impl info;
    parser.get_info(info, io_test::no_abort());
    EXPECT_DOUBLE_EQ(info.get_length(), r.length) << r.why;
  }
}

class WavPcm : public ::testing::Test {
protected:
  std::vector<float> decode_all(wav_parser& parser) {
    std::vector<float> samples;
    audio_block block;
    while (parser.decode(block, io_test::no_abort()))
      samples.insert(samples.end(), block.get_data(), block.get_data() + block.get_data_size());
    return samples;
  }
  static float left(int frame) { return frame / 32768.0f; }
};

TEST_F(WavPcm, EndsAtTheLastWholeFrameAndSeeksToSamples) {
  auto file = io_test::make_model_file(riff(stereo16 + chunk("data", frames(3000) + "xy")));
  wav_parser parser;
  parser.open(vantrel_io::file_ptr(file.get()), io_test::no_abort());
  parser.start_decoding(io_test::no_abort());
  std::vector<float> all = decode_all(parser);
  ASSERT_EQ(all.size(), 6000u);
  EXPECT_EQ(all[2 * 2999], left(2999));

  parser.seek(1000.0 / 44100, io_test::no_abort());
  std::vector<float> rest = decode_all(parser);
  ASSERT_EQ(rest.size(), 4000u);
  EXPECT_EQ(rest[0], left(1000));

  parser.seek(10.0, io_test::no_abort());  // past the end
  EXPECT_TRUE(decode_all(parser).empty());
}

TEST_F(WavPcm, StreamThatCannotSeekRestartsForABackwardSeek) {
  auto file = io_test::make_model_file(riff(stereo16 + chunk("data", frames(3000))));
  file->seekable = false;
  wav_parser parser;
  parser.open(vantrel_io::file_ptr(file.get()), io_test::no_abort());
  parser.start_decoding(io_test::no_abort());
  audio_block block;
  ASSERT_TRUE(parser.decode(block, io_test::no_abort()));
  parser.seek(2000.0 / 44100, io_test::no_abort());  // forward: skipped
  ASSERT_TRUE(parser.decode(block, io_test::no_abort()));
  EXPECT_EQ(block.get_data()[0], left(2000));
  parser.seek(0.0, io_test::no_abort());  // backward: the stream is walked again
  ASSERT_TRUE(parser.decode(block, io_test::no_abort()));
  EXPECT_EQ(block.get_data()[2], left(1));
}

TEST_F(WavPcm, UnsupportedLayoutsFailWhenDecodingStarts) {
  struct row {
    std::string fmt;
    const char* why;
  } rows[] = {
      {fmt_record(1, 2, 1500000, 16), "1.5 MHz passes the walk, not the decoder"},
      {fmt_record(1, 2, 44100, 12), "12-bit integers"},
      {fmt_record(1, 2, 44100, 48), "48-bit integers"},
      {fmt_record(3, 2, 44100, 8), "8-bit floats"},
      {fmt_record(0xFFFE, 2, 44100, 16) + le(0, 2), "extensible without its extension"},
      // The system's ADPCM codecs divide by the samples per block, read
      // from past the record when it has no extension.
      {fmt_record(2, 2, 44100, 4) + le(32, 2) + le(0, 2) + le(7, 2) + std::string(28, '\0'), "MS ADPCM, 0 samples per block"},
      {fmt_record(2, 2, 44100, 4), "MS ADPCM without its extension"},
      {fmt_record(0x11, 2, 44100, 4) + le(2, 2) + le(0, 2), "IMA ADPCM, 0 samples per block"},
  };
  for (const row& r : rows) {
    auto file = io_test::make_model_file(riff(chunk("fmt ", r.fmt) + chunk("data", frames(8))));
    wav_parser parser;
    parser.open(vantrel_io::file_ptr(file.get()), io_test::no_abort());
    EXPECT_THROW(parser.start_decoding(io_test::no_abort()), vantrel_io::exception_io_data) << r.why;
  }
  for (std::uint16_t bits : {16, 24}) {
    auto file = io_test::make_model_file(riff(chunk("fmt ", fmt_record(3, 1, 44100, bits)) + chunk("data", "abcdef")));
    wav_parser parser;
    parser.open(vantrel_io::file_ptr(file.get()), io_test::no_abort());
    EXPECT_NO_THROW(parser.start_decoding(io_test::no_abort())) << bits << "-bit floats";
  }
}

}  // namespace
