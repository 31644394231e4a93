// The in-memory model of an ID3v2 tag: a version and the frames in file
// order, each a four-letter identifier and its payload with
// unsynchronisation undone. Readers, the writer and the frame/field mapping
// all work on this one version-neutral form.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <vector>

namespace id3parser {

class parseError : public std::runtime_error {
public:
  parseError() : std::runtime_error("ID3v2 parse error") {}
};

class writeError : public std::runtime_error {
public:
  writeError() : std::runtime_error("ID3v2 write error") {}
};

using byte_vector = std::vector<std::uint8_t>;

// The identifier's four letters big-endian: "TIT2" is 0x54495432.
constexpr std::uint32_t frame_id(const char (&text)[5]) {
  return (std::uint32_t(std::uint8_t(text[0])) << 24) | (std::uint32_t(std::uint8_t(text[1])) << 16) |
         (std::uint32_t(std::uint8_t(text[2])) << 8) | std::uint32_t(std::uint8_t(text[3]));
}

struct frame {
  std::uint32_t id = 0;
  byte_vector data;
  // A frame this program cannot decode (compressed, encrypted or grouped)
  // is kept as stored, with its header flags, so that a rewrite in the same
  // version does not lose it. Zero for decoded frames.
  unsigned raw_version = 0;
  std::uint8_t raw_status_flags = 0;
  std::uint8_t raw_format_flags = 0;

  // How a version 2.4 tag stored a decoded frame (its format flags 0x02,
  // unsynchronised, and 0x01, data length indicator): kept in a rewrite of
  // that version, the frame is stored so again and keeps its bytes. Frames
  // made anew are unsynchronised where their payload needs it.
  static constexpr std::uint8_t form_as_needed = 0xFF;
  std::uint8_t v24_form = form_as_needed;

  // The status flags the tag gave a decoded frame, as its version stores
  // them (tag alter, file alter and read only: 0x80, 0x40 and 0x20 in
  // version 2.3, 0x40, 0x20 and 0x10 in 2.4). They say what to do with the
  // frame when the tag or file changes, not what it holds: the frame is
  // read and edited as any other, and a rewrite in that version stores them
  // again, so that a frame another program marked read only stays marked.
  // A frame made anew, or whose payload the edit changes, is no longer what
  // its flags spoke of.
  std::uint8_t status_flags = 0;
  static constexpr std::uint8_t read_only_flag(unsigned version) noexcept { return version == 3 ? 0x20 : 0x10; }

  bool is_raw() const noexcept { return raw_version != 0; }
};

struct tag {
  unsigned version = 0;  // 2, 3 or 4; 0 while empty
  std::vector<frame> frames;
  // What a rewrite would lose of the tags stacked behind this one at the
  // start of a file (id3v2_stacked_tags.h): the identifiers of frames this
  // version has no form for, and whether one of those tags was unreadable.
  std::vector<std::uint32_t> stacked_not_taken;
  bool stacked_damaged = false;
};

}  // namespace id3parser
