#include "playback/decoders/mpeg_frame_header.h"

#include <cstring>

#include "foundation/byte_order.h"

namespace {

// kbps by bitrate index 0..15; 0 marks free format and the forbidden index.
constexpr std::uint16_t bitrates_v1_l1[16] = {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0};
constexpr std::uint16_t bitrates_v1_l2[16] = {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0};
constexpr std::uint16_t bitrates_v1_l3[16] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0};
constexpr std::uint16_t bitrates_v2_l1[16] = {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0};
constexpr std::uint16_t bitrates_v2_l23[16] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0};
constexpr std::uint32_t rates_v25[3] = {11025, 12000, 8000};

// Encoder texts may only hold printable ASCII up to a terminating 0, and
// nothing but zeros after it.
bool is_clean_text(const std::uint8_t* p, std::uint32_t count) {
  std::uint32_t i = 0;
  for (; i < count && p[i] != 0; ++i)
    if (p[i] < 0x20 || p[i] > 0x7F) return false;
  for (; i < count; ++i)
    if (p[i] != 0) return false;
  return true;
}

std::string trimmed_tool(std::string text) {
  const std::size_t last = text.find_last_not_of("\t ._");
  text.erase(last == std::string::npos ? 0 : last + 1);
  return text;
}

}  // namespace

bool mpeg_parse_header(const std::uint8_t* bytes, mpeg_frame_header& out) {
  const std::uint32_t word = qiv::load_be(bytes, 4);
  if ((word >> 21) != 0x7FF) return false;
  const std::uint32_t version_id = (word >> 19) & 3;
  const std::uint32_t layer_code = (word >> 17) & 3;
  const std::uint32_t bitrate_index = (word >> 12) & 15;
  const std::uint32_t rate_index = (word >> 10) & 3;
  if (version_id == 1 || layer_code == 0 || rate_index == 3) return false;

  mpeg_frame_header h;
  h.version = version_id == 3 ? 0 : version_id == 2 ? 1 : 2;
  h.layer = 4 - layer_code;
  h.crc_present = ((word >> 16) & 1) == 0;
  h.channel_mode = (word >> 6) & 3;
  h.channels = h.channel_mode == 3 ? 1 : 2;
  const bool padding = ((word >> 9) & 1) != 0;

  const std::uint16_t* table;
  if (h.version == 0) table = h.layer == 1 ? bitrates_v1_l1 : h.layer == 2 ? bitrates_v1_l2 : bitrates_v1_l3;
  else table = h.layer == 1 ? bitrates_v2_l1 : bitrates_v2_l23;
  h.bitrate_kbps = table[bitrate_index];
  if (h.bitrate_kbps == 0) return false;

  h.sample_rate = rates_v25[rate_index] * (h.version == 0 ? 4 : h.version == 1 ? 2 : 1);
  h.samples_per_frame = h.layer == 1 ? 384 : (h.layer == 3 && h.version != 0) ? 576 : 1152;
  const std::uint32_t padding_unit = h.layer == 1 ? 4 : 1;
  h.frame_length = h.samples_per_frame * h.bitrate_kbps * 125 / h.sample_rate + (padding ? padding_unit : 0);
  if (h.layer == 1) h.frame_length &= ~3u;
  out = h;
  return true;
}

bool mpeg_check_crc(const std::uint8_t* frame, std::uint32_t available, const mpeg_frame_header& header) {
  if (available < header.frame_length) return false;
  if (!header.crc_present) return true;
  const bool mono = header.channels == 1;
  const std::uint32_t side_info = header.version == 0 ? (mono ? 17 : 32) : (mono ? 9 : 17);
  if (6 + side_info > available) return false;
  std::uint32_t crc = 0xFFFF;
  auto feed = [&crc](std::uint8_t byte) {
    for (int bit = 7; bit >= 0; --bit) {
      const bool top = ((crc >> 15) & 1) != ((byte >> bit) & 1);
      crc = (crc << 1) & 0xFFFF;
      if (top) crc ^= 0x8005;
    }
  };
  feed(frame[2]);
  feed(frame[3]);
  for (std::uint32_t i = 0; i < side_info; ++i) feed(frame[6 + i]);
  return crc == qiv::load_be(frame + 4, 2);
}

