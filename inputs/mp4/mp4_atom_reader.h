// A stream limited to the content of one box. Parsers of a box get one of
// these, so that no parser, however wrong its reading of a damaged box, can
// read into the box that follows.
#pragma once

#include "inputs/mp4/mp4_stream.h"

namespace tarnex {

class mp4_atom_reader final : public stream {
public:
  mp4_atom_reader(stream& parent, std::uint64_t content_size) : parent_(parent), remaining_(content_size) {}

  std::uint32_t read(void* buffer, std::uint32_t bytes) override;
  void read_exact(void* buffer, std::uint32_t bytes) override;
  std::uint64_t skip(std::uint64_t bytes) override;
  void skip_exact(std::uint64_t bytes) override;
  void check_remaining(std::uint64_t bytes) override;
  std::uint64_t position() override { return parent_.position(); }
  // Only forward, inside the box.
  void seek(std::uint64_t position) override;
  std::uint64_t size() override { return parent_.position() + remaining_; }
  void truncate(std::uint64_t size) override;
  void write(const void* buffer, std::uint32_t bytes) override;

  std::uint64_t remaining() const { return remaining_; }
  // Skips what the box's parser left unread.
  void finish() { skip_exact(remaining_); }

private:
  stream& parent_;
  std::uint64_t remaining_;
};

}  // namespace tarnex
