#include "playback/decoders/mpeg_frame_header.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

struct header_case {
  std::uint8_t bytes[4];
  bool valid;
  std::uint32_t layer, rate, samples, length, channels;
  const char* why;
};

TEST(MpegFrameHeader, ParsesAndMeasuresFrames) {
  const header_case cases[] = {
      {{0xFF, 0xFB, 0x90, 0x64}, true, 3, 44100, 1152, 417, 2, "MPEG-1 Layer III 128 kbps"},
      {{0xFF, 0xFB, 0x92, 0x64}, true, 3, 44100, 1152, 418, 2, "the padding bit adds a byte"},
      {{0xFF, 0xFF, 0x10, 0xC0}, true, 1, 44100, 384, 32, 1, "Layer I rounds 34 down to 32"},
      {{0xFF, 0xE3, 0x18, 0xC0}, true, 3, 8000, 576, 72, 1, "MPEG-2.5 Layer III 8 kbps"},
      {{0xFF, 0xFC, 0xA0, 0x04}, true, 2, 44100, 1152, 626, 2, "MPEG-1 Layer II 192 kbps with CRC"},
      {{0xFF, 0xFB, 0x00, 0x64}, false, 0, 0, 0, 0, 0, "bitrate index 0 is free format"},
      {{0xFF, 0xFB, 0xF0, 0x64}, false, 0, 0, 0, 0, 0, "bitrate index 15"},
      {{0xFF, 0xFB, 0x9C, 0x64}, false, 0, 0, 0, 0, 0, "sample-rate index 3"},
      {{0xFF, 0xEB, 0x90, 0x64}, false, 0, 0, 0, 0, 0, "version id 1 is reserved"},
      {{0xFF, 0xF9, 0x90, 0x64}, false, 0, 0, 0, 0, 0, "layer code 0 is reserved"},
      {{0xFE, 0xFB, 0x90, 0x64}, false, 0, 0, 0, 0, 0, "broken sync"},
  };
  for (const auto& c : cases) {
    mpeg_frame_header h;
    ASSERT_EQ(mpeg_parse_header(c.bytes, h), c.valid) << c.why;
    if (!c.valid) continue;
    EXPECT_EQ(h.layer, c.layer) << c.why;
    EXPECT_EQ(h.sample_rate, c.rate) << c.why;
    EXPECT_EQ(h.samples_per_frame, c.samples) << c.why;
    EXPECT_EQ(h.frame_length, c.length) << c.why;
    EXPECT_EQ(h.channels, c.channels) << c.why;
  }
}

// A 417-byte MPEG-1 Layer III frame carrying a Xing or Info header at 36.
struct xing_frame {
  std::vector<std::uint8_t> bytes = std::vector<std::uint8_t>(417, 0);
  std::uint32_t p = 36 + 8;

  explicit xing_frame(const char* tag, std::uint32_t flags, std::uint32_t frames, std::int32_t quality = -1) {
    const std::uint8_t header[] = {0xFF, 0xFB, 0x90, 0x64};
    std::memcpy(bytes.data(), header, 4);
    std::memcpy(bytes.data() + 36, tag, 4);
    put(40, flags);
    if (flags & 1) put(p, frames), p += 4;
    if (flags & 2) put(p, 123456), p += 4;
    if (flags & 4) p += 100;
    if (flags & 8) put(p, static_cast<std::uint32_t>(quality)), p += 4;
  }
  void put(std::uint32_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
  }
  void extension(const char* tool, std::uint8_t revision_method, int delay, int padding) {
    std::memcpy(bytes.data() + p, tool, std::strlen(tool));
    bytes[p + 9] = revision_method;
    bytes[p + 21] = static_cast<std::uint8_t>(delay >> 4);
    bytes[p + 22] = static_cast<std::uint8_t>(((delay & 15) << 4) | (padding >> 8));
    bytes[p + 23] = static_cast<std::uint8_t>(padding);
  }
};

TEST(MpegFrameHeader, XingProfilesAndGaplessValues) {
  struct xing_case {
    const char* tag;
    std::int32_t quality;
    std::uint8_t method;
    const char* profile;
    const char* why;
  } cases[] = {
      {"Xing", 78, 0x04, "VBR V2", "quality 78"},
      {"Xing", 100, 0x04, "VBR V0", "quality 100"},
      {"Xing", 0, 0x04, "VBR", "quality 0 is outside 1..100"},
      {"Xing", 101, 0x04, "VBR", "quality 101"},
      {"Xing", 57, 0x02, "ABR", "method 2 whatever the quality"},
      {"Xing", 57, 0x09, "ABR", "method 9"},
      {"Info", 57, 0x04, "CBR", "an Info header is constant bitrate"},
  };
  for (const auto& c : cases) {
    xing_frame frame(c.tag, 1 | 2 | 4 | 8, 38, c.quality);
    frame.extension("LAME3.100", c.method, 576, 1260);
    xing_header x;
    ASSERT_TRUE(mpeg_parse_xing(frame.bytes.data(), 417, x)) << c.why;
    EXPECT_EQ(x.codec_profile, c.profile) << c.why;
    EXPECT_EQ(x.frames, 38) << c.why;
    EXPECT_EQ(x.bytes, 123456) << c.why;
    EXPECT_EQ(x.enc_delay, 576) << c.why;
    EXPECT_EQ(x.enc_padding, 1260) << c.why;
    EXPECT_EQ(x.tool, "LAME3.100") << c.why;
  }
}

