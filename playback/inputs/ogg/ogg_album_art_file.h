// The pictures of an Ogg file, read from the first stream's comment header:
// "METADATA_BLOCK_PICTURE" fields (base64 of a FLAC picture block) and the
// older "COVERART" field (base64 of a front cover).
#pragma once

#include <cstdint>

#include "io/file_object.h"
#include "metadata/album_art_file.h"

class ogg_album_art_file : public album_art_file {
protected:
  void load(vantrel_io::file_object& file, album_art_map& out, const abort_signal& abort) override;
};

namespace ogg_pictures {

// Reads the picture fields of a comment block (the codec's prefix already
// skipped) into `out`. A picture block whose lengths run past its end is
// skipped; the others are still read.
void read_from_comment(const void* block, std::uint32_t size, album_art_map& out);

// Writes a comment block (without the codec's prefix and framing byte) that
// keeps the old block's vendor and its entries byte for byte and in order,
// but for the picture fields of every type whose picture `pictures` changes
// from the block's reading: those go, and the new picture of such a type,
// when it has a picture-type number, follows the old entries. A picture
// field whose type cannot be read stays. A damaged old block is
// exception_io_data.
void write_comment(const void* old_block, std::uint32_t size, const album_art_map& pictures, vantrel_io::writer& out,
                   const abort_signal& abort);

// Recognised by the data's signature; empty for anything else.
const char* mime_type_of(const std::uint8_t* data, std::uint32_t size);

}  // namespace ogg_pictures
