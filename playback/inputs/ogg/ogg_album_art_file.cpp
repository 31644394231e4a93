#include "playback/inputs/ogg/ogg_album_art_file.h"

#include <ogg/ogg.h>

#include <cstring>
#include <string>
#include <vector>

#include "foundation/base64.h"
#include "foundation/byte_compare.h"
#include "foundation/exceptions.h"
#include "foundation/string_buffer.h"
#include "foundation/utf8.h"
#include "io/io_exceptions.h"
#include "io/memory_reader.h"
#include "metadata/tags/comment_block.h"
#include "metadata/tags/id3v2_tag_service.h"
#include "metadata/tags/ogg_comment_codec.h"
#include "playback/decoders/ogg_comment_fields.h"
#include "playback/inputs/ogg/ogg_page_reader.h"

namespace {

class big_endian_reader {
public:
  big_endian_reader(const std::vector<std::uint8_t>& data) : data_(data) {}
  std::uint32_t u32() {
    if (data_.size() - offset_ < 4) vantrel_io::throw_io_data();
    const std::uint32_t value = (std::uint32_t{data_[offset_]} << 24) | (std::uint32_t{data_[offset_ + 1]} << 16) |
                                (std::uint32_t{data_[offset_ + 2]} << 8) | data_[offset_ + 3];
    offset_ += 4;
    return value;
  }
  // Every length is checked against the bytes left before it is used.
  const std::uint8_t* take(std::uint32_t bytes) {
    if (data_.size() - offset_ < bytes) vantrel_io::throw_io_data();
    const std::uint8_t* at = data_.data() + offset_;
    offset_ += bytes;
    return at;
  }

private:
  const std::vector<std::uint8_t>& data_;
  std::size_t offset_ = 0;
};

std::vector<std::uint8_t> base64_bytes(const std::string& text) {
  try {
    std::vector<std::uint8_t> out(qiv::base64_decoded_size(text.c_str()));
    qiv::base64_decode(text.c_str(), out.data());
    return out;
  } catch (const qiv::exception_invalid_params&) {
    vantrel_io::throw_io_data();
  }
}

void read_picture_block(const std::string& text, album_art_map& out) {
  const std::vector<std::uint8_t> block = base64_bytes(text);
  big_endian_reader reader(block);
  GUID type;
  if (!album_art_id_from_picture_type(reader.u32(), type)) return;
  reader.take(reader.u32());  // MIME type
  reader.take(reader.u32());  // description
  reader.take(16);            // width, height, colour depth, colours
  const std::uint32_t size = reader.u32();
  out.set(type, album_art_data::create_from_buffer(reader.take(size), size));
}

// The album-art type an old picture entry stands for; false when nothing
// tells (its block or its picture type unreadable), as for the reading.
bool picture_entry_type(const std::string& entry, GUID& type) {
  const std::size_t equals = entry.find('=');
  if (qiv::stricmp_ascii_n(entry.data(), equals, "METADATA_BLOCK_PICTURE", 22) != 0) {
    type = album_art_ids::front;  // COVERART and its COVERARTMIME
    return true;
  }
  try {
    const std::vector<std::uint8_t> block = base64_bytes(entry.substr(equals + 1));
    return album_art_id_from_picture_type(big_endian_reader(block).u32(), type);
  } catch (const vantrel_io::exception_io_data&) {
    return false;
  }
}

bool same_picture(const album_art_map& a, const album_art_map& b, const GUID& type) {
  album_art_data_ptr in_a, in_b;
  const bool has_a = a.get(type, in_a);
  if (has_a != b.get(type, in_b)) return false;
  return !has_a || (in_a->get_size() == in_b->get_size() &&
                    std::memcmp(in_a->get_ptr(), in_b->get_ptr(), in_a->get_size()) == 0);
}

void append_u32be(std::string& out, std::uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>(value >> shift);
}

// The value of a METADATA_BLOCK_PICTURE field: a FLAC picture block with
// only the type, the MIME type and the data filled in.
std::string picture_field(std::uint32_t picture_type, const album_art_data& picture) {
  const std::string mime = ogg_pictures::mime_type_of(picture.get_ptr(), picture.get_size());
  std::string block;
  append_u32be(block, picture_type);
  append_u32be(block, static_cast<std::uint32_t>(mime.size()));
  block += mime;
  append_u32be(block, 0);              // description
  block.append(16, '\0');              // width, height, colour depth, colours
  append_u32be(block, picture.get_size());
  block.append(reinterpret_cast<const char*>(picture.get_ptr()), picture.get_size());
  qiv::string_buffer text;
  qiv::base64_encode(text, block.data(), block.size());
  return std::string("METADATA_BLOCK_PICTURE=") + text.get_ptr();
}

}  // namespace

