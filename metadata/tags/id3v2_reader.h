// Reading an ID3v2.2, 2.3 or 2.4 tag into the tag model: unsynchronisation
// is undone (whole tag for 2.2 and 2.3; for 2.4 per frame, or in every frame
// when the header says so), extended headers are skipped, 2.2 identifiers
// become their four-letter forms and 2.2 pictures take the 2.3 picture
// layout.
#pragma once

#include <cstddef>
#include <cstdint>

#include "metadata/tags/id3v2_tag.h"

namespace id3parser {

class reader {
public:
  virtual ~reader() = default;
  // Bytes delivered; short only at the end of the data.
  virtual std::size_t read(void* buffer, std::size_t n) = 0;
  virtual std::size_t skip(std::size_t n) = 0;
  // An upper bound of what is left, so that no size read from the tag makes
  // an allocation larger than the data that could fill it.
  virtual std::size_t available() const = 0;

  void read_exact(void* buffer, std::size_t n);
  void skip_exact(std::size_t n);
};

class memory_reader final : public reader {
public:
  memory_reader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  std::size_t read(void* buffer, std::size_t n) override;
  std::size_t skip(std::size_t n) override;
  std::size_t available() const override { return size_ - position_; }

private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t position_ = 0;
};

class limited_reader final : public reader {
public:
  limited_reader(reader& inner, std::size_t limit) : inner_(inner), remaining_(limit) {}
  std::size_t read(void* buffer, std::size_t n) override;
  std::size_t skip(std::size_t n) override;
  std::size_t available() const override;

private:
  reader& inner_;
  std::size_t remaining_;
};

// Drops the 0x00 that unsynchronisation put after each 0xFF; 0xFF followed
// by 111xxxxx cannot occur in unsynchronised data and is a parse error.
class unsync_reader final : public reader {
public:
  explicit unsync_reader(reader& inner) : inner_(inner) {}
  std::size_t read(void* buffer, std::size_t n) override;
  std::size_t skip(std::size_t n) override;
  std::size_t available() const override { return inner_.available() + (has_pending_ ? 1 : 0); }

private:
  reader& inner_;
  std::uint8_t pending_ = 0;
  bool has_pending_ = false;
};

class frame_filter {
public:
  virtual bool accept(std::uint32_t id) = 0;

protected:
  ~frame_filter() = default;
};

class accept_all_frames final : public frame_filter {
public:
  bool accept(std::uint32_t) override { return true; }
};

// Pictures are no fields: a reading of fields steps over them.
class all_but_pictures final : public frame_filter {
public:
  bool accept(std::uint32_t id) override { return id != frame_id("APIC"); }
};

// Fills `out` from a source positioned at "ID3". A failure leaves the frames
// read before it in `out`, but the caller must treat the tag as unreadable.
void read_tag(reader& source, frame_filter& filter, tag& out);

std::uint32_t read_syncsafe(reader& source);
std::uint32_t read_u32_be(reader& source);

}  // namespace id3parser

// The MIME type of a version 2.2 picture's three-letter image format.
const char* id3v2_pic_mime_type(const std::uint8_t* format);
