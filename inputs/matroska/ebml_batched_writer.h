// Collects the writes of several EBML edits in memory, to be put into the
// file as one change: a change spread over several elements (a SeekHead that
// drops one entry and gains another) then switches in a single step, which a
// process killed in between cannot cut in half. Reads see the collected
// writes, so later edits of the batch build on the earlier ones, and a batch
// over another batch builds on that one's.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <utility>
#include <vector>

#include "inputs/matroska/ebml_reader.h"
#include "io/in_place_steps.h"

namespace Matroska {

class ebml_batched_writer final : public ebml_reader {
public:
  explicit ebml_batched_writer(ebml_reader& file);
  // A batch over another is made from it as a reader, never copied: a copy
  // would carry the other's writes as its own.
  ebml_batched_writer(const ebml_batched_writer&) = delete;
  ebml_batched_writer& operator=(const ebml_batched_writer&) = delete;

  void read(void* buffer, std::uint32_t count) override;
  void skip(std::uint64_t count) override;
  void check_available(std::uint64_t count) override { file_.check_available(count); }
  std::uint64_t position() override { return file_.position(); }
  void seek(std::uint64_t target) override;
  std::uint64_t size() override { return file_.size(); }
  // Only edits inside the file are collected.
  void truncate(std::uint64_t) override;
  void write(const void* buffer, std::uint32_t count) override;

  // Adds the collected bytes to `steps` as one change readers see: the span
  // from the first changed byte to the last, the bytes between them as they
  // are. Nothing when nothing was collected.
  void add_change_to(vantrel_io::in_place_steps& steps);
  // Whether the collected bytes that differ from the file's lie within one
  // page, so that the change is one write; read without the bytes between
  // them, which may be most of the file. Only the bytes written since the
  // last call are compared again: a batch grown one edit at a time and
  // asked after each costs in step with its edits. The file under the batch
  // must not change meanwhile.
  bool fits_one_write();

private:
  void sync() { remaining_ = file_.remaining(); }
  ebml_reader& file_;
  std::map<std::uint64_t, std::uint8_t> changed_;  // file position -> new byte
  // Where writes went since fits_one_write last compared (start, count),
  // and the positions whose collected byte differs from the file's.
  std::vector<std::pair<std::uint64_t, std::uint32_t>> uncompared_;
  std::set<std::uint64_t> differing_;
};

}  // namespace Matroska
