// Writes a title into a file through the player's own input, with the Nth
// change of the write made to fail with an I/O error, for N = 1, 2, ... until
// the write goes through. Each round starts from the file's first bytes:
//   - a writer's edit fails at change N: the caller gets an exception of the
//     I/O family (or a refusal before any change, which ends the rounds),
//     exception_io_after_tags_written where the new tags took effect before;
//     the file's bytes are the old ones (when they are not, a copy of them
//     is kept as PATH.fault-N for the script's readers), a decoder plays
//     the file to its end and a fresh reader reads its title;
//   - another writer's edit fails at change N too, and that same writer then
//     reads the old title and writes another.
// One JSON line per round on stdout; the file ends with the write that went
// through, and PATH.first keeps the bytes each round started from.
//
// usage: write_fault_probe PATH first|later|long
//   later: first one edit that goes through, then the rounds start from the
//   file it leaves (the roads of later edits, which find room laid out);
//   long: a title of some 5,000 characters, which no file takes in place.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/abort_signal.h"
#include "core/service_factory.h"
#include "core/service_registry.h"
#include "foundation/string_buffer.h"
#include "io/io_exceptions.h"
#include "io/path_schemes.h"
#include "io/test_write_faults.h"
#include "metadata/decoder_service.h"
#include "metadata/input_dispatch.h"
#include "metadata/track_info.h"
#include "playback/audio_block.h"
#include "tests/support/no_abort.h"

namespace {

using test_support::no_abort;

std::vector<char> read_bytes(const char* path) {
  std::vector<char> bytes;
  FILE* f = std::fopen(path, "rb");
  if (!f) return bytes;
  char buffer[65536];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) bytes.insert(bytes.end(), buffer, buffer + n);
  std::fclose(f);
  return bytes;
}

void write_bytes(const std::string& path, const std::vector<char>& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) std::abort();
  std::fclose(f);
}

std::string json_text(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    if (static_cast<unsigned char>(c) >= 0x20) out += c;
  }
  return out + "\"";
}

std::string title_of(info_writer& writer) {
  track_info_impl info;
  writer.get_info(writer.get_subsong(0), info, no_abort());
  const std::uint32_t field = info.find_field("title");
  return field == track_info::not_found ? std::string() : info.field_value(field, 0);
}

// Writes the title; the fault armed (0: none) counts the changes of the
// write alone.
void write_title(info_writer& writer, const char* title, std::uint32_t fault) {
  const std::uint32_t subsong = writer.get_subsong(0);
  track_info_impl info;
  writer.get_info(subsong, info, no_abort());
  info.set_field("title", track_info::until_nul, title, track_info::until_nul);
  vantrel_io::arm_test_write_fault(fault);
  try {
    writer.set_info(subsong, info, no_abort());
    writer.commit(no_abort());
  } catch (...) {
    vantrel_io::arm_test_write_fault(0);
    throw;
  }
  vantrel_io::arm_test_write_fault(0);
}

// The frames a fresh decoder plays of the file's first subsong.
unsigned long long decoded_frames(const char* path) {
  decoder_instance_ptr decoder;
  input_dispatch::open_for_decoding(decoder, vantrel_io::file_ptr(), path, no_abort());
  decoder->initialize(decoder->get_subsong(0), 0, no_abort());
  audio_block block;
  unsigned long long frames = 0;
  while (decoder->run(block, no_abort())) frames += block.get_sample_count();
  return frames;
}

struct failed_write {
  std::string failure;  // empty: the write went through
  bool io = false;
  bool refused = false;
  // The failure came after the new tags took effect.
  bool after_switch = false;
};

failed_write write_failing(info_writer& writer, const std::string& title, std::uint32_t fault) {
  failed_write out;
  try {
    write_title(writer, title.c_str(), fault);
    return out;
  } catch (const vantrel_io::exception_io_after_tags_written& e) {
    out.failure = e.what();
    out.io = true;
    out.after_switch = true;
  } catch (const vantrel_io::exception_io& e) {
    out.failure = e.what();
    out.io = true;
  } catch (const std::exception& e) {
    out.failure = e.what();
  }
  out.refused = vantrel_io::test_write_changes_counted() < fault;
  return out;
}

