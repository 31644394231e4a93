// Memory of a title edit per byte of a tag whose cost is values held one by
// one: an ID3v2.4 tag whose TPE1 holds COUNT one-character values (two tag
// bytes each), read, edited and read back through the tag services on
// memory files, with every allocation counted. Prints per count the peak of
// the bytes allocated at once, over what was held before, for the reading,
// for the edit (the track's fields held meanwhile are counted apart) and for
// the reading back, each also per tag byte. The memory files hold the file
// and, for a rewrite, its new copy: about two bytes per tag byte of the
// edit's figure. The program runs in an address space of 2 GiB, which its
// libraries share and split: large blocks run out well before that.
//   bench_metadata_tag_edit_memory [COUNT...]   (default 65536 1048576 8388608)
#include "bench/counting_allocator.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/service_registry.h"
#include "metadata/tags/id3v2_tag_service.h"
#include "metadata/tags/tag_services.h"
#include "metadata/tags/trailing_tags.h"
#include "metadata/track_info.h"
#include "tests/io/io_test_support.h"

using bench::live_bytes;
using bench::peak_bytes;
using io_test::memory_file_with;
using io_test::memory_rewrite;

namespace {

std::string syncsafe(std::size_t n) {
  return {char((n >> 21) & 0x7F), char((n >> 14) & 0x7F), char((n >> 7) & 0x7F), char(n & 0x7F)};
}

std::string frame(const char* id, const std::string& payload) {
  return std::string(id) + syncsafe(payload.size()) + std::string(2, '\0') + payload;
}

// The tag and its size; 8 KiB stand in for the audio.
std::string tagged_file(std::size_t count, std::size_t& tag_bytes) {
  std::string artists(2 * count - 1, '\0');
  for (std::size_t i = 0; i < count; ++i) artists[2 * i] = char('A' + i % 26);
  const std::string frames = frame("TIT2", "\x03Old title") + frame("TPE1", "\x03" + artists);
  const std::string tag = "ID3\x04" + std::string(2, '\0') + syncsafe(frames.size() + 1024) + frames +
                          std::string(1024, '\0');
  tag_bytes = tag.size();
  return tag + std::string(8192, '\x55');
}

// The peak of the bytes allocated at once while `step` runs, over those
// held when it starts.
template <class Step>
std::size_t peak_of(Step step) {
  const std::size_t before = live_bytes;
  peak_bytes = live_bytes;
  step();
  return peak_bytes - before;
}

void print(const char* what, std::size_t count, std::size_t bytes, std::size_t tag_bytes) {
  std::printf("%zu values, %s: %.1f MB, %.1f bytes per tag byte\n", count, what, bytes / 1e6,
              double(bytes) / double(tag_bytes));
}

void measure(std::size_t count) {
  const abort_signal& never = never_raised_abort_signal();
  std::size_t tag_bytes = 0;
  vantrel_io::file_ptr file = memory_file_with(tagged_file(count, tag_bytes));
  track_info_impl info;
  try {
    const std::size_t before = live_bytes;
    print("reading", count, peak_of([&] { tag_services::read(*file, info, never); }), tag_bytes);
    print("the fields held", count, live_bytes - before, tag_bytes);
    info.set_field("title", track_info::until_nul, "New title", track_info::until_nul);
    memory_rewrite rewrite;
    const std::size_t edit = peak_of([&] {
      tag_services::write(file, rewrite, tag_services::kind_id3v2, info, never);
    });
    print("edit", count, edit, tag_bytes);
    track_info_impl again;
    vantrel_io::file_ptr written = rewrite.made ? rewrite.made : file;
    info.remove_all_fields();
    print("reading back", count, peak_of([&] { tag_services::read(*written, again, never); }), tag_bytes);
    if (again.field_value_count(again.find_field("artist")) != count) std::printf("reading back: wrong count\n");
  } catch (const std::exception& e) {
    std::printf("%zu values: %s\n", count, e.what());
  }
}

}  // namespace

int main(int argc, char** argv) {
  (void)&find_trailing_tags;
  (void)&id3v2_read_tag_from_file;
  service_registry::table().build(service_factory::global_list_head);
  std::vector<std::size_t> counts;
  for (int i = 1; i < argc; ++i) counts.push_back(std::strtoul(argv[i], nullptr, 10));
  if (counts.empty()) counts = {65536, 1048576, 8388608};
  for (std::size_t count : counts) measure(count);
  return 0;
}
