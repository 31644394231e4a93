#include "inputs/musepack/musepack_chapter_table.h"

#include <algorithm>
#include <optional>

#include "inputs/musepack/musepack_packets.h"
#include "io/file_copy.h"
#include "io/io_exceptions.h"

namespace musepack {

namespace {

// The longest start number: 63 bits in groups of 7.
constexpr std::size_t max_number_length = 9;
// The chapter's gain and peak after its start number.
constexpr std::size_t gain_and_peak_size = 4;

std::uint16_t load_be16(const std::uint8_t* bytes) { return std::uint16_t(bytes[0] << 8 | bytes[1]); }

// False when the payload is too short for the start number, gain and peak.
bool parse_fields(chapter_packet& chapter, std::size_t payload_offset) {
  const std::size_t payload_size = chapter.bytes.size() - payload_offset;
  const std::uint8_t* payload = chapter.bytes.data() + payload_offset;
  std::size_t length = 0;
  std::uint64_t start = 0;
  for (;;) {
    if (length == max_number_length || length == payload_size) return false;
    const std::uint8_t byte = payload[length++];
    start = start << 7 | (byte & 0x7F);
    if (!(byte & 0x80)) break;
  }
  if (payload_size - length < gain_and_peak_size) return false;
  chapter.start_sample = start;
  chapter.start_length = length;
  chapter.gain = load_be16(payload + length);
  chapter.peak = load_be16(payload + length + 2);
  chapter.tag_offset = payload_offset + length + gain_and_peak_size;
  return true;
}

}  // namespace

bool chapter_packet::read_items(apev2::item_list& items) const {
  items.clear();
  if (tag_size() == 0) return true;
  try {
    apev2::parse_tag_body(items, tag(), tag_size());
    return true;
  } catch (const vantrel_io::exception_io_data&) {
    items.clear();
    return false;
  }
}

chapter_table read_chapter_table(vantrel_io::file_object& file, std::uint64_t header_position,
                                 std::uint64_t tags_start, std::uint64_t stream_samples, const abort_signal& abort) {
  chapter_table table;
  const std::uint64_t size = file.get_size(abort);
  if (size == vantrel_io::filesize_unknown) vantrel_io::throw_exception_io_no_length();
  packet_reader packets(file, header_position + 4);
  // The table as it stood at the first packet reaching past the tags'
  // start: a stream found cut ended there, and what follows was read from
  // the tags written after the cut.
  std::optional<chapter_table> before_tags;
  bool chapter_past_tags = false;
  const auto cut_short = [&](bool damaged) {
    chapter_table& kept = before_tags ? *before_tags : table;
    kept.damaged = kept.damaged || (before_tags ? chapter_past_tags : damaged);
    return std::move(kept);
  };
  for (;;) {
    abort.check_and_throw();
    packet_header packet;
    try {
      packet = packets.next(abort);
    } catch (const vantrel_io::exception_io_data&) {
      return cut_short(true);
    }
    // A stream that ends whole owns every packet before its end, whatever
    // trailing tags claim.
    if (packet.found && packet.is("SE") && packet.total_size <= size - packet.position) return table;
    // A stream cut short holds the chapters read so far.
    if (!packet.found || packet.is("SE")) return cut_short(false);
    if (packet.total_size > size - packet.position) return cut_short(packet.is("CT"));
    if (!before_tags && packet.total_size > tags_start - std::min(tags_start, packet.position)) {
      before_tags = table;
      chapter_past_tags = packet.is("CT");
    }
    if (!packet.is("CT")) continue;
    chapter_packet chapter;
    chapter.position = packet.position;
    chapter.bytes = vantrel_io::read_range(file, packet.position, packet.total_size, abort);
    // A chapter must start inside the stream and after the one before it,
    // or it would play nothing, or play backwards.
    if (!parse_fields(chapter, 2 + packet.size_field_length) || chapter.start_sample >= stream_samples ||
        (!table.chapters.empty() && chapter.start_sample <= table.chapters.back().start_sample)) {
      table.damaged = true;
      continue;
    }
    table.chapters.push_back(std::move(chapter));
  }
}

std::vector<std::uint8_t> chapter_payload(const chapter_packet& chapter, std::uint16_t gain, std::uint16_t peak,
                                          const apev2::item_list* items) {
  const std::size_t payload_offset = chapter.tag_offset - gain_and_peak_size - chapter.start_length;
  std::vector<std::uint8_t> payload(chapter.bytes.begin() + payload_offset,
                                    chapter.bytes.begin() + payload_offset + chapter.start_length);
  payload.push_back(std::uint8_t(gain >> 8));
  payload.push_back(std::uint8_t(gain));
  payload.push_back(std::uint8_t(peak >> 8));
  payload.push_back(std::uint8_t(peak));
  if (items == nullptr) {
    payload.insert(payload.end(), chapter.tag(), chapter.tag() + chapter.tag_size());
    return payload;
  }
  if (items->empty() && chapter.tag_size() == 0) return payload;
  const std::vector<std::uint8_t> tag = apev2::render_tag_bytes(*items);
  payload.insert(payload.end(), tag.begin(), tag.end());
  return payload;
}

}  // namespace musepack
