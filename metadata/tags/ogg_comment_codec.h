// The codec mappings that know where an Ogg stream keeps its comment block
// (Vorbis, Opus, FLAC in Ogg) and how its header packets are laid out; the
// Ogg tag writer finds the one that owns a stream by its first packet.
#pragma once

#include <windows.h>

#include <cstdint>

#include "core/service_object.h"
#include "core/service_registry.h"
#include "foundation/array.h"
#include "metadata/tags/tag_field_map.h"

class track_info;

// One stream's header packets, fed in order.
class ogg_comment_handler : public service_object {
public:
  static constexpr GUID class_guid = {0x3F0B6A52, 0x9C1E, 0x4D7A, {0x8B, 0x44, 0x61, 0x2D, 0xE0, 0x5A, 0x17, 0xC3}};
  using service_parent = service_object;

  static constexpr unsigned headers_complete = 1;
  static constexpr unsigned flush_after_packet = 2;
  static constexpr unsigned is_comment_packet = 4;

  // An or of the flags above for this packet.
  virtual unsigned feed_header(const void* packet, std::uint32_t size) = 0;
  // The codec's signature before the comment block and whether a framing
  // byte follows the block.
  virtual void comment_layout(const void*& prefix, std::uint32_t& prefix_size, bool& framing) = 0;
  // Called, when an edit changes ReplayGain values, before each header
  // packet is rebuilt, with its `index` (0 for the first), the info to write
  // and the changes to the comment's entries (by field name, ReplayGain
  // values under their "replaygain_*" names; no values where an entry goes),
  // for codecs that keep gains another way (Opus: the album gain in its
  // first packet, the track gain as an R128 comment relative to it).
  virtual void prepare_header(std::uint32_t index, qiv::array<std::uint8_t>& packet, const track_info& info,
                              tag_field_map::entries& comment_changes) {
    (void)index;
    (void)packet;
    (void)info;
    (void)comment_changes;
  }
  // Called with the rebuilt comment packet, padded, and its size before
  // padding, for codecs whose comment packet records its own length.
  virtual void finish_comment(qiv::array<std::uint8_t>& packet, std::uint32_t unpadded_size) {
    (void)packet;
    (void)unpadded_size;
  }

protected:
  ~ogg_comment_handler() = default;
};

class ogg_comment_codec : public service_object {
public:
  static constexpr GUID class_guid = {0x6D3A5003, 0x7BC3, 0x48A6, {0x93, 0xBC, 0x49, 0x63, 0x2D, 0x25, 0x76, 0x62}};
  using service_parent = service_object;

  virtual bool accepts(const void* first_packet, std::uint32_t size) = 0;
  virtual void create(service_ptr<ogg_comment_handler>& out) = 0;

protected:
  ~ogg_comment_codec() = default;
};

namespace ogg_codec {

// The first mapping, in registry order, that accepts the stream's first
// packet; none is exception_io_data (a stream this system cannot retag).
void find_for_stream(service_ptr<ogg_comment_handler>& out, const void* first_packet, std::uint32_t size,
                     const service_registry_table& table = service_registry::table());

}  // namespace ogg_codec

// Feeds one header packet to the handler; when it is the comment packet,
// `rebuilt` receives the packet rebuilt from the info (pictures and vendor
// kept) and padded towards the old size, else `rebuilt` is left empty.
// Answers the handler's headers-complete and flush flags.
unsigned comment_packet_rebuild(ogg_comment_handler& handler, const void* packet, std::uint32_t size,
                                const track_info& info, qiv::array<std::uint8_t>& rebuilt);
