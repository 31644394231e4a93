// The movie-box rewrite with one allocation failing, each one in turn: the
// write fails with every byte as it was, or it succeeds.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>

#include "inputs/mp4/tag_writing.h"
#include "inputs/mp4/tarnex_exceptions.h"
#include "mp4_test_boxes.h"

namespace {

// Counted from arming; allocation number `failing_allocation` fails.
long allocations = 0;
long failing_allocation = 0;
bool failure_met = false;

}  // namespace

// This program's own pair: the foundation's is left out of it.
void* operator new(std::size_t size) {
  if (failing_allocation != 0 && ++allocations == failing_allocation) {
    failure_met = true;
    throw std::bad_alloc();
  }
  if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
  throw std::bad_alloc();
}
void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }

namespace {

using namespace mp4_test;

// A file in memory; a write that cannot grow it fails before it changes a byte.
class memory_file final : public tarnex::stream {
public:
  explicit memory_file(bytes data) : data(std::move(data)) {}
  bytes data;

  std::uint32_t read(void* buffer, std::uint32_t n) override {
    const std::uint64_t left = at_ < data.size() ? data.size() - at_ : 0;
    if (n > left) n = std::uint32_t(left);
    std::memcpy(buffer, data.data() + at_, n);
    at_ += n;
    return n;
  }
  std::uint64_t position() override { return at_; }
  void seek(std::uint64_t p) override {
    if (p > data.size()) throw std::runtime_error("seek offset out of range");
    at_ = p;
  }
  std::uint64_t size() override { return data.size(); }
  void check_remaining(std::uint64_t n) override {
    if (n > data.size() - at_) throw tarnex::exception_truncation();
  }
  void truncate(std::uint64_t n) override { data.resize(n); }
  void write(const void* buffer, std::uint32_t n) override {
    if (at_ + n > data.size()) data.resize(at_ + n);
    std::memcpy(data.data() + at_, buffer, n);
    at_ += n;
  }

private:
  std::uint64_t at_ = 0;
};

constexpr std::uint32_t tagging = reading_options | 0x08 | 0x40;

void retag(memory_file& f, const char* title) {
  tarnex::mp4_file model;
  f.seek(0);
  tarnex::mp4_open_file(model, f, tagging, true);
  model.songs[0].metadata.remove("title");
  model.songs[0].metadata.add("title", title);
  std::vector<std::string> reports;
  tarnex::mp4_update_file_tags(model, f, tarnex::mode_item_list, reports);
}

std::string title_of(const bytes& data) {
  tarnex::mp4_file model;
  open_bytes(model, data, tagging);
  return model.item_list.fields.find("title")->values[0];
}

TEST(Mp4TagWritingOutOfMemory, AWriteFailsWithTheFileAsItWasOrSucceeds) {
  const bytes titled = box("moov", mvhd(1000, 93) + simple_track() +
                                       box("udta", full_box("meta", 0, box("hdlr", bytes(25, '\0')) +
                                                                           box("ilst", box("\xA9nam", full_box("data", 1, be32(0) + "old"))))));
  const bytes media = box("mdat", bytes(3000, 'a'));
  const char* title = "a new title much longer than the old one, to grow the movie box";
  for (const bytes& source : {ftyp() + media + titled, ftyp() + titled + media}) {
    int failures = 0;
    for (long failing = 1;; ++failing) {
      memory_file f(source);
      allocations = 0;
      failure_met = false;
      failing_allocation = failing;
      bool written = true;
      try {
        retag(f, title);
      } catch (const std::exception&) {
        written = false;
      }
      failing_allocation = 0;
      if (!failure_met) {
        ASSERT_TRUE(written);
        break;
      }
      if (!written) {
        ++failures;
        ASSERT_TRUE(f.data == source) << source.size() << ": allocation " << failing << " failed";
      } else {
        ASSERT_EQ(title, title_of(f.data)) << source.size() << ": allocation " << failing << " failed";
      }
    }
    EXPECT_GT(failures, 0);
  }
}

}  // namespace