bool mpeg_parse_xing(const std::uint8_t* frame, std::uint32_t length, xing_header& out) {
  if (length < 4) return false;
  const bool mpeg1 = (frame[1] & 0x08) != 0;
  const bool mono = (frame[3] >> 6) == 3;
  const std::uint32_t o = mpeg1 ? (mono ? 21 : 36) : (mono ? 13 : 21);
  if (o + 4 > length) return false;
  const bool is_xing = std::memcmp(frame + o, "Xing", 4) == 0;
  if (!is_xing && std::memcmp(frame + o, "Info", 4) != 0) return false;

  xing_header x;
  if (o + 8 > length) return false;
  x.flags = qiv::load_be(frame + o + 4, 4);
  if (!(x.flags & 1) || o + 12 > length) return false;
  x.frames = static_cast<std::int32_t>(qiv::load_be(frame + o + 8, 4));
  if (x.frames <= 1) return false;
  std::uint32_t p = o + 12;
  if (x.flags & 2) {
    if (o + 16 > length) return false;
    x.bytes = static_cast<std::int32_t>(qiv::load_be(frame + o + 12, 4));
    p = o + 16;
  }
  if (x.flags & 4) {
    if (p + 100 > length) return false;
    p += 100;
  }
  if (x.flags & 8) {
    if (p + 4 > length) return false;
    x.quality = static_cast<std::int32_t>(qiv::load_be(frame + p, 4));
    p += 4;
  }
  // The revision byte is p + 9, so the extension needs p + 10 bytes.
  if (p + 10 > length) {
    out = x;
    return true;
  }
  const std::uint32_t revision = frame[p + 9] >> 4;
  if (revision <= 1) {
    if (is_clean_text(frame + p, 9)) x.tool.assign(reinterpret_cast<const char*>(frame + p), strnlen(reinterpret_cast<const char*>(frame + p), 9));
    if (is_xing) x.vbr_method = frame[p + 9] & 0x0F;
    if (p + 10 < length) x.lowpass = frame[p + 10];
    if (p + 23 < length) {
      x.enc_delay = frame[p + 21] * 16 + (frame[p + 22] >> 4);
      x.enc_padding = (frame[p + 22] & 0x0F) * 256 + frame[p + 23];
    }
    if (!is_xing) x.codec_profile = "CBR";
    else if (x.vbr_method == 2 || x.vbr_method == 9) x.codec_profile = "ABR";
    else if (x.quality < 1 || x.quality > 100) x.codec_profile = "VBR";
    else x.codec_profile = "VBR V" + std::to_string(10 - (x.quality + 9) / 10);
  } else {
    x.codec_profile = is_xing ? "VBR" : "CBR";
    const auto* start = frame + p;
    const auto* end = static_cast<const std::uint8_t*>(std::memchr(start, 0, length - p));
    if (end && end > start && is_clean_text(start, static_cast<std::uint32_t>(end - start)))
      x.tool.assign(reinterpret_cast<const char*>(start), end - start);
  }
  x.tool = trimmed_tool(std::move(x.tool));
  out = std::move(x);
  return true;
}

bool mpeg_parse_vbri(const std::uint8_t* frame, std::uint32_t length, vbri_header& out) {
  if (length < 40 || std::memcmp(frame + 36, "VBRI", 4) != 0) return false;
  const std::uint32_t version_id = (frame[1] >> 3) & 3;
  const std::uint32_t rate_index = (frame[2] >> 2) & 3;
  if (version_id == 1 || rate_index == 3) return false;
  vbri_header v;
  v.sample_rate = rates_v25[rate_index] * (version_id == 3 ? 4 : version_id == 2 ? 2 : 1);
  std::uint32_t position = 40;
  std::uint32_t* fields[] = {&v.version, &v.delay, &v.quality, &v.bytes, &v.frames,
                             &v.toc_entries, &v.toc_scale, &v.toc_entry_size, &v.frames_per_entry};
  constexpr unsigned sizes[] = {2, 2, 2, 4, 4, 2, 2, 2, 2};
  for (unsigned i = 0; i < 9; ++i) {
    if (position + sizes[i] > length) return false;
    *fields[i] = qiv::load_be(frame + position, static_cast<int>(sizes[i]));
    position += sizes[i];
  }
  out = v;
  return true;
}
