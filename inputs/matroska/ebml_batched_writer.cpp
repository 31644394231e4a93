#include "inputs/matroska/ebml_batched_writer.h"

#include <vector>

#include "io/in_place_overwrite.h"
#include "io/io_exceptions.h"

namespace Matroska {

ebml_batched_writer::ebml_batched_writer(ebml_reader& file) : file_(file) { sync(); }

void ebml_batched_writer::read(void* buffer, std::uint32_t count) {
  const std::uint64_t start = file_.position();
  file_.read(buffer, count);
  sync();
  auto* bytes = static_cast<std::uint8_t*>(buffer);
  for (auto at = changed_.lower_bound(start); at != changed_.end() && at->first < start + count; ++at)
    bytes[at->first - start] = at->second;
}

void ebml_batched_writer::skip(std::uint64_t count) {
  file_.skip(count);
  sync();
}

void ebml_batched_writer::seek(std::uint64_t target) {
  file_.seek(target);
  sync();
}

void ebml_batched_writer::truncate(std::uint64_t) { vantrel_io::throw_io_data(); }

void ebml_batched_writer::write(const void* buffer, std::uint32_t count) {
  const std::uint64_t start = file_.position();
  file_.check_available(count);
  const auto* bytes = static_cast<const std::uint8_t*>(buffer);
  for (std::uint32_t i = 0; i < count; ++i) changed_[start + i] = bytes[i];
  if (count) uncompared_.emplace_back(start, count);
  file_.seek(start + count);
  sync();
}

bool ebml_batched_writer::fits_one_write() {
  std::vector<std::uint8_t> old;
  for (const auto& [start, count] : uncompared_) {
    old.resize(count);
    file_.seek(start);
    file_.read(old.data(), count);
    // The byte collected last counts, also where a later write went over it.
    auto at = changed_.find(start);
    for (std::uint32_t i = 0; i < count; ++i, ++at) {
      if (old[i] != at->second) differing_.insert(start + i);
      else differing_.erase(start + i);
    }
  }
  uncompared_.clear();
  sync();
  if (differing_.empty()) return true;
  const std::uint64_t first = *differing_.begin();
  return vantrel_io::lies_within_one_page(first, *differing_.rbegin() + 1 - first);
}

void ebml_batched_writer::add_change_to(vantrel_io::in_place_steps& steps) {
  if (changed_.empty()) return;
  const std::uint64_t first = changed_.begin()->first;
  const std::uint64_t end = changed_.rbegin()->first + 1;
  std::vector<std::uint8_t> old(static_cast<std::size_t>(end - first));
  file_.seek(first);
  file_.read(old.data(), static_cast<std::uint32_t>(old.size()));
  std::vector<std::uint8_t> bytes = old;
  for (const auto& [position, value] : changed_) bytes[position - first] = value;
  steps.change(first, std::move(old), std::move(bytes));
  sync();
}

}  // namespace Matroska
