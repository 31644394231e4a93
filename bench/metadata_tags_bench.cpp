// Tag reading: files per second through the tag services for 2,000 files
// that carry an ID3v2 tag and an APEv2 tag, on a warm cache. The files are
// made in FOLDER (first argument, created if missing) so that a native
// TagLib harness (bench/peers/taglib_tags_peer.sh) can read the same files.
#include "bench/bench_clock.h"

#include <windows.h>

#include <cstdio>
#include <string>

#include "core/service_registry.h"
#include "io/file_copy.h"
#include "io/file_scheme.h"
#include "io/memory_file.h"
#include "io/path_schemes.h"
#include "io/retag_through_temp_file.h"
#include "metadata/tags/id3v2_tag_service.h"
#include "metadata/tags/tag_services.h"
#include "metadata/tags/trailing_tags.h"
#include "metadata/track_info.h"

namespace {

constexpr int file_count = 2000;

std::string file_path(const std::string& folder, int index) {
  return "file://" + folder + "\\track" + std::to_string(index) + ".mp3";
}

void make_files(const std::string& folder, const abort_signal& abort) {
  const std::string audio(8192, '\x55');
  for (int i = 0; i < file_count; ++i) {
    const std::string path = file_path(folder, i);
    vantrel_io::file_ptr file;
    vantrel_io::open(file, path.c_str(), vantrel_io::open_mode::write_new, abort);
    file->write(audio.data(), std::uint32_t(audio.size()), abort);
    track_info_impl info;
    const auto set = [&info](const char* name, const std::string& value) {
      info.append_field(name, track_info::until_nul, value.c_str(), value.size());
    };
    set("title", "Song number " + std::to_string(i));
    set("artist", "Artist " + std::to_string(i % 131));
    set("album", "Album " + std::to_string(i % 1009));
    set("tracknumber", std::to_string(1 + i % 17));
    set("date", "2001");
    set("genre", "Rock");
    set("comment", "A comment of some length to read");
    replaygain_info gain;
    gain.track_gain = -6.5f;
    gain.track_peak = 0.98f;
    info.set_replaygain(gain);
    retag_in_place in_place;
    tag_services::write(file, in_place, tag_services::kind_id3v2 | tag_services::kind_apev2, info, abort);
  }
}

// Opening and closing alone: the floor under any tag reader of this platform.
double open_all(const std::string& folder, const abort_signal& abort) {
  const double start = bench::now_seconds();
  for (int i = 0; i < file_count; ++i) {
    vantrel_io::file_ptr file;
    vantrel_io::open(file, file_path(folder, i).c_str(), vantrel_io::open_mode::read, abort);
  }
  return bench::now_seconds() - start;
}

double read_all(const std::string& folder, const abort_signal& abort, std::size_t& checksum) {
  const double start = bench::now_seconds();
  for (int i = 0; i < file_count; ++i) {
    const std::string path = file_path(folder, i);
    vantrel_io::file_ptr file;
    vantrel_io::open(file, path.c_str(), vantrel_io::open_mode::read, abort);
    track_info_impl info;
    tag_services::read(*file, info, abort);
    checksum += info.field_count();
  }
  return bench::now_seconds() - start;
}

// The same reads from a copy in memory: the tag code's own cost.
double read_in_memory(const std::string& folder, const abort_signal& abort) {
  vantrel_io::file_ptr file;
  vantrel_io::open(file, file_path(folder, 0).c_str(), vantrel_io::open_mode::read, abort);
  vantrel_io::file_ptr copy = vantrel_io::make_memory_file();
  vantrel_io::copy_bytes(*file, *copy, file->get_size(abort), abort);
  const double start = bench::now_seconds();
  for (int i = 0; i < file_count; ++i) {
    track_info_impl info;
    tag_services::read(*copy, info, abort);
  }
  return bench::now_seconds() - start;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: bench_metadata_tags FOLDER\n");
    return 2;
  }
  const std::string folder = argv[1];
  CreateDirectoryA(folder.c_str(), nullptr);
  // Referring to both tag services' code keeps their registrations linked.
  static void* volatile keep_linked[] = {reinterpret_cast<void*>(&find_trailing_tags),
                                         reinterpret_cast<void*>(&id3v2_read_tag_from_file)};
  (void)keep_linked;
  vantrel_io::file_scheme_handler();
  service_registry::table().build(service_factory::global_list_head);
  raisable_abort_signal abort;
  make_files(folder, abort);
  std::size_t checksum = 0;
  read_all(folder, abort, checksum);  // warms the cache
  const double elapsed = read_all(folder, abort, checksum);
  const double opening = open_all(folder, abort);
  std::printf("tag services: %d files with ID3v2 and APEv2 tags in %.3f s: %.0f files/s (checksum %u)\n",
              file_count, elapsed, file_count / elapsed, unsigned(checksum));
  std::printf("opening and closing alone: %.0f files/s\n", file_count / opening);
  std::printf("the same tags read from memory: %.0f files/s\n", file_count / read_in_memory(folder, abort));
  return 0;
}