info_writer_ptr open_writer(const char* path) {
  info_writer_ptr writer;
  input_dispatch::open_info_writer(writer, vantrel_io::file_ptr(), path, no_abort());
  return writer;
}

// One round: the write fails at change `fault`. False once the write went
// through or was refused before its first change.
bool round(const char* path, const std::string& system_path, const std::vector<char>& first,
           const std::string& title, std::uint32_t fault) {
  write_bytes(system_path, first);
  std::string old_title;
  failed_write failed;
  try {
    info_writer_ptr writer = open_writer(path);
    old_title = title_of(*writer);
    failed = write_failing(*writer, title, fault);
  } catch (const std::exception& e) {
    std::printf("{\"step\": %u, \"refused_at_open\": %s, \"unchanged\": %s}\n", fault,
                json_text(e.what()).c_str(), read_bytes(system_path.c_str()) == first ? "true" : "false");
    return false;
  }
  if (failed.failure.empty()) {
    std::printf("{\"step\": %u, \"written\": true, \"title\": %s}\n", fault, json_text(title).c_str());
    return false;
  }
  const bool unchanged = read_bytes(system_path.c_str()) == first;
  if (!unchanged) write_bytes(system_path + ".fault-" + std::to_string(fault), read_bytes(system_path.c_str()));
  std::string decoded, reads;
  try {
    decoded = std::to_string(decoded_frames(path));
    info_reader_ptr reader;
    input_dispatch::open_info_reader(reader, vantrel_io::file_ptr(), path, no_abort());
    track_info_impl info;
    reader->get_info(reader->get_subsong(0), info, no_abort());
    const std::uint32_t field = info.find_field("title");
    reads = field == track_info::not_found ? std::string() : info.field_value(field, 0);
  } catch (const std::exception& e) {
    decoded = e.what();
  }
  // The same failure again, and the input that met it goes on.
  write_bytes(system_path, first);
  std::string again, read_after, rewritten;
  try {
    info_writer_ptr writer = open_writer(path);
    again = write_failing(*writer, title, fault).failure;
    read_after = title_of(*writer);
    write_title(*writer, "Title CCCC", 0);
    rewritten = title_of(*writer) == "Title CCCC" ? "written" : "not read back";
  } catch (const std::exception& e) {
    rewritten = e.what();
  }
  std::printf("{\"step\": %u, \"failure\": %s, \"io\": %s, \"after_switch\": %s, \"refused\": %s, "
              "\"unchanged\": %s, \"old\": %s, \"decoded\": %s, \"reads\": %s, \"again\": %s, \"read_after\": %s, "
              "\"rewritten\": %s}\n",
              fault, json_text(failed.failure).c_str(), failed.io ? "true" : "false", failed.after_switch ? "true" : "false",
              failed.refused ? "true" : "false", unchanged ? "true" : "false", json_text(old_title).c_str(),
              json_text(decoded).c_str(), json_text(reads).c_str(), json_text(again).c_str(),
              json_text(read_after).c_str(), json_text(rewritten).c_str());
  std::fflush(stdout);
  return failed.io && !failed.refused;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc == 3 ? argv[2] : "";
  if (mode != "first" && mode != "later" && mode != "long") {
    std::fprintf(stderr, "usage: write_fault_probe PATH first|later|long\n");
    return 2;
  }
  service_registry::table().build(service_factory::global_list_head);
  const std::string system_path = argv[1];
  qiv::string_buffer canonical;
  vantrel_io::canonicalize_path(system_path.c_str(), canonical);
  const std::string path = canonical.get_ptr();
  std::string title = "Title BBBB";
  if (mode == "long")
    while (title.size() < 5000) title += " and more";
  try {
    if (mode == "later") write_title(*open_writer(path.c_str()), "Title AAAA", 0);
    const std::vector<char> first = read_bytes(system_path.c_str());
    write_bytes(system_path + ".first", first);
    // No write of these files takes a hundred changes.
    for (std::uint32_t fault = 1; fault < 100; ++fault)
      if (!round(path.c_str(), system_path, first, title, fault)) break;
  } catch (const std::exception& e) {
    std::printf("{\"error\": %s}\n", json_text(e.what()).c_str());
    return 1;
  }
  return 0;
}