TEST(MpegFrameHeader, XingEdges) {
  xing_header x;
  EXPECT_FALSE(mpeg_parse_xing(xing_frame("Xing", 1, 1).bytes.data(), 417, x)) << "a frame count of 1";
  EXPECT_FALSE(mpeg_parse_xing(xing_frame("Xing", 2, 50).bytes.data(), 417, x)) << "no frame count";
  EXPECT_FALSE(mpeg_parse_xing(xing_frame("Xinf", 1, 50).bytes.data(), 417, x)) << "another tag";

  // The revision byte sits at p + 9: a frame ending just before it has no
  // encoder extension (and nothing is read past its end).
  xing_frame cut("Xing", 1, 50);
  cut.extension("LAME3.100", 0x04, 576, 1260);
  ASSERT_TRUE(mpeg_parse_xing(cut.bytes.data(), cut.p + 9, x));
  EXPECT_EQ(x.codec_profile, "");
  EXPECT_EQ(x.enc_delay, -1);
  ASSERT_TRUE(mpeg_parse_xing(cut.bytes.data(), cut.p + 10, x));
  EXPECT_EQ(x.codec_profile, "VBR");
  EXPECT_EQ(x.enc_delay, -1) << "the delay needs p + 24 bytes";

  xing_frame dirty("Xing", 1, 50);
  dirty.extension("LA\x01ME", 0x04, 576, 1260);
  ASSERT_TRUE(mpeg_parse_xing(dirty.bytes.data(), 417, x));
  EXPECT_EQ(x.tool, "") << "a control character makes the text unusable";
  xing_frame trailing("Xing", 1, 50);
  trailing.extension("Lavc. _", 0x04, 0, 0);
  ASSERT_TRUE(mpeg_parse_xing(trailing.bytes.data(), 417, x));
  EXPECT_EQ(x.tool, "Lavc") << "trailing dots, blanks and underscores go";
}

TEST(MpegFrameHeader, Vbri) {
  std::vector<std::uint8_t> frame(417, 0);
  const std::uint8_t header[] = {0xFF, 0xFB, 0x90, 0x64};
  std::memcpy(frame.data(), header, 4);
  std::memcpy(frame.data() + 36, "VBRI", 4);
  frame[53] = 0x2C;  // the frame count, bytes 50..53
  vbri_header v;
  ASSERT_TRUE(mpeg_parse_vbri(frame.data(), 417, v));
  EXPECT_EQ(v.frames, 0x2Cu);
  EXPECT_EQ(v.sample_rate, 44100u);
  EXPECT_FALSE(mpeg_parse_vbri(frame.data(), 60, v)) << "fields past the frame's end";
  frame[36] = 'X';
  EXPECT_FALSE(mpeg_parse_vbri(frame.data(), 417, v));
}

TEST(MpegFrameHeader, Crc) {
  // The start of a CRC-protected frame written by lame -p: header, CRC and
  // the 32 bytes of side information the CRC covers.
  std::vector<std::uint8_t> frame = {
      0xFF, 0xFA, 0x90, 0x44, 0xFA, 0xC9, 0x00, 0x00, 0x02, 0x8D, 0x10, 0xCF, 0x95, 0x65, 0x20, 0x00, 0x54, 0xE1, 0x9A,
      0x53, 0xAC, 0x88, 0x00, 0x0C, 0x18, 0xAB, 0x55, 0xB9, 0xB6, 0x80, 0x01, 0x7C, 0x94, 0xEB, 0xB7, 0x34, 0xD0, 0x02};
  frame.resize(417);
  mpeg_frame_header h;
  ASSERT_TRUE(mpeg_parse_header(frame.data(), h));
  ASSERT_TRUE(h.crc_present);
  EXPECT_TRUE(mpeg_check_crc(frame.data(), 417, h));
  EXPECT_FALSE(mpeg_check_crc(frame.data(), 416, h)) << "a short frame";
  frame[20] ^= 1;
  EXPECT_FALSE(mpeg_check_crc(frame.data(), 417, h)) << "a flipped side-information bit";
  frame[20] ^= 1;
  frame[100] ^= 1;
  EXPECT_TRUE(mpeg_check_crc(frame.data(), 417, h)) << "main data is not covered";
}

}  // namespace
