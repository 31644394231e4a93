#include "inputs/mp4/mp4_atom_reader.h"

#include "foundation/exceptions.h"
#include "inputs/mp4/tarnex_exceptions.h"

namespace tarnex {

std::uint32_t mp4_atom_reader::read(void* buffer, std::uint32_t bytes) {
  if (bytes > remaining_) bytes = static_cast<std::uint32_t>(remaining_);
  const std::uint32_t done = parent_.read(buffer, bytes);
  if (done > bytes) throw exception("bug: stream read more bytes than asked for");
  remaining_ -= done;
  return done;
}

void mp4_atom_reader::read_exact(void* buffer, std::uint32_t bytes) {
  if (bytes > remaining_) throw exception("attempting to read past end of atom");
  parent_.read_exact(buffer, bytes);
  remaining_ -= bytes;
}

std::uint64_t mp4_atom_reader::skip(std::uint64_t bytes) {
  if (bytes > remaining_) bytes = remaining_;
  const std::uint64_t done = parent_.skip(bytes);
  remaining_ -= done < bytes ? done : bytes;
  return done;
}

void mp4_atom_reader::skip_exact(std::uint64_t bytes) {
  if (bytes > remaining_) throw exception("attempting to skip past end of atom");
  parent_.skip_exact(bytes);
  remaining_ -= bytes;
}

void mp4_atom_reader::check_remaining(std::uint64_t bytes) {
  // The box itself was checked against its parent when it was entered.
  if (bytes > remaining_) throw exception_truncation();
}

void mp4_atom_reader::seek(std::uint64_t target) {
  const std::uint64_t at = parent_.position();
  if (target < at || target - at > remaining_) throw exception("stream seeking error");
  skip_exact(target - at);
}

void mp4_atom_reader::truncate(std::uint64_t) { qiv::throw_not_implemented(); }

void mp4_atom_reader::write(const void*, std::uint32_t) { qiv::throw_not_implemented(); }

}  // namespace tarnex
