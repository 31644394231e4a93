// The Vorbis comment header, read here rather than by libvorbis: libvorbis
// copies every byte through its bit reader, which makes a header carrying a
// large cover picture cost more than the rest of the file. libvorbis is then
// given the same header without its entries, so that it knows the vendor and
// accepts the set-up header that follows.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct vorbis_comment_packet {
  std::string vendor;
  std::vector<std::string> entries;  // "NAME=value" as stored, any bytes

  // Picture entries are the bulk of a header that carries a cover; a reader
  // of the text fields alone leaves them out rather than copy them.
  enum class entry_choice { all, text_only };

  // False for a packet libvorbis would refuse as a comment header: another
  // type or signature, a length beyond the packet, or no framing bit.
  bool parse(const std::uint8_t* data, std::size_t size, entry_choice choice = entry_choice::all);
  // The header with the vendor and no entries.
  std::vector<std::uint8_t> without_entries() const;
};
