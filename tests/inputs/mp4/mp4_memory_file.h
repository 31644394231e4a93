// A writable MP4 file in memory for the tests of the movie-box rewrite,
// and a title edit through it.
#pragma once

#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "inputs/mp4/tag_writing.h"
#include "inputs/mp4/tarnex_exceptions.h"
#include "mp4_test_boxes.h"
#include "tests/io/model_file.h"

namespace mp4_test {

// A file in memory that can be written, and made to fail as a full disk
// does: writing past `capacity` bytes stops there.
class memory_file final : public tarnex::stream {
public:
  explicit memory_file(bytes data) : data(std::move(data)) {}
  bytes data;
  std::uint64_t capacity = ~std::uint64_t(0);
  std::uint64_t written = 0;
  // Changes the file takes before the writer is killed: from then on
  // nothing it does reaches the file. Negative: no kill.
  int changes_left = -1;
  // Every write, cut and flush in order, as the disk receives them; none
  // when false, so that a write allocates only where it grows the file.
  std::vector<io_test::change_call> changes;
  bool records_changes = true;

  std::uint32_t read(void* buffer, std::uint32_t n) override {
    const std::uint64_t left = at_ < data.size() ? data.size() - at_ : 0;
    if (n > left) n = std::uint32_t(left);
    std::memcpy(buffer, data.data() + at_, n);
    at_ += n;
    return n;
  }
  std::uint64_t position() override { return at_; }
  // As a file object: no seeking past the end.
  void seek(std::uint64_t p) override {
    if (p > data.size()) throw std::runtime_error("seek offset out of range");
    at_ = p;
  }
  std::uint64_t size() override { return data.size(); }
  void check_remaining(std::uint64_t n) override {
    if (n > data.size() - at_) throw tarnex::exception_truncation();
  }
  void truncate(std::uint64_t n) override {
    count_change();
    if (records_changes) changes.push_back({io_test::change_call::resize, n, {}});
    data.resize(n);
  }
  void flush() override {
    if (records_changes) changes.push_back({io_test::change_call::flush, 0, {}});
  }
  void write(const void* buffer, std::uint32_t n) override {
    count_change();
    const std::uint64_t room = capacity > at_ ? capacity - at_ : 0;
    const std::uint32_t allowed = n < room ? n : std::uint32_t(room);
    if (at_ + allowed > data.size()) data.resize(at_ + allowed);
    std::memcpy(data.data() + at_, buffer, allowed);
    if (records_changes)
      changes.push_back({io_test::change_call::write, at_, bytes(static_cast<const char*>(buffer), allowed)});
    at_ += allowed;
    written += allowed;
    if (allowed < n) throw std::runtime_error("disk full");
  }

private:
  void count_change() {
    if (changes_left == 0) throw std::runtime_error("killed");
    if (changes_left > 0) --changes_left;
  }
  std::uint64_t at_ = 0;
};

inline constexpr std::uint32_t tagging = reading_options | 0x08 | 0x40;

inline std::vector<std::string> retag(memory_file& f, const char* title) {
  tarnex::mp4_file model;
  f.seek(0);
  tarnex::mp4_open_file(model, f, tagging, true);
  model.songs[0].metadata.remove("title");
  model.songs[0].metadata.add("title", title);
  std::vector<std::string> reports;
  tarnex::mp4_update_file_tags(model, f, tarnex::mode_item_list, reports);
  return reports;
}

inline std::string title_of(const bytes& data) {
  tarnex::mp4_file model;
  open_bytes(model, data, tagging);
  return model.item_list.fields.find("title")->values[0];
}

}  // namespace mp4_test