namespace ogg_pictures {

const char* mime_type_of(const std::uint8_t* data, std::uint32_t size) {
  static const std::uint8_t png[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  if (size >= 8 && std::memcmp(data, png, 8) == 0) return "image/png";
  if (size >= 2 && data[0] == 0xFF && data[1] == 0xD8) return "image/jpeg";
  if (size >= 3 && std::memcmp(data, "GIF", 3) == 0) return "image/gif";
  return "";
}

void write_comment(const void* old_block, std::uint32_t size, const album_art_map& pictures, vantrel_io::writer& out,
                   const abort_signal& abort) {
  album_art_map as_read;
  read_from_comment(old_block, size, as_read);
  const auto changed = [&](const GUID& type) { return !same_picture(as_read, pictures, type); };
  vantrel_io::memory_reader reader(old_block, size);
  const std::string vendor = comment_block_read_string(reader);
  const std::uint32_t old_count = reader.read_u32(never_raised_abort_signal());
  std::vector<std::string> fields;
  for (std::uint32_t i = 0; i < old_count; ++i) {
    std::string entry = comment_block_read_string(reader);
    // Only the changed pictures go, every entry that stands for them. The
    // rest stays as it stands: text, entries no reader takes for a field
    // (not UTF-8, no '='), pictures the edit leaves alone or that nothing
    // tells the type of.
    GUID type;
    if (ogg_comment_fields::is_picture(entry.data(), entry.size()) && picture_entry_type(entry, type) &&
        changed(type))
      continue;
    fields.push_back(std::move(entry));
  }
  pictures.for_each([&](const GUID& type, const album_art_data_ptr& picture) {
    std::uint32_t picture_type;
    if (changed(type) && picture_type_from_album_art_id(type, picture_type))
      fields.push_back(picture_field(picture_type, *picture));
  });
  comment_block_write_string(out, vendor, abort);
  comment_block_write_u32(out, static_cast<std::uint32_t>(fields.size()), abort);
  for (const std::string& field : fields) comment_block_write_string(out, field, abort);
}

void read_from_comment(const void* block, std::uint32_t size, album_art_map& out) {
  vantrel_io::memory_reader reader(block, size);
  comment_block_read_string(reader);  // vendor
  const std::uint32_t count = reader.read_u32(never_raised_abort_signal());
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::string entry = comment_block_read_string(reader);
    const std::size_t equals = entry.find('=');
    if (equals == std::string::npos || !qiv::is_valid_utf8(entry.data(), entry.size())) continue;
    const std::string name = entry.substr(0, equals);
    const std::string value = entry.substr(equals + 1);
    try {
      if (qiv::stricmp_ascii_equal(name.c_str(), "METADATA_BLOCK_PICTURE")) {
        read_picture_block(value, out);
      } else if (qiv::stricmp_ascii_equal(name.c_str(), "COVERART")) {
        const std::vector<std::uint8_t> data = base64_bytes(value);
        out.set(album_art_ids::front,
                album_art_data::create_from_buffer(data.data(), static_cast<std::uint32_t>(data.size())));
      }
    } catch (const vantrel_io::exception_io_data&) {
      // One damaged picture does not hide the others.
    }
  }
}

}  // namespace ogg_pictures

void ogg_album_art_file::load(vantrel_io::file_object& file, album_art_map& out, const abort_signal& abort) {
  if (!file.can_seek()) throw exception_album_art_not_found();
  ogg_page_reader reader{vantrel_io::file_ptr(&file)};
  reader.reset(abort);
  service_ptr<ogg_comment_handler> handler;
  ogg_packet packet;
  for (bool first = true;; first = false) {
    if (!reader.next_packet(packet, abort, ogg_page_reader::no_limit)) vantrel_io::throw_io_data();
    if (first) ogg_codec::find_for_stream(handler, packet.packet, static_cast<std::uint32_t>(packet.bytes));
    const unsigned flags = handler->feed_header(packet.packet, static_cast<std::uint32_t>(packet.bytes));
    if (flags & ogg_comment_handler::is_comment_packet) {
      const void* prefix;
      std::uint32_t prefix_size;
      bool framing;
      handler->comment_layout(prefix, prefix_size, framing);
      if (static_cast<std::uint32_t>(packet.bytes) < prefix_size) vantrel_io::throw_io_data();
      ogg_pictures::read_from_comment(packet.packet + prefix_size, static_cast<std::uint32_t>(packet.bytes) - prefix_size,
                                      out);
      return;
    }
    if (flags & ogg_comment_handler::headers_complete) return;
  }
}
